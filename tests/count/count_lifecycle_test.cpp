// The count's life cycle through the test view and store: the first showing, opening a count
// (F2) and clearing it (F4) from every state, the close guard, the close and the duplicate copy.
#include <gtest/gtest.h>

#include "count/notices.h"
#include "count_fixture.h"

namespace varelum::count::testing {
namespace {

using CountLifecycleTest = CountTest;

TEST_F(CountLifecycleTest, FormShowLeavesNoCountWithTheProductListOpen) {
    View.Label2 = View.Label4 = View.Label5 = "stale";
    Show();
    EXPECT_EQ(State(), TCountState::NoCount);
    EXPECT_TRUE(ProductListOpen());
    EXPECT_TRUE(Store.StaffTableOpen);
    EXPECT_TRUE(Form->cdsQtdeProdConfIgual.Active());
    EXPECT_TRUE(Form->cdsQtdeProdConfDif.Active());
    EXPECT_EQ(View.Label2, "");
    EXPECT_EQ(View.Label4, "");
    EXPECT_EQ(View.Label5, "");
    EXPECT_TRUE(View.WindowStateNormal);
    EXPECT_EQ(Store.Log, (std::vector<std::string>{"OpenStaffTable", "OpenProductList"}));
    EXPECT_TRUE(View.Notices.empty());

    // The lists carry the two fields at their widths.
    ASSERT_EQ(Form->cdsQtdeProdConfIgual.Fields().Count(), 2);
    EXPECT_EQ(Form->cdsQtdeProdConfIgual.FieldByName("codgrupo").Size(), 16);
    EXPECT_EQ(Form->cdsQtdeProdConfDif.FieldByName("codproduto").Size(), 30);
    // The view was given the three sources.
    EXPECT_EQ(View.ChooserSource->DataSet(), &Store.QyCadProdutos);
    EXPECT_EQ(View.Grid1Source->DataSet(), &Form->cdsQtdeProdConfIgual);
    EXPECT_EQ(View.Grid2Source->DataSet(), &Form->cdsQtdeProdConfDif);
}

TEST_F(CountLifecycleTest, AfterStartAProductShowsItsStockButNothingCanBeRead) {
    Show();
    EXPECT_EQ(Choose("ABC"), TOutcome::Completed);
    EXPECT_EQ(View.Label2, "Qtde atual: 3");
    EXPECT_EQ(Read("ABC"), TOutcome::Ignored);  // the code field is disabled
}

TEST_F(CountLifecycleTest, AFailingFormShowStopsWhereItFailed) {
    Store.FailOpenStaffTable = true;
    EXPECT_THROW(Form->FormShow(), rtl::EDatabaseError);
    EXPECT_FALSE(ProductListOpen());
    EXPECT_FALSE(View.WindowStateNormal);
}

TEST_F(CountLifecycleTest, F2WithAKnownPasswordOpensACountWithNoProductChosen) {
    Show();
    Choose("XYZ");
    ASSERT_EQ(View.Label2, "Qtde atual: 5");
    View.Focus = TFocus::None;

    EXPECT_EQ(PressF2("senha1"), TOutcome::Completed);  // typed in lower case
    EXPECT_EQ(State(), TCountState::OpenNoReads);
    EXPECT_EQ(NomeConferente, "MARIA DA SILVA");
    EXPECT_EQ(View.Panels[2], "Conferência aberta por: MARIA");
    EXPECT_EQ(View.DBLookupComboBox1Text(), "");  // the key value was set to null
    EXPECT_EQ(View.Label2, "");
    EXPECT_TRUE(ProductListOpen());
    EXPECT_EQ(View.Focus, TFocus::DBLookupComboBox1);
    EXPECT_TRUE(View.Notices.empty());
    EXPECT_EQ(Dialogs.Created, 1);
    EXPECT_EQ(Dialogs.Alive, 0);
    // The password is looked up as the dialog stored it: upper case.
    EXPECT_EQ(Store.Log,
              (std::vector<std::string>{"OpenStaffTable", "OpenProductList", "CloseProductList",
                                        "LocateStaff SENHA1", "OpenProductList"}));
}

TEST_F(CountLifecycleTest, TheStatusPanelAndSignatureUseTheFirstName) {
    const struct {
        const char* Password;
        const char* Panel;
    } cases[] = {
        {"JOSE", "Conferência aberta por: JOSE"},
        {"SEMNOME", "Conferência aberta por: "},
        {"SENHA1", "Conferência aberta por: MARIA"},
    };
    Show();
    for (const auto& c : cases) {
        ASSERT_EQ(PressF2(c.Password), TOutcome::Completed) << c.Password;
        EXPECT_EQ(View.Panels[2], c.Panel) << c.Password;
    }
}

TEST_F(CountLifecycleTest, F2WithAnUnknownPasswordLeavesNoCountAndTheProductListClosed) {
    Show();
    EXPECT_EQ(PressF2("wrong"), TOutcome::Aborted);
    EXPECT_EQ(View.Notices, (std::vector<std::string>{"Senha não existente!"}));
    EXPECT_EQ(State(), TCountState::NoCount);
    EXPECT_FALSE(ProductListOpen());
    EXPECT_EQ(View.DBLookupComboBox1Text(), "");
    EXPECT_EQ(Dialogs.Alive, 0);
}

TEST_F(CountLifecycleTest, AnEmptyPasswordIsStillLookedUp) {
    Show();
    EXPECT_EQ(PressF2(""), TOutcome::Aborted);
    EXPECT_EQ(Store.Log.back(), "LocateStaff ");
    EXPECT_EQ(View.Notices, (std::vector<std::string>{"Senha não existente!"}));
}

// The states a test can start from, each reached from a fresh window.
struct TStartState {
    const char* Name;
    TCountState State;
    std::function<void(TCountHarness&)> Reach;
};

const TStartState StartStates[] = {
    {"no count", TCountState::NoCount, [](TCountHarness&) {}},
    {"open without reads", TCountState::OpenNoReads,
     [](TCountHarness& t) { ASSERT_EQ(t.PressF2("JOSE"), TOutcome::Completed); }},
    {"open with a correct read", TCountState::OpenWithReads,
     [](TCountHarness& t) {
         t.OpenCountOn("ABC");
         ASSERT_EQ(t.Read("ABC"), TOutcome::Completed);
     }},
    {"open with only a wrong read", TCountState::OpenWithReads,
     [](TCountHarness& t) {
         t.OpenCountOn("ABC");
         ASSERT_EQ(t.Read("XYZ"), TOutcome::Completed);
     }},
};

// Runs `check` on a fresh window brought into each start state, with no notice shown yet.
template <class Check>
void ForEachStartState(Check check) {
    for (const TStartState& start : StartStates) {
        SCOPED_TRACE(start.Name);
        TCountHarness t;
        t.Show();
        start.Reach(t);
        ASSERT_EQ(t.State(), start.State);
        t.View.Notices.clear();
        check(start, t);
    }
}

TEST(CountStatesTest, F2FromEveryState) {
    for (const bool known : {true, false}) {
        SCOPED_TRACE(known ? "known password" : "unknown password");
        ForEachStartState([known](const TStartState& start, TCountHarness& t) {
            const std::string nameBefore = NomeConferente;
            const TRows correctBefore = t.Correct();
            const TRows wrongBefore = t.Wrong();
            const int dialogsBefore = t.Dialogs.Created;

            const TOutcome outcome = t.PressF2(known ? "SENHA1" : "NADA");
            if (start.State == TCountState::OpenWithReads) {
                // Refused before any dialog: nothing changes.
                EXPECT_EQ(outcome, TOutcome::Aborted);
                EXPECT_EQ(t.View.Notices,
                          (std::vector<std::string>{"Já existe uma conferência em aberto!"}));
                EXPECT_EQ(t.Dialogs.Created, dialogsBefore);
                EXPECT_EQ(NomeConferente, nameBefore);
                EXPECT_EQ(t.Correct(), correctBefore);
                EXPECT_EQ(t.Wrong(), wrongBefore);
                EXPECT_EQ(t.State(), TCountState::OpenWithReads);
                EXPECT_TRUE(t.ProductListOpen());
            } else if (known) {
                EXPECT_EQ(outcome, TOutcome::Completed);
                EXPECT_TRUE(t.View.Notices.empty());
                EXPECT_EQ(t.State(), TCountState::OpenNoReads);
                EXPECT_EQ(NomeConferente, "MARIA DA SILVA");
                EXPECT_TRUE(t.ProductListOpen());
                EXPECT_EQ(t.View.DBLookupComboBox1Text(), "");
            } else {
                EXPECT_EQ(outcome, TOutcome::Aborted);
                EXPECT_EQ(t.View.Notices, (std::vector<std::string>{"Senha não existente!"}));
                EXPECT_EQ(t.State(), TCountState::NoCount);
                EXPECT_FALSE(t.ProductListOpen());
                EXPECT_EQ(t.View.Panels[2], "");
            }
            EXPECT_EQ(t.Dialogs.Alive, 0);
        });
    }
}

TEST(CountStatesTest, F4FromEveryStateClearsWithoutAsking) {
    ForEachStartState([](const TStartState&, TCountHarness& t) {
        const int dialogsBefore = t.Dialogs.Created;

        EXPECT_EQ(t.PressF4(), TOutcome::Completed);
        EXPECT_TRUE(t.View.Notices.empty());
        EXPECT_EQ(t.Dialogs.Created, dialogsBefore);
        EXPECT_EQ(t.State(), TCountState::NoCount);
        EXPECT_FALSE(t.ProductListOpen());
        EXPECT_TRUE(t.Correct().empty());
        EXPECT_TRUE(t.Wrong().empty());
        EXPECT_EQ(t.View.Edit1, "");
        EXPECT_EQ(t.View.Label2, "");
        EXPECT_EQ(t.View.Label4, "");
        EXPECT_EQ(t.View.Label5, "");
        EXPECT_EQ(t.View.Panels[2], "");
        // The chooser keeps its key value but shows nothing while the list is closed.
        EXPECT_EQ(t.View.DBLookupComboBox1Text(), "");
        EXPECT_EQ(t.Choose("ABC"), TOutcome::Ignored);
    });
}

TEST(CountStatesTest, TheCloseGuardLooksAtReadsOnly) {
    ForEachStartState([](const TStartState& start, TCountHarness& t) {
        const bool reads = start.State == TCountState::OpenWithReads;

        EXPECT_EQ(t.CloseRequest(), !reads);
        EXPECT_EQ(t.View.Notices,
                  reads ? std::vector<std::string>{"Existe uma conferência em aberto e não será "
                                                   "possível fechar!"}
                        : std::vector<std::string>{});
        EXPECT_EQ(t.State(), start.State);  // the request changes nothing
    });
}

TEST_F(CountLifecycleTest, OtherKeysDoNothing) {
    Show();
    OpenCountOn("ABC");
    const std::vector<std::string> logBefore = Store.Log;
    for (std::uint16_t key : {112, 114, 116, 13, 27}) {
        EXPECT_EQ(PressKey(key), TOutcome::Completed);
    }
    EXPECT_EQ(Store.Log, logBefore);
    EXPECT_EQ(State(), TCountState::OpenNoReads);
    EXPECT_EQ(Dialogs.Created, 1);
}

TEST_F(CountLifecycleTest, AFailingStaffLookupEndsTheOpenAfterTheReset) {
    Show();
    OpenCountOn("ABC");
    Store.FailLocateStaff = true;
    Dialogs.Passwords.push_back("SENHA1");
    EXPECT_THROW(Form->FormKeyDown(KeyF2), rtl::EDatabaseError);
    EXPECT_EQ(State(), TCountState::NoCount);
    EXPECT_FALSE(ProductListOpen());
    EXPECT_EQ(Dialogs.Alive, 0);
}

TEST_F(CountLifecycleTest, FormCloseClosesTheStoreThenTheWrongThenTheCorrectList) {
    Show();
    OpenCountOn("ABC");
    Form->cdsQtdeProdConfIgual.AfterClose = [this](db::TDataSet&) {
        Store.Log.push_back("Close cdsQtdeProdConfIgual");
    };
    Form->cdsQtdeProdConfDif.AfterClose = [this](db::TDataSet&) {
        Store.Log.push_back("Close cdsQtdeProdConfDif");
    };
    Store.Log.clear();
    EXPECT_EQ(RunHandler([this] { Form->FormClose(); }), TOutcome::Completed);
    EXPECT_EQ(Store.Log,
              (std::vector<std::string>{"Close Query1", "Close QyCadProdutos", "Close TbAuditoria",
                                        "Close TbCadFuncionariosLojas", "Close cdsQtdeProdConfDif",
                                        "Close cdsQtdeProdConfIgual"}));
    EXPECT_FALSE(Form->cdsQtdeProdConfIgual.Active());
    EXPECT_FALSE(Form->cdsQtdeProdConfDif.Active());
}

TEST_F(CountLifecycleTest, ASecondCopyRequestsTheEndOfTheLoop) {
    Form->KrelOneInstance1Duplicated(nullptr, 0x1234);
    EXPECT_EQ(TerminateRequests, 1);
    EXPECT_TRUE(View.Notices.empty());
}

TEST_F(CountLifecycleTest, TheStoredNameIsClearedAtModuleFinalisation) {
    Show();
    ASSERT_EQ(PressF2("SENHA1"), TOutcome::Completed);
    ASSERT_EQ(NomeConferente, "MARIA DA SILVA");
    FinalizeConferenciaEstoque();
    EXPECT_EQ(NomeConferente, "");
}

}  // namespace
}  // namespace varelum::count::testing
