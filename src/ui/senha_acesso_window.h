// The access-password dialog on Qt: the small modal window in which an employee types a
// personal password to open a count. It realises the dialog's view and the modal dialog the
// count's open operation (F2) uses, and forwards its show event and its button's click to the
// dialog's logic (count::TSenhaAcessoForm1).
//
// It has one way out, the "&OK" button: Enter does not press it (there is no default button),
// Escape and close requests do nothing, and the title bar has no buttons.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

#include "count/senha_acesso.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace varelum::ui {

// Client area of the dialog, in pixels.
inline constexpr int SenhaAcessoClientWidth = 187;
inline constexpr int SenhaAcessoClientHeight = 88;

class TSenhaAcessoWindow final : public QDialog,
                                 public count::TSenhaAcessoDialog,
                                 private count::TSenhaAcessoView {
  public:
    // `parent` only keeps the dialog in front of that window; the caller owns the dialog.
    explicit TSenhaAcessoWindow(QWidget* parent = nullptr);
    ~TSenhaAcessoWindow() override;

    // Centres the dialog on the screen and runs its modal loop until the OK button closes it.
    void ShowModal() override;
    // The password as typed, letters in upper case, possibly empty.
    std::string Password() const override { return FForm.Password(); }

    // The dialog has no cancel: rejecting it (Escape, a close request) does nothing.
    void reject() override {}

    // The controls, by their names (for tests and screenshots).
    QLabel* Label1() const { return FLabel1; }
    QLineEdit* Edit1() const { return FEdit1; }
    QPushButton* BitBtn1() const { return FBitBtn1; }

  protected:
    void showEvent(QShowEvent* event) override;
    // Escape does not close the dialog; every other key as usual.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    std::string Edit1Text() const override;
    void SetEdit1Text(const std::string& text) override;
    void FocusEdit1() override;
    void CloseModal() override;

    QLabel* FLabel1;
    QLineEdit* FEdit1;
    QPushButton* FBitBtn1;
    count::TSenhaAcessoForm1 FForm{*this};
};

// Creates a new dialog for every open attempt, in front of `parent`.
class TSenhaAcessoWindowFactory final : public count::TSenhaAcessoDialogFactory {
  public:
    explicit TSenhaAcessoWindowFactory(QWidget* parent = nullptr) : FParent(parent) {}
    std::unique_ptr<count::TSenhaAcessoDialog> CreateSenhaAcessoForm1() override {
        return std::make_unique<TSenhaAcessoWindow>(FParent);
    }

  private:
    QWidget* FParent;
};

}  // namespace varelum::ui
