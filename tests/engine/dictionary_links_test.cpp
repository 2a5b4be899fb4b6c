// Links between data dictionaries through the C ABI: made and dropped by the administrator,
// listed, refused when they cannot work, and their passwords kept out of every text and out
// of the dictionary file in plain form.
#include <filesystem>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

constexpr const char* kAdminPassword = "admin-da-loja";
constexpr const char* kStockAdminPassword = "admin-do-estoque";
constexpr const char* kReaderPassword = "leitor;secreto";
constexpr const char* kAnaPassword = "senha-da-ana";

// Two stores, each with its dictionary in a folder of its own: the shop's ("loja"), whose
// administrator links to the stock's ("estoque"), where the user Leitor may read Saldos.
class DictionaryLinks : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        std::filesystem::create_directories(dir_.file("loja"));
        std::filesystem::create_directories(dir_.file("estoque"));
        shop_path_ = dir_.file("loja/loja.add");
        stock_path_ = dir_.file("estoque/estoque.add");
        ASSERT_ADS_OK(AdsDDCreate(u8(shop_path_), u8(kAdminPassword), u8("Loja"), &shop_));
        ASSERT_ADS_OK(
            AdsDDCreate(u8(stock_path_), u8(kStockAdminPassword), u8("Estoque"), &stock_));
        ASSERT_ADS_OK(AdsDDCreateUser(shop_, nullptr, u8("Ana"), u8(kAnaPassword), nullptr));
        ASSERT_ADS_OK(
            AdsDDCreateUser(stock_, nullptr, u8("Leitor"), u8(kReaderPassword), nullptr));
    }
    void TearDown() override {
        AdsDisconnect(shop_);
        AdsDisconnect(stock_);
        EngineTest::TearDown();
    }

    UNSIGNED32 link(const char* name, const std::string& path, const char* user,
                    const char* password, UNSIGNED32 options = 1, ADSHANDLE connection = 0) {
        return AdsDDCreateLink(connection == 0 ? shop_ : connection, u8(name), u8(path),
                               user == nullptr ? nullptr : u8(user),
                               password == nullptr ? nullptr : u8(password), options);
    }

    static UNSIGNED32 log_in(const std::string& dictionary, const std::string& user,
                             const std::string& password, ADSHANDLE* handle) {
        std::string text =
            "Data Source=" + dictionary + ";User ID=" + user + ";Password=\"" + password + "\";";
        return AdsConnect101(u8(text), nullptr, handle);
    }

    static std::vector<std::string> links_of(ADSHANDLE connection) {
        std::vector<std::string> found;
        UNSIGNED8 name[201];
        UNSIGNED16 length = sizeof name;
        ADSHANDLE find = 0;
        UNSIGNED32 rc =
            AdsDDFindFirstObject(connection, VE_DD_LINK_OBJECT, u8(""), name, &length, &find);
        while (rc == VE_SUCCESS) {
            found.emplace_back(reinterpret_cast<char*>(name), length);
            length = sizeof name;
            rc = AdsDDFindNextObject(connection, find, name, &length);
        }
        EXPECT_EQ(VE_DD_NO_MORE_OBJECTS, rc) << last_error_text();
        if (find != 0) {
            EXPECT_ADS_OK(AdsDDFindClose(connection, find));
        }
        return found;
    }

    std::string shop_path_, stock_path_;
    ADSHANDLE shop_ = 0, stock_ = 0;
};

TEST_F(DictionaryLinks, TheAdministratorMakesListsAndDropsLinks) {
    ASSERT_ADS_OK(link("Estoque", "../estoque/estoque.add", "leitor", kReaderPassword));
    ASSERT_ADS_OK(link("Arquivo", stock_path_, "Leitor", kReaderPassword, 4));
    EXPECT_EQ(links_of(shop_), (std::vector<std::string>{"Arquivo", "Estoque"}));

    // The password is kept sealed: not in the file as typed, and no listing shows it.
    EXPECT_EQ(read_file(shop_path_).find(kReaderPassword), std::string::npos);

    // Every user sees which links exist; only the administrator changes them.
    ADSHANDLE ana = 0;
    ASSERT_ADS_OK(log_in(shop_path_, "Ana", kAnaPassword, &ana));
    EXPECT_EQ(links_of(ana), (std::vector<std::string>{"Arquivo", "Estoque"}));
    EXPECT_EQ(link("Outro", stock_path_, "Leitor", kReaderPassword, 1, ana), VE_PERMISSION_DENIED);
    EXPECT_EQ(AdsDDDropLink(ana, u8("Estoque"), 1), VE_PERMISSION_DENIED);
    ASSERT_ADS_OK(AdsDisconnect(ana));

    // A global link is taken from every user only on purpose.
    EXPECT_EQ(AdsDDDropLink(shop_, u8("ESTOQUE"), 0), VE_INVALID_ARGUMENT);
    ASSERT_ADS_OK(AdsDDDropLink(shop_, u8("ESTOQUE"), 1));
    ASSERT_ADS_OK(AdsDDDropLink(shop_, u8("Arquivo"), 0));  // not global
    EXPECT_TRUE(links_of(shop_).empty());
    EXPECT_EQ(AdsDDDropLink(shop_, u8("Estoque"), 1), VE_DICTIONARY_ONLY);
    EXPECT_NE(last_error_text().find("Estoque"), std::string::npos) << last_error_text();

    // A free-table connection has no links to make.
    EXPECT_EQ(link("Estoque", stock_path_, "Leitor", kReaderPassword, 1, connection_),
              VE_DICTIONARY_ONLY);
}

TEST_F(DictionaryLinks, ALinkThatCannotWorkIsRefusedWhenMade) {
    ASSERT_ADS_OK(link("Estoque", stock_path_, "Leitor", kReaderPassword));
    struct Case {
        const char* name;
        std::string path;
        const char* user;
        const char* password;
        UNSIGNED32 options;
        UNSIGNED32 expected;
    };
    const std::vector<Case> cases = {
        {"Outro", stock_path_, "Leitor", "leitor;errado", 1, VE_LOGIN_FAILED},
        {"Outro", stock_path_, "Fulano", kReaderPassword, 1, VE_LOGIN_FAILED},
        {"Outro", stock_path_, "", "", 1, VE_INVALID_ARGUMENT},
        {"Outro", dir_.file("nada/nada.add"), "Leitor", kReaderPassword, 1, VE_PATH_NOT_FOUND},
        {"Outro", dir_.file("estoque"), "Leitor", kReaderPassword, 1, VE_INVALID_ARGUMENT},
        {"Outro", shop_path_, "Admin", kAdminPassword, 1, VE_INVALID_ARGUMENT},  // itself
        {"Outro", stock_path_, "Leitor", kReaderPassword, 8, VE_INVALID_ARGUMENT},
        {"main", stock_path_, "Leitor", kReaderPassword, 1, VE_INVALID_ARGUMENT},
        {"a.b", stock_path_, "Leitor", kReaderPassword, 1, VE_INVALID_ARGUMENT},
        {"ESTOQUE", stock_path_, "Leitor", kReaderPassword, 1, VE_DD_OBJECT_EXISTS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.path + " " + c.user);
        EXPECT_EQ(link(c.name, c.path, c.user, c.password, c.options), c.expected);
        const std::string error = last_error_text();
        EXPECT_EQ(error.find(c.password[0] != '\0' ? c.password : "\x01"), std::string::npos)
            << error;
    }
    EXPECT_EQ(links_of(shop_), (std::vector<std::string>{"Estoque"}));
    // A wrong password names the user and the linked dictionary, never the password.
    EXPECT_EQ(link("Outro", stock_path_, "Leitor", "leitor;errado"), VE_LOGIN_FAILED);
    EXPECT_NE(last_error_text().find("Leitor"), std::string::npos) << last_error_text();
    EXPECT_NE(last_error_text().find(stock_path_), std::string::npos) << last_error_text();
}

}  // namespace
}  // namespace varelum::engine::testing
