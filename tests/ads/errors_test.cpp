// EADSDatabaseError and CheckAceResult against the engine's own last error: the message built
// from the dataset's Name, the fields, ColumnName for 5147 to 5149, SQLErrorCode from
// "NATIVEERROR = ", the per-thread ErrorInProgress, and the two AdsError classes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "ads/ace.h"
#include "ads/adsdata_errors.h"
#include "ads_test_support.h"

namespace varelum::ads {
namespace {

using test::EngineText;
using test::TIsolatedAdsIni;
using test::TTempDirectory;
using test::TTestDataSet;

class AdsErrors : public ::testing::Test {
  protected:
    void SetUp() override {
        VARELUM_SKIP_WHILE_ENGINE_LACKS(ace::AdsSetLastError(0, nullptr), "AdsSetLastError");
    }

    // Makes (code, text) the engine's last error and runs it through CheckAceResult, which is
    // given a different, non-zero result on purpose: the reported code is the engine's.
    static EADSDatabaseError RaisedBy(TAdsDatabaseLink* dataSet, UNSIGNED32 code,
                                      const std::string& text) {
        ace::AdsSetLastError(code, EngineText(text));
        try {
            CheckAceResult(dataSet, 1);
        } catch (const EADSDatabaseError& error) {
            return error;
        }
        ADD_FAILURE() << "CheckAceResult did not raise";
        return EADSDatabaseError(nullptr, 0, "");
    }
};

TEST_F(AdsErrors, CheckAceResultWithZeroDoesNothingAlsoWithoutEngineText) {
    ace::AdsSetLastError(0, nullptr);
    EXPECT_NO_THROW(CheckAceResult(nullptr, 0));
    ace::AdsSetLastError(5004, EngineText("a stale text"));
    TTestDataSet dataSet;
    EXPECT_NO_THROW(CheckAceResult(&dataSet, 0));
}

TEST_F(AdsErrors, AdsSetLastErrorsCodeAndTextReachTheException) {
    const std::string sentence = "The current user does not have rights to update this record.";
    try {
        CheckAceResult(nullptr, ace::AdsSetLastError(5054, EngineText(sentence)));
        FAIL() << "no exception";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), 5054u);
        EXPECT_EQ(error.Message(), sentence);
        EXPECT_STREQ(error.ClassName(), "EADSDatabaseError");
    }
}

TEST_F(AdsErrors, MessageIsTheDataSetsNameAColonAndTheEngineText) {
    TTempDirectory work;
    TIsolatedAdsIni isolated(work);
    const auto form = test::NamedOwner("Form1");
    TTestDataSet dataSet("TbAuditoria", form.get());
    dataSet.SetDatabaseName(work.Path() + "/loja/");
    dataSet.SetTableName("Auditoria.adt");

    const EADSDatabaseError error = RaisedBy(&dataSet, 6020, "The table was not found.");
    EXPECT_EQ(error.Message(), "TbAuditoria: The table was not found.");
    EXPECT_EQ(error.ACEErrorCode(), 6020u);
    EXPECT_EQ(error.DataSetInstanceName(), "TbAuditoria");
    EXPECT_EQ(error.DataSetInstanceOwner(), "Form1");
    EXPECT_EQ(error.DatabaseName(), work.Path() + "/loja/");
    EXPECT_EQ(error.DatabasePath(), work.Path() + "/loja");
    EXPECT_EQ(error.TableName(), "Auditoria.adt");
    EXPECT_EQ(error.ColumnName(), "");
    EXPECT_EQ(error.SQLErrorCode(), 0u);
}

TEST_F(AdsErrors, WithoutADataSetOrWithAnEmptyNameTheMessageIsTheTextAlone) {
    EXPECT_EQ(RaisedBy(nullptr, 6020, "The table was not found.").Message(),
              "The table was not found.");
    TTestDataSet unnamed("");
    const EADSDatabaseError error = RaisedBy(&unnamed, 6020, "The table was not found.");
    EXPECT_EQ(error.Message(), "The table was not found.");
    EXPECT_EQ(error.DataSetInstanceOwner(), "");
}

TEST_F(AdsErrors, EngineTextInWindows1252BecomesUtf8) {
    const EADSDatabaseError error = RaisedBy(nullptr, 6033, "Valor inv\xe1lido");
    EXPECT_EQ(error.Message(), "Valor inv\u00e1lido");
}

TEST_F(AdsErrors, ColumnNameForCodes5147To5149) {
    struct TRow {
        UNSIGNED32 Code;
        bool WithDataSet;
        const char* Text;
        const char* Column;
    };
    const TRow rows[] = {
        {5147, true, "Value for column \"codproduto\" is too long.", "codproduto"},
        {5148, true, "Null value for column \"nomefuncionario\" is not allowed", "nomefuncionario"},
        {5149, true, "Check failed on column \"qtde\"", "qtde"},
        {5148, true, "A value is missing.", ""},
        // Without the closing quote the rest of the text is the name.
        {5148, true, "Bad value in column \"descricao", "descricao"},
        // Other codes, and errors without a dataset, never take a column name.
        {5146, true, "Value for column \"codproduto\" is too long.", ""},
        {5150, true, "Value for column \"codproduto\" is too long.", ""},
        {5148, false, "Value for column \"codproduto\" is too long.", ""},
    };
    TTestDataSet dataSet("QyCadProdutos");
    for (const TRow& row : rows) {
        const EADSDatabaseError error =
            RaisedBy(row.WithDataSet ? &dataSet : nullptr, row.Code, row.Text);
        EXPECT_EQ(error.ColumnName(), row.Column) << row.Code << " " << row.Text;
        EXPECT_EQ(error.ACEErrorCode(), row.Code);
    }
}

TEST_F(AdsErrors, ColumnNameIsAtMost900Characters) {
    const std::string longName(1000, 'c');
    TTestDataSet dataSet;
    const EADSDatabaseError error =
        RaisedBy(&dataSet, 5147, "column \"" + longName.substr(0, 500) + "\" is bad");
    EXPECT_EQ(error.ColumnName(), longName.substr(0, 500));
    // The engine text itself is cut at 600 characters, so build the error directly.
    const EADSDatabaseError direct(&dataSet, 5147, "column \"" + longName + "\"");
    EXPECT_EQ(direct.ColumnName(), longName.substr(0, 900));
}

TEST_F(AdsErrors, SqlErrorCodeFromNativeError) {
    struct TRow {
        const char* Text;
        UNSIGNED32 SqlCode;
    };
    const TRow rows[] = {
        {"ERROR 7200: AQE Error: State = HY000; NativeError = 2121; no such column", 2121},
        {"error 7200: AQE Error: State = 42000; NATIVEERROR = 2115", 2115},
        {"ERROR 7200: NativeError = 2121 ; trailing blank", 2121},
        {"ERROR 7200: State = HY000; NativeError = abc; not a number", 0},
        {"ERROR 7200: State = HY000; NativeError = ; empty", 0},
        {"ERROR 7200: no native error here", 0},
        {"State = HY000; NativeError = 2121; but no 7200 marker", 0},
    };
    for (const TRow& row : rows) {
        const EADSDatabaseError error = RaisedBy(nullptr, 7200, row.Text);
        EXPECT_EQ(error.SQLErrorCode(), row.SqlCode) << row.Text;
        EXPECT_EQ(error.Message(), row.Text);
        EXPECT_EQ(error.ACEErrorCode(), 7200u);
    }
}

TEST_F(AdsErrors, CheckAceResultIgnoreNoRecordLetsOnly5068Pass) {
    ace::AdsSetLastError(5068, EngineText("There is no current record."));
    EXPECT_NO_THROW(CheckAceResultIgnoreNoRecord(nullptr, 5068));
    ace::AdsSetLastError(5022, EngineText("The record was not found."));
    EXPECT_THROW(CheckAceResultIgnoreNoRecord(nullptr, 5022), EADSDatabaseError);
    EXPECT_NO_THROW(CheckAceResultIgnoreNoRecord(nullptr, 0));
}

TEST_F(AdsErrors, TheLayersOwnErrorsCarry5121) {
    TTestDataSet dataSet("Query1");
    try {
        RaiseAdsComponentError(&dataSet, "Cannot perform this operation on an open dataset");
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), 5121u);
        EXPECT_EQ(error.Message(), "Query1: Cannot perform this operation on an open dataset");
    }
}

// A connection that does something while a dataset on it works out its database path, as
// an error about the dataset does while it gathers its context.
class TProbingConnection : public test::TTestConnection {
  public:
    using TTestConnection::TTestConnection;
    std::string GetConnectionPath() const override {
        if (FProbe) {
            FProbe();
        }
        return TTestConnection::GetConnectionPath();
    }
    std::function<void()> FProbe;
};

TEST_F(AdsErrors, ErrorInProgressIsSetOnlyWhileTheContextIsGathered) {
    EXPECT_FALSE(ErrorInProgress());
    TProbingConnection connection("Conn", nullptr, "/conn");
    TTestDataSet dataSet("Table1");
    dataSet.SetAdsConnection(&connection);
    bool seenInProgress = false;
    bool nestedRaised = false;
    connection.FProbe = [&] {
        seenInProgress = ErrorInProgress();
        // A nested engine failure neither raises nor replaces the error being built.
        ace::AdsSetLastError(6005, EngineText("nested failure"));
        try {
            CheckAceResult(nullptr, 6005);
        } catch (...) {
            nestedRaised = true;
        }
        // Nor does a nested error built directly: it comes out empty.
        const EADSDatabaseError nested(nullptr, 5121, "nested sentence");
        EXPECT_EQ(nested.Message(), "");
        EXPECT_EQ(nested.ACEErrorCode(), 0u);
    };
    const EADSDatabaseError error = RaisedBy(&dataSet, 6020, "outer failure");
    EXPECT_EQ(error.DatabasePath(), "/conn");
    EXPECT_TRUE(seenInProgress);
    EXPECT_FALSE(nestedRaised);
    EXPECT_EQ(error.Message(), "Table1: outer failure");
    EXPECT_EQ(error.ACEErrorCode(), 6020u);
    EXPECT_FALSE(ErrorInProgress());
}

TEST_F(AdsErrors, ErrorInProgressIsPerThread) {
    TProbingConnection connection("Conn", nullptr, "/conn");
    TTestDataSet dataSet("Table1");
    dataSet.SetAdsConnection(&connection);
    std::string otherThreadsMessage;
    connection.FProbe = [&] {
        // While this thread gathers, another thread's errors are built in full.
        std::thread other([&] {
            const EADSDatabaseError error(nullptr, 5121, "from another thread");
            otherThreadsMessage = error.Message();
        });
        other.join();
    };
    const EADSDatabaseError error(&dataSet, 6020, "outer failure");
    EXPECT_EQ(otherThreadsMessage, "from another thread");
    EXPECT_EQ(error.Message(), "Table1: outer failure");
}

TEST_F(AdsErrors, AFailureWhileTheDatabasePathIsWorkedOutDoesNotReplaceTheError) {
    TTempDirectory work;
    TIsolatedAdsIni isolated(work);
    TTestDataSet dataSet("TbCadFuncionariosLojas");
    dataSet.SetDatabaseName("BALDERIM");  // no ads.ini yet: not resolved
    // Now the path needs ads.ini, which is broken: GetDatabasePath fails inside the error.
    work.WriteFile("ads.ini", "[Databases\n");
    const EADSDatabaseError error = RaisedBy(&dataSet, 6020, "The table was not found.");
    EXPECT_EQ(error.Message(), "TbCadFuncionariosLojas: The table was not found.");
    EXPECT_EQ(error.ACEErrorCode(), 6020u);
    EXPECT_EQ(error.DatabaseName(), "BALDERIM");
    EXPECT_EQ(error.DatabasePath(), "");
    EXPECT_FALSE(ErrorInProgress());
}

TEST_F(AdsErrors, SettingsAdsErrorCarriesTheEnginesTextForTheCode) {
    UNSIGNED8 text[601] = {};
    UNSIGNED16 length = 600;
    ASSERT_EQ(ace::AdsGetErrorString(VE_INVALID_DATE_FORMAT, text, &length), 0u);
    const adsset::AdsError error(VE_INVALID_DATE_FORMAT);
    EXPECT_EQ(error.Message(), reinterpret_cast<const char*>(text));
    EXPECT_FALSE(error.Message().empty());
    EXPECT_STREQ(error.ClassName(), "AdsError");
}

TEST_F(AdsErrors, ConnectionAdsErrorCarriesTheLastErrorsText) {
    ace::AdsSetLastError(6010, EngineText("The directory does not exist."));
    const adscnnct::AdsError error(6010);
    EXPECT_EQ(error.Message(), "The directory does not exist.");
    // A text longer than the buffer comes back cut, not lost.
    const std::string longText(700, 'x');
    ace::AdsSetLastError(6010, EngineText(longText));
    const adscnnct::AdsError cut(6010);
    EXPECT_EQ(cut.Message(), longText.substr(0, cut.Message().size()));
    EXPECT_GE(cut.Message().size(), 590u);
}

TEST(AdsMisuseErrors, CarryTheirSentence) {
    const adscnnct::AdsConnectionError connection("TAdsConnection.AliasName is not valid");
    EXPECT_EQ(connection.Message(), "TAdsConnection.AliasName is not valid");
    EXPECT_STREQ(connection.ClassName(), "AdsConnectionError");
    const adsset::AdsSettingsError settings("At least one server type must be selected.");
    EXPECT_EQ(settings.Message(), "At least one server type must be selected.");
    EXPECT_STREQ(settings.ClassName(), "AdsSettingsError");
}

}  // namespace
}  // namespace varelum::ads
