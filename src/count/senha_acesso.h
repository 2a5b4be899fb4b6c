// The access-password dialog TSenhaAcessoForm1: the logic of the small modal dialog in which an
// employee types a personal password to open a count. The dialog does nothing with the password
// itself; the count's open operation creates it, shows it modally, reads the text afterwards and
// destroys it. The Qt dialog realises TSenhaAcessoView and TSenhaAcessoDialog and forwards its
// show event and button click to a TSenhaAcessoForm1; tests realise the same seams to answer it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace varelum::count {

// What the dialog's logic needs of its window: the password field and the end of the modal show.
class TSenhaAcessoView {
  public:
    virtual ~TSenhaAcessoView() = default;

    // Text of the password field Edit1, exactly as held (already upper case, possibly empty).
    virtual std::string Edit1Text() const = 0;
    virtual void SetEdit1Text(const std::string& text) = 0;
    virtual void FocusEdit1() = 0;

    // Ends the modal show: ShowModal returns once the current event has been handled.
    virtual void CloseModal() = 0;
};

// The dialog's rules, independent of any toolkit.
class TSenhaAcessoForm1 {
  public:
    explicit TSenhaAcessoForm1(TSenhaAcessoView& view) : FView(view) {}

    // Each showing starts blank: empties the password field and gives it the focus.
    void FormShow();

    // The dialog's only way out: its OK button closes it. Enter and Escape do nothing (the
    // dialog has neither a default nor a cancel button), and the title bar has no close button.
    void BitBtn1Click();

    // The password as typed, in upper case, possibly empty.
    std::string Password() const { return FView.Edit1Text(); }

  private:
    TSenhaAcessoView& FView;
};

// Letters turned into upper case as they are typed; digits and every other character unchanged.
// Each character maps to exactly one character (no expansion such as "ß" to "SS"), so a field
// that applies it after every keystroke keeps its cursor where it was. UTF-8 in and out; a byte
// sequence that is not valid UTF-8 is kept as it stands.
std::string UpperCaseAsTyped(std::string_view typed);

// The dialog as the count's open operation (F2) uses it: shown modally, then read.
class TSenhaAcessoDialog {
  public:
    virtual ~TSenhaAcessoDialog() = default;

    // Shows the dialog modally and returns when it has been closed. The dialog's result means
    // nothing: however it was closed, the caller goes on and reads the password.
    virtual void ShowModal() = 0;

    // The password field's text after the dialog has closed (upper case, possibly empty).
    virtual std::string Password() const = 0;
};

// Creates a new dialog for every open attempt; the caller destroys it when the attempt ends.
class TSenhaAcessoDialogFactory {
  public:
    virtual ~TSenhaAcessoDialogFactory() = default;
    virtual std::unique_ptr<TSenhaAcessoDialog> CreateSenhaAcessoForm1() = 0;
};

}  // namespace varelum::count
