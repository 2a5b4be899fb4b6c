// The count driven as a user drives it: a form over the test view, the in-memory test store and
// the scripted password dialog, with helpers that press keys, pick products and type codes, each
// handler run the way the main loop runs it (the silent abort ends it quietly).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "count/conferencia_estoque.h"
#include "count/senha_acesso.h"
#include "rtl/exception.h"
#include "test_senha_dialog.h"
#include "test_store.h"
#include "test_view.h"

namespace varelum::count::testing {

enum class TOutcome {
    Completed,  // the handler ran to its end
    Aborted,    // the handler ended with the silent abort
    Ignored,    // the control was disabled, so the handler was never called
};

// The three states of a count, as read from the count's own data.
enum class TCountState { NoCount, OpenNoReads, OpenWithReads };

using TRows = std::vector<std::pair<std::string, std::string>>;

// One window over its own store, view and dialogs. Table-driven tests make one per case.
class TCountHarness {
  public:
    TCountHarness() {
        FinalizeConferenciaEstoque();
        Store.Products = {
            {"G1", "ABC", "789001", 3},
            {"G2", "XYZ", "789002", 5},
            {"G3", "ZERO", "789003", 0},
            {"G4", "NEG", "789004", -2},
            {"G5", "FRAC", "789005", 2.5},
            // Mixed case in the store: a typed code is always upper case.
            {"G6", "Ab1", "AB1", 1},
            // Its barcode is another product's code.
            {"G7", "CODE7", "XYZ", 1},
            // Group and product codes longer than the lists' fields.
            {"GRUPO-0123456789-XYZ", "PRODUTO-0123456789-0123456789-ABCDE", "789008", 1},
        };
        Store.Staff = {
            {"SENHA1", "MARIA DA SILVA"},
            {"JOSE", "JOSE"},
            {"SEMNOME", ""},
        };
        Form = std::make_unique<TConferenciaEstoqueForm1>(View, Store, Dialogs,
                                                          [this] { ++TerminateRequests; });
    }

    ~TCountHarness() { FinalizeConferenciaEstoque(); }
    TCountHarness(const TCountHarness&) = delete;
    TCountHarness& operator=(const TCountHarness&) = delete;

    static TOutcome RunHandler(const std::function<void()>& handler) {
        try {
            handler();
            return TOutcome::Completed;
        } catch (const rtl::EAbort&) {
            return TOutcome::Aborted;
        }
    }

    void Show() {
        ASSERT_EQ(RunHandler([this] { Form->FormShow(); }), TOutcome::Completed);
    }

    TOutcome PressKey(std::uint16_t key) {
        return RunHandler([this, key] { Form->FormKeyDown(key); });
    }

    // F2, with `password` typed into the dialog it opens.
    TOutcome PressF2(const std::string& password) {
        Dialogs.Passwords.push_back(password);
        const TOutcome outcome = PressKey(KeyF2);
        Dialogs.Passwords.clear();
        return outcome;
    }
    TOutcome PressF4() { return PressKey(KeyF4); }

    // Picks the product in the chooser, as the user does in its list.
    TOutcome Choose(const std::string& codProduto) {
        if (!View.Pick(codProduto)) {
            return TOutcome::Ignored;
        }
        return RunHandler([this] { Form->DBLookupComboBox1Click(); });
    }

    // Types the keys into the code field (each reaching Edit1KeyPress before the field takes
    // it) and presses Enter.
    TOutcome Read(const std::string& keys) {
        if (!View.Edit1Enabled) {
            return TOutcome::Ignored;
        }
        for (char key : keys) {
            const TOutcome outcome =
                RunHandler([this, key] { Form->Edit1KeyPress(static_cast<unsigned char>(key)); });
            if (outcome != TOutcome::Completed) {
                return outcome;
            }
            View.Edit1 += UpperCaseAsTyped(std::string(1, key));
        }
        return Enter();
    }
    TOutcome Enter() {
        return RunHandler([this] { Form->Edit1KeyPress(KeyEnter); });
    }

    TOutcome Finalizar() {
        return RunHandler([this] { Form->SpeedButton1Click(); });
    }

    // A close request; true when the window may close.
    bool CloseRequest() {
        bool canClose = true;
        EXPECT_EQ(RunHandler([&] { Form->FormCloseQuery(canClose); }), TOutcome::Completed);
        return canClose;
    }

    // Opens a count for MARIA DA SILVA and chooses `codProduto`.
    void OpenCountOn(const std::string& codProduto) {
        ASSERT_EQ(PressF2("senha1"), TOutcome::Completed);
        ASSERT_EQ(Choose(codProduto), TOutcome::Completed);
    }

    // The rows of a list, in order.
    static TRows Rows(db::TMemTable& list) {
        TRows rows;
        if (!list.Active()) {
            return rows;
        }
        for (list.First(); !list.Eof(); list.Next()) {
            rows.emplace_back(list.FieldByName("codgrupo").AsString(),
                              list.FieldByName("codproduto").AsString());
        }
        return rows;
    }
    TRows Correct() { return Rows(Form->cdsQtdeProdConfIgual); }
    TRows Wrong() { return Rows(Form->cdsQtdeProdConfDif); }

    // The state by the count's own data, checked against what each state implies for the code
    // field and the chooser.
    TCountState State() {
        const bool reads = !Correct().empty() || !Wrong().empty();
        if (NomeConferente.empty()) {
            EXPECT_FALSE(reads);
            EXPECT_FALSE(View.Edit1Enabled);
            EXPECT_TRUE(View.ChooserEnabled);
            return TCountState::NoCount;
        }
        EXPECT_TRUE(View.Edit1Enabled);
        EXPECT_EQ(View.ChooserEnabled, !reads);
        return reads ? TCountState::OpenWithReads : TCountState::OpenNoReads;
    }

    bool ProductListOpen() const { return Store.QyCadProdutos.Active(); }

    TTestStore Store;
    TTestView View;
    TScriptedSenhaDialogs Dialogs;
    int TerminateRequests = 0;
    std::unique_ptr<TConferenciaEstoqueForm1> Form;
};

class CountTest : public ::testing::Test, public TCountHarness {};

}  // namespace varelum::count::testing
