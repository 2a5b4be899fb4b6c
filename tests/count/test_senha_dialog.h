// The password dialog for tests: realises the dialog's view around the real TSenhaAcessoForm1
// logic and, when shown, types the next scripted password key by key and presses OK.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "count/senha_acesso.h"

namespace varelum::count::testing {

class TScriptedSenhaDialogs;

class TScriptedSenhaDialog : public TSenhaAcessoDialog, private TSenhaAcessoView {
  public:
    TScriptedSenhaDialog(TScriptedSenhaDialogs& owner, std::string keys);
    ~TScriptedSenhaDialog() override;

    void ShowModal() override;
    std::string Password() const override { return FForm.Password(); }

  private:
    std::string Edit1Text() const override { return FEdit1; }
    void SetEdit1Text(const std::string& text) override { FEdit1 = text; }
    void FocusEdit1() override { FEdit1Focused = true; }
    void CloseModal() override { FClosed = true; }

    TScriptedSenhaDialogs& FOwner;
    std::string FKeys;
    std::string FEdit1 = "left over from an earlier showing";
    bool FEdit1Focused = false;
    bool FClosed = false;
    TSenhaAcessoForm1 FForm{*this};
};

class TScriptedSenhaDialogs : public TSenhaAcessoDialogFactory {
  public:
    // The keys typed into the next dialogs, one entry per dialog; an empty script types nothing.
    std::deque<std::string> Passwords;
    // Runs while a dialog is shown (after the typing), to look at the count at that moment.
    std::function<void()> WhileShown;

    int Created = 0;
    int Alive = 0;

    std::unique_ptr<TSenhaAcessoDialog> CreateSenhaAcessoForm1() override {
        std::string keys;
        if (!Passwords.empty()) {
            keys = Passwords.front();
            Passwords.pop_front();
        }
        ++Created;
        return std::make_unique<TScriptedSenhaDialog>(*this, keys);
    }
};

inline TScriptedSenhaDialog::TScriptedSenhaDialog(TScriptedSenhaDialogs& owner, std::string keys)
    : FOwner(owner), FKeys(std::move(keys)) {
    ++FOwner.Alive;
}

inline TScriptedSenhaDialog::~TScriptedSenhaDialog() {
    --FOwner.Alive;
}

inline void TScriptedSenhaDialog::ShowModal() {
    FClosed = false;
    FForm.FormShow();
    // Typed one character at a time (a UTF-8 lead byte and its continuation bytes), as the
    // field upper-cases each character as it arrives.
    for (std::size_t start = 0; start < FKeys.size();) {
        std::size_t end = start + 1;
        while (end < FKeys.size() && (static_cast<unsigned char>(FKeys[end]) & 0xC0) == 0x80) {
            ++end;
        }
        FEdit1 += UpperCaseAsTyped(FKeys.substr(start, end - start));
        start = end;
    }
    if (FOwner.WhileShown) {
        FOwner.WhileShown();
    }
    FForm.BitBtn1Click();
}

}  // namespace varelum::count::testing
