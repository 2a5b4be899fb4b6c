// The count's reads and its finish through the test view and store: classification of reads,
// the code lookup, the notices of a read, and every rule of "Finalizar".
#include <gtest/gtest.h>

#include <cmath>

#include "count_fixture.h"
#include "rtl/datetime.h"

namespace varelum::count::testing {
namespace {

class CountReadsTest : public CountTest {
  protected:
    CountReadsTest() { Show(); }
};

TEST_F(CountReadsTest, ReadsOfTheChosenCodeAreCorrectAndOthersWrong) {
    OpenCountOn("ABC");
    EXPECT_EQ(Read("ABC"), TOutcome::Completed);
    EXPECT_EQ(State(), TCountState::OpenWithReads);
    EXPECT_FALSE(View.ChooserEnabled);
    EXPECT_EQ(View.Edit1, "");
    EXPECT_EQ(View.Focus, TFocus::Edit1);
    EXPECT_EQ(Read("abc"), TOutcome::Completed);  // upper-cased as typed
    EXPECT_EQ(Read("neg"), TOutcome::Completed);  // another product's code

    EXPECT_EQ(Correct(), (TRows{{"G1", "ABC"}, {"G1", "ABC"}}));
    EXPECT_EQ(Wrong(), (TRows{{"G4", "NEG"}}));
    EXPECT_EQ(View.Label4, "Corretos: 2");
    EXPECT_EQ(View.Label5, "Errados: 1");
    EXPECT_TRUE(View.Notices.empty());

    // Finalizar refuses a count with wrong reads and writes nothing.
    EXPECT_EQ(Finalizar(), TOutcome::Aborted);
    EXPECT_EQ(View.Notices,
              (std::vector<std::string>{
                  "Não é possível finalizar uma conferência com produtos divergentes!"}));
    EXPECT_TRUE(Store.Auditoria.empty());
    EXPECT_EQ(State(), TCountState::OpenWithReads);
    EXPECT_EQ(Correct().size(), 2u);
}

TEST_F(CountReadsTest, ABarcodeOfTheChosenProductIsACorrectRead) {
    const struct {
        const char* Chosen;
        const char* Keys;
        TRows Correct;
        TRows Wrong;
    } cases[] = {
        {"ABC", "789001", {{"G1", "ABC"}}, {}},
        // Typed in lower case, entered in upper case: "AB1" is Ab1's barcode.
        {"Ab1", "ab1", {{"G6", "Ab1"}}, {}},
        // CODE7's barcode is XYZ's product code; the barcode statement finds CODE7 itself.
        {"CODE7", "XYZ", {{"G7", "CODE7"}}, {}},
        // Another product's barcode stays a wrong read, with that product's codes.
        {"ABC", "789002", {}, {{"G2", "XYZ"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Chosen) + " read as " + c.Keys);
        TCountHarness t;
        t.Show();
        t.OpenCountOn(c.Chosen);
        EXPECT_EQ(t.Read(c.Keys), TOutcome::Completed);
        EXPECT_EQ(t.Correct(), c.Correct);
        EXPECT_EQ(t.Wrong(), c.Wrong);
        EXPECT_EQ(t.View.Label4, c.Correct.empty() ? "" : "Corretos: 1");
        EXPECT_EQ(t.View.Label5, c.Wrong.empty() ? "" : "Errados: 1");
        EXPECT_EQ(t.View.Edit1, "");
    }
}

TEST_F(CountReadsTest, ACountReadByBarcodeOnlyIsFinished) {
    OpenCountOn("ABC");
    for (int read = 0; read < 3; ++read) {
        ASSERT_EQ(Read("789001"), TOutcome::Completed);
    }
    EXPECT_EQ(View.Label4, "Corretos: 3");
    EXPECT_EQ(Finalizar(), TOutcome::Completed);
    EXPECT_TRUE(View.Notices.empty());
    ASSERT_EQ(Store.Auditoria.size(), 1u);
    EXPECT_EQ(Store.Auditoria[0].CodProduto, "ABC");
    EXPECT_EQ(Store.Auditoria[0].Quantidade, "3");
    EXPECT_EQ(State(), TCountState::NoCount);
}

TEST_F(CountReadsTest, TheComparisonWithTheChosenCodeAndBarcodeIsExact) {
    // Each typed text names another product by its code while differing from the chosen
    // product's code or barcode only in letter case.
    Store.Products.push_back({"G9", "Low9", "7890099", 1});
    Store.Products.push_back({"G10", "LOW9", "7890100", 1});
    Store.Products.push_back({"G11", "R1", "bar11", 1});
    Store.Products.push_back({"G12", "BAR11", "7890112", 1});
    const struct {
        const char* Chosen;
        const char* Keys;
        TRows Wrong;
    } cases[] = {
        {"Low9", "low9", {{"G10", "LOW9"}}},
        {"R1", "bar11", {{"G12", "BAR11"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Chosen) + " read as " + c.Keys);
        PressF4();
        OpenCountOn(c.Chosen);
        EXPECT_EQ(Read(c.Keys), TOutcome::Completed);
        EXPECT_TRUE(Correct().empty());
        EXPECT_EQ(Wrong(), c.Wrong);
    }
}

TEST_F(CountReadsTest, TheBarcodeMatchWins) {
    // "XYZ" is CODE7's barcode and XYZ's product code: the barcode statement finds CODE7 and the
    // product-code statement is not run.
    OpenCountOn("ABC");
    Store.Log.clear();
    EXPECT_EQ(Read("XYZ"), TOutcome::Completed);
    EXPECT_EQ(Wrong(), (TRows{{"G7", "CODE7"}}));
    EXPECT_EQ(Store.Log, (std::vector<std::string>{"Query1 CodBarras XYZ"}));

    // A product code that is nobody's barcode takes the second statement.
    Store.Log.clear();
    EXPECT_EQ(Read("ZERO"), TOutcome::Completed);
    EXPECT_EQ(Store.Log,
              (std::vector<std::string>{"Query1 CodBarras ZERO", "Query1 CodProduto ZERO"}));
    EXPECT_EQ(Wrong().back(), (std::pair<std::string, std::string>{"G3", "ZERO"}));
}

TEST_F(CountReadsTest, ReadingTheChosenProductByItsCodeCountsEvenWhenABarcodeSharesIt) {
    // XYZ chosen and typed: the lookup finds CODE7 by barcode, but the text equals the chooser's,
    // so the read is correct, with XYZ's own codes.
    OpenCountOn("XYZ");
    EXPECT_EQ(Read("XYZ"), TOutcome::Completed);
    EXPECT_EQ(Correct(), (TRows{{"G2", "XYZ"}}));
    EXPECT_TRUE(Wrong().empty());
}

TEST_F(CountReadsTest, ListsStoreCodesCutToTheirWidths) {
    OpenCountOn("PRODUTO-0123456789-0123456789-ABCDE");
    EXPECT_EQ(Read("PRODUTO-0123456789-0123456789-ABCDE"), TOutcome::Completed);
    EXPECT_EQ(Correct(), (TRows{{"GRUPO-0123456789", "PRODUTO-0123456789-0123456789-"}}));
    // Read by its barcode while another product is chosen: a wrong read, cut the same way.
    ASSERT_EQ(PressF4(), TOutcome::Completed);
    OpenCountOn("ABC");
    EXPECT_EQ(Read("789008"), TOutcome::Completed);
    EXPECT_EQ(Wrong(), (TRows{{"GRUPO-0123456789", "PRODUTO-0123456789-0123456789-"}}));
}

TEST_F(CountReadsTest, TheNoticesOfARead) {
    struct TCase {
        const char* Name;
        const char* Product;  // chosen, or "" for none
        const char* Keys;
        TOutcome Outcome;
        const char* Notice;
        const char* Edit1After;
        TFocus FocusAfter;
    };
    const TCase cases[] = {
        {"no product chosen", "", "ABC", TOutcome::Aborted, "É necessário selecionar um produto!",
         "ABC", TFocus::DBLookupComboBox1},
        {"zero stock", "ZERO", "ZERO", TOutcome::Aborted,
         "A quantidade atual deste produto está zerada e a conferência não poderá continuar!", "",
         TFocus::DBLookupComboBox1},
        {"unknown code", "ABC", "NOPE", TOutcome::Completed,
         "Não existe nenhum produto com este código!", "NOPE", TFocus::None},
        {"trailing blank is kept, so unknown", "ABC", "ABC ", TOutcome::Completed,
         "Não existe nenhum produto com este código!", "ABC ", TFocus::None},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCountHarness t;
        t.Show();
        ASSERT_EQ(t.PressF2("SENHA1"), TOutcome::Completed);
        if (*c.Product != '\0') {
            ASSERT_EQ(t.Choose(c.Product), TOutcome::Completed);
        }
        t.View.Focus = TFocus::None;

        EXPECT_EQ(t.Read(c.Keys), c.Outcome);
        EXPECT_EQ(t.View.Notices, (std::vector<std::string>{c.Notice}));
        EXPECT_EQ(t.View.Edit1, c.Edit1After);
        EXPECT_EQ(t.View.Focus, c.FocusAfter);
        EXPECT_EQ(t.State(), TCountState::OpenNoReads);
        EXPECT_TRUE(t.View.ChooserEnabled);
    }
}

TEST_F(CountReadsTest, AnUnknownCodeRepeatsItsLookupAndNoticeOnEachEnter) {
    OpenCountOn("ABC");
    ASSERT_EQ(Read("ABC"), TOutcome::Completed);
    View.Edit1 = "NOPE";
    Store.Log.clear();
    EXPECT_EQ(Enter(), TOutcome::Completed);
    EXPECT_EQ(Enter(), TOutcome::Completed);
    EXPECT_EQ(View.Notices,
              (std::vector<std::string>(2, "Não existe nenhum produto com este código!")));
    EXPECT_EQ(Store.Log,
              (std::vector<std::string>{"Query1 CodBarras NOPE", "Query1 CodProduto NOPE",
                                        "Query1 CodBarras NOPE", "Query1 CodProduto NOPE"}));
    EXPECT_EQ(View.Edit1, "NOPE");
    EXPECT_FALSE(View.ChooserEnabled);  // reads exist
}

TEST_F(CountReadsTest, KeysOtherThanEnterAndEnterOnAnEmptyFieldAreIgnored) {
    OpenCountOn("ABC");
    Store.Log.clear();
    EXPECT_EQ(Enter(), TOutcome::Completed);  // empty field
    View.Edit1 = "ABC";
    EXPECT_EQ(RunHandler([this] { Form->Edit1KeyPress(U'A'); }), TOutcome::Completed);
    EXPECT_EQ(RunHandler([this] { Form->Edit1KeyPress(10); }), TOutcome::Completed);
    EXPECT_TRUE(Store.Log.empty());
    EXPECT_TRUE(Correct().empty());
    EXPECT_TRUE(View.Notices.empty());
}

TEST_F(CountReadsTest, TheChooserIsEnabledAgainAfterF4) {
    OpenCountOn("ABC");
    ASSERT_EQ(Read("ABC"), TOutcome::Completed);
    EXPECT_FALSE(View.ChooserEnabled);
    EXPECT_EQ(Choose("XYZ"), TOutcome::Ignored);
    EXPECT_EQ(PressF4(), TOutcome::Completed);
    EXPECT_TRUE(View.ChooserEnabled);
}

TEST_F(CountReadsTest, TheCurrentQuantityFollowsTheChosenProduct) {
    const struct {
        const char* Product;
        const char* Label2;
    } cases[] = {{"ABC", "Qtde atual: 3"},
                 {"NEG", "Qtde atual: -2"},
                 {"FRAC", "Qtde atual: 2.5"},
                 {"ZERO", "Qtde atual: 0"}};
    ASSERT_EQ(PressF2("SENHA1"), TOutcome::Completed);
    for (const auto& c : cases) {
        ASSERT_EQ(Choose(c.Product), TOutcome::Completed);
        EXPECT_EQ(View.Label2, c.Label2);
    }
    // Scrolling the product list (as through the dropped-down chooser) reports a data change,
    // and the label follows the list's current row.
    Store.QyCadProdutos.First();
    EXPECT_EQ(View.Label2, "Qtde atual: 3");  // ABC, first by product code
    Store.QyCadProdutos.Next();
    EXPECT_EQ(View.Label2, "Qtde atual: 1");  // Ab1
    // With no product chosen the label is emptied, whatever the list's current row.
    View.ClearDBLookupComboBox1KeyValue();
    Form->DataSource1DataChange();
    EXPECT_EQ(View.Label2, "");
}

// --- Finalizar
// -------------------------------------------------------------------------------------

TEST_F(CountReadsTest, ABalancedCountWritesOneAuditRowAndClears) {
    OpenCountOn("ABC");
    for (int read = 0; read < 3; ++read) {
        ASSERT_EQ(Read("ABC"), TOutcome::Completed);
    }
    EXPECT_EQ(View.Label4, "Corretos: 3");
    const double today = rtl::Date();

    EXPECT_EQ(Finalizar(), TOutcome::Completed);
    EXPECT_TRUE(View.Notices.empty());  // no notice confirms success
    ASSERT_EQ(Store.Auditoria.size(), 1u);
    const TAuditoriaRow& row = Store.Auditoria[0];
    EXPECT_EQ(row.Data, today);
    EXPECT_EQ(row.Data, std::floor(row.Data));  // date only
    EXPECT_EQ(row.CodGrupo, "G1");
    EXPECT_EQ(row.CodProduto, "ABC");
    EXPECT_EQ(row.Quantidade, "3");
    EXPECT_EQ(row.Situacao, "CONF ESTOQUE");
    EXPECT_EQ(row.Observacao, "Conferido por: MARIA");
    EXPECT_FALSE(Store.AuditTableOpen);

    EXPECT_EQ(State(), TCountState::NoCount);
    EXPECT_FALSE(ProductListOpen());
    EXPECT_EQ(View.Label4, "");
    EXPECT_EQ(View.Panels[2], "");
    EXPECT_TRUE(View.ChooserEnabled);
}

TEST_F(CountReadsTest, AnEmptyNameSignsWithThePrefixAlone) {
    ASSERT_EQ(PressF2("SEMNOME"), TOutcome::Completed);
    ASSERT_EQ(Choose("CODE7"), TOutcome::Completed);
    ASSERT_EQ(Read("CODE7"), TOutcome::Completed);
    EXPECT_EQ(Finalizar(), TOutcome::Completed);
    ASSERT_EQ(Store.Auditoria.size(), 1u);
    EXPECT_EQ(Store.Auditoria[0].Observacao, "Conferido por: ");
}

TEST_F(CountReadsTest, FinalizarWithoutCorrectReadsDoesNothingAtAll) {
    const struct {
        const char* Name;
        std::vector<std::string> Reads;
    } cases[] = {{"no reads", {}}, {"only wrong reads", {"XYZ", "789002"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TCountHarness t;
        t.Show();
        t.OpenCountOn("ABC");
        for (const std::string& code : c.Reads) {
            ASSERT_EQ(t.Read(code), TOutcome::Completed);
        }
        const TRows wrongBefore = t.Wrong();
        const std::vector<std::string> logBefore = t.Store.Log;

        EXPECT_EQ(t.Finalizar(), TOutcome::Completed);
        EXPECT_TRUE(t.View.Notices.empty());
        EXPECT_EQ(t.Store.Log, logBefore);
        EXPECT_EQ(t.Wrong(), wrongBefore);
        EXPECT_EQ(NomeConferente, "MARIA DA SILVA");
    }
}

TEST_F(CountReadsTest, FinalizarRefusesACountThatDiffersFromTheStock) {
    const struct {
        const char* Product;
        int Reads;
    } cases[] = {{"ABC", 2}, {"ABC", 4}, {"NEG", 1}, {"XYZ", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Product) + " read " + std::to_string(c.Reads) + " times");
        TCountHarness t;
        t.Show();
        t.OpenCountOn(c.Product);
        for (int read = 0; read < c.Reads; ++read) {
            ASSERT_EQ(t.Read(c.Product), TOutcome::Completed);
        }

        EXPECT_EQ(t.Finalizar(), TOutcome::Aborted);
        EXPECT_EQ(t.View.Notices,
                  (std::vector<std::string>{
                      "A quantidade atual em estoque diverge da quantidade conferida!"}));
        EXPECT_TRUE(t.Store.Auditoria.empty());
        EXPECT_EQ(t.State(), TCountState::OpenWithReads);
        EXPECT_EQ(static_cast<int>(t.Correct().size()), c.Reads);
    }
}

TEST_F(CountReadsTest, AFractionalStockFailsTheConversionAndWritesNothing) {
    OpenCountOn("FRAC");
    ASSERT_EQ(Read("FRAC"), TOutcome::Completed);
    ASSERT_EQ(Read("FRAC"), TOutcome::Completed);
    try {
        Form->SpeedButton1Click();
        FAIL() << "Finalizar accepted a fractional stock";
    } catch (const rtl::EConvertError& error) {
        EXPECT_STREQ(error.what(), "''2.5'' is not a valid integer value");
    }
    EXPECT_TRUE(Store.Auditoria.empty());
    EXPECT_EQ(std::count(Store.Log.begin(), Store.Log.end(), "AppendAudit"), 0);
    EXPECT_EQ(State(), TCountState::OpenWithReads);
    EXPECT_TRUE(View.Notices.empty());
}

TEST_F(CountReadsTest, AFailedAuditPostLeavesTheCountInPlace) {
    OpenCountOn("CODE7");
    ASSERT_EQ(Read("CODE7"), TOutcome::Completed);
    Store.FailAuditPost = true;
    EXPECT_THROW(Form->SpeedButton1Click(), rtl::EDatabaseError);
    EXPECT_TRUE(Store.AuditTableOpen);
    EXPECT_EQ(State(), TCountState::OpenWithReads);
    EXPECT_EQ(Correct(), (TRows{{"G7", "CODE7"}}));
    EXPECT_EQ(NomeConferente, "MARIA DA SILVA");
}

TEST_F(CountReadsTest, ANegativeStockAcceptsReads) {
    OpenCountOn("NEG");
    EXPECT_EQ(Read("NEG"), TOutcome::Completed);
    EXPECT_EQ(Correct(), (TRows{{"G4", "NEG"}}));
}

}  // namespace
}  // namespace varelum::count::testing
