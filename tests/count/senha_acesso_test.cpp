// The password dialog's logic: upper-case entry as typed, blank on every showing, closed by its
// button; and ObterTermo, which takes the employee's first name.
#include "count/senha_acesso.h"

#include <gtest/gtest.h>

#include "count/obter_termo.h"
#include "test_senha_dialog.h"

namespace varelum::count {
namespace {

TEST(UpperCaseAsTypedTest, TurnsLettersIntoUpperCaseAndKeepsEverythingElse) {
    const struct {
        const char* Typed;
        const char* Stored;
    } cases[] = {
        {"abc", "ABC"},
        {"Senha123", "SENHA123"},
        {"a-b_c.d/e*f 9", "A-B_C.D/E*F 9"},
        {"ação", "AÇÃO"},      // accented letters too
        {"straße", "STRAßE"},  // one character per character: no expansion to "SS"
        {"", ""},
        {"\xFF"
         "a",
         "\xFF"
         "A"},  // a byte that is not UTF-8 stays as it is
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UpperCaseAsTyped(c.Typed), c.Stored) << c.Typed;
    }
}

TEST(SenhaAcessoTest, EachShowingStartsBlankAndTheButtonCloses) {
    testing::TScriptedSenhaDialogs dialogs;
    dialogs.Passwords = {"maria1", ""};
    std::unique_ptr<TSenhaAcessoDialog> dialog = dialogs.CreateSenhaAcessoForm1();
    dialog->ShowModal();
    EXPECT_EQ(dialog->Password(), "MARIA1");

    // Shown again: the old text is gone before anything is typed.
    std::unique_ptr<TSenhaAcessoDialog> second = dialogs.CreateSenhaAcessoForm1();
    second->ShowModal();
    EXPECT_EQ(second->Password(), "");
    EXPECT_EQ(dialogs.Created, 2);
    EXPECT_EQ(dialogs.Alive, 2);
    dialog.reset();
    second.reset();
    EXPECT_EQ(dialogs.Alive, 0);
}

// A view that records what the logic does to it.
class TRecordingSenhaView : public TSenhaAcessoView {
  public:
    std::string Edit1Text() const override { return Text; }
    void SetEdit1Text(const std::string& text) override { Text = text; }
    void FocusEdit1() override { ++Focused; }
    void CloseModal() override { ++Closed; }
    std::string Text = "OLD";
    int Focused = 0;
    int Closed = 0;
};

TEST(SenhaAcessoTest, FormShowEmptiesAndFocusesTheFieldAndOnlyTheButtonCloses) {
    TRecordingSenhaView view;
    TSenhaAcessoForm1 form(view);
    form.FormShow();
    EXPECT_EQ(view.Text, "");
    EXPECT_EQ(view.Focused, 1);
    EXPECT_EQ(view.Closed, 0);
    view.Text = "X9";
    EXPECT_EQ(form.Password(), "X9");
    form.BitBtn1Click();
    EXPECT_EQ(view.Closed, 1);
}

TEST(ObterTermoTest, GivesTheWordAtAPosition) {
    const struct {
        int Position;
        const char* Separator;
        const char* Line;
        const char* Word;
    } cases[] = {
        {1, " ", "MARIA DA SILVA", "MARIA"},
        {1, " ", "JOSE", "JOSE"},  // no space: the whole name
        {1, " ", "", ""},          // empty name
        {1, " ", " MARIA", ""},    // begins with a space
        {2, " ", "MARIA DA SILVA", "DA"},
        {3, " ", "MARIA DA SILVA", "SILVA"},
        {4, " ", "MARIA DA SILVA", ""},   // past the last word
        {2, " ", "MARIA  SILVA", ""},     // two spaces: an empty word between
        {2, " ", "MARIA ", ""},           // a break at the very end starts no further word
        {1, " ", "ANA\r\nPAULA", "ANA"},  // line breaks already in the text split too
        {2, " ", "ANA\nPAULA SOUZA", "PAULA"},
        {2, " ", "ANA\rPAULA", "PAULA"},
        {2, "x", "AXBxC", "B"},  // the separator matches without regard to case
        {2, ", ", "Silva, Maria", "Maria"},
        {2, "ç", "AÇBçC", "B"},
        {1, "", "MARIA DA SILVA", "MARIA DA SILVA"},  // an empty separator cuts nothing
        {0, " ", "MARIA DA SILVA", ""},               // positions below 1 give nothing
        {-1, " ", "MARIA DA SILVA", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ObterTermo(c.Position, c.Separator, c.Line), c.Word)
            << c.Position << " '" << c.Separator << "' '" << c.Line << "'";
    }
}

}  // namespace
}  // namespace varelum::count
