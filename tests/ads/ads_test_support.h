// Helpers of the data-access tests: temporary directories, scoped environment variables and
// working directories, tables created through the engine, and a minimal dataset that
// supplies TAdsDatabaseLink's identity.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include <algorithm>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_link.h"
#include "ads/adsdata_registry.h"
#include "rtl/component.h"

namespace varelum::ads::test {

// A fresh directory under the system's temporary directory, removed with its contents.
class TTempDirectory {
  public:
    TTempDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "varelum-ads-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary directory");
        }
        FPath = pattern;
    }
    ~TTempDirectory() {
        std::error_code error;
        std::filesystem::remove_all(FPath, error);
    }
    TTempDirectory(const TTempDirectory&) = delete;
    TTempDirectory& operator=(const TTempDirectory&) = delete;

    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& name) const { return FPath + "/" + name; }

    // Creates a subdirectory and returns its path.
    std::string MakeDirectory(const std::string& name) const {
        const std::string path = *this / name;
        std::filesystem::create_directories(path);
        return path;
    }

    // Writes a file (replacing it) and returns its path.
    std::string WriteFile(const std::string& name, const std::string& content) const {
        const std::string path = *this / name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        return path;
    }

  private:
    std::string FPath;
};

// Sets (or, with nullopt, unsets) an environment variable for the life of the object.
class TScopedEnvironment {
  public:
    TScopedEnvironment(std::string name, const std::optional<std::string>& value)
        : FName(std::move(name)) {
        if (const char* old = getenv(FName.c_str())) {
            FOld = old;
        }
        Set(value);
    }
    ~TScopedEnvironment() { Set(FOld); }
    TScopedEnvironment(const TScopedEnvironment&) = delete;
    TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

  private:
    void Set(const std::optional<std::string>& value) {
        if (value) {
            setenv(FName.c_str(), value->c_str(), 1);
        } else {
            unsetenv(FName.c_str());
        }
    }
    std::string FName;
    std::optional<std::string> FOld;
};

// Makes a directory the working directory for the life of the object.
class TScopedCurrentDirectory {
  public:
    explicit TScopedCurrentDirectory(const std::string& directory)
        : FOld(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~TScopedCurrentDirectory() {
        std::error_code error;
        std::filesystem::current_path(FOld, error);
    }
    TScopedCurrentDirectory(const TScopedCurrentDirectory&) = delete;
    TScopedCurrentDirectory& operator=(const TScopedCurrentDirectory&) = delete;

  private:
    std::filesystem::path FOld;
};

// Makes the file search for ads.ini look only where a test puts it: no adsini_path, a
// working directory of the test's own and a user configuration folder that does not exist
// (the system's, /etc/varelum, cannot be moved aside).
class TIsolatedAdsIni {
  public:
    explicit TIsolatedAdsIni(const TTempDirectory& directory)
        : FEnvironment("adsini_path", std::nullopt),
          FConfigurationHome("XDG_CONFIG_HOME", directory.Path() + "/no-configuration"),
          FCurrent(directory.Path()) {}

  private:
    TScopedEnvironment FEnvironment;
    TScopedEnvironment FConfigurationHome;
    TScopedCurrentDirectory FCurrent;
};

inline const UNSIGNED8* EngineText(const std::string& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

// The engine's path for a connection handle (AdsGetConnectionPath); empty when it refuses.
inline std::string EngineConnectionPath(ADSHANDLE hConnect) {
    UNSIGNED8 buffer[1024] = {};
    UNSIGNED16 length = sizeof buffer;
    if (ace::AdsGetConnectionPath(hConnect, buffer, &length) != 0) {
        return {};
    }
    return reinterpret_cast<const char*>(buffer);
}

// Skips the test while the engine answers `result` with "not implemented" (a function still
// being written); `what` names it.
#define VARELUM_SKIP_WHILE_ENGINE_LACKS(result, what)                             \
    do {                                                                          \
        if ((result) == VE_NOT_IMPLEMENTED) {                                     \
            GTEST_SKIP() << "the engine does not implement " << (what) << " yet"; \
        }                                                                         \
    } while (false)

// Whether the engine's error functions and AdsConnect work (rather than being placeholders).
inline bool EngineHasErrorFunctions() {
    return ace::AdsSetLastError(0, nullptr) != VE_NOT_IMPLEMENTED;
}
inline bool EngineCanConnect() {
    ADSHANDLE hConnect = 0;
    const UNSIGNED32 result = ace::AdsConnect(EngineText("/"), &hConnect);
    if (result == 0) {
        ace::AdsDisconnect(hConnect);
    }
    return result != VE_NOT_IMPLEMENTED;
}

// A named component, to own datasets and connections.
inline std::unique_ptr<rtl::TComponent> NamedOwner(const std::string& name) {
    auto owner = std::make_unique<rtl::TComponent>();
    owner->SetName(name);
    return owner;
}

// The least a connection component must offer: a Name and an Owner, the creating thread
// (recorded by TAdsConnectionBase), connecting with AdsConnect to a fixed path, the path and
// the alias table type, and the list of attached datasets.
class TTestConnection : public TAdsConnectionBase {
  public:
    TTestConnection(const std::string& name, rtl::TComponent* owner = nullptr,
                    std::string path = {},
                    TAdsConnectionTableTypes tableType = ttAdsConnectUnspecified)
        : TAdsConnectionBase(owner), FPath(std::move(path)), FTableType(tableType) {
        SetName(name);
    }
    ~TTestConnection() override {
        for (TAdsDatabaseLink* table : FTables) {
            table->ClearAdsConnection();
        }
        if (FhConnection != 0) {
            ace::AdsDisconnect(FhConnection);
        }
    }

    void Connect() override {
        if (FhConnection == 0) {
            ADSHANDLE hConnect = 0;
            CheckAceResult(nullptr, ace::AdsConnect(EngineText(FPath), &hConnect));
            FhConnection = hConnect;
        }
        ++FConnectCalls;
    }
    bool IsConnected() const override { return FhConnection != 0; }
    ADSHANDLE ConnectionHandle() const override { return FhConnection; }
    std::string GetConnectionPath() const override { return FPath; }
    TAdsConnectionTableTypes GetAdsTableType() const override { return FTableType; }
    void AddTableToConnectList(TAdsDatabaseLink* table) override { FTables.push_back(table); }
    void RemoveTableFromConnectList(TAdsDatabaseLink* table) override {
        const auto found = std::find(FTables.begin(), FTables.end(), table);
        if (found != FTables.end()) {
            FTables.erase(found);
        }
    }

    const std::vector<TAdsDatabaseLink*>& Tables() const { return FTables; }
    int ConnectCalls() const { return FConnectCalls; }

  private:
    std::string FPath;
    TAdsConnectionTableTypes FTableType;
    ADSHANDLE FhConnection = 0;
    std::vector<TAdsDatabaseLink*> FTables;
    int FConnectCalls = 0;
};

// A dataset of the tests: a component with a TAdsDatabaseLink and a settable open state.
class TTestDataSet : public rtl::TComponent, public TAdsDatabaseLink {
  public:
    explicit TTestDataSet(const std::string& name = "Table1", rtl::TComponent* owner = nullptr)
        : rtl::TComponent(owner), TAdsDatabaseLink(static_cast<rtl::TComponent&>(*this)) {
        SetName(name);
    }

    bool IsDataSetOpen() const override { return FOpen; }
    void SetOpen(bool open) { FOpen = open; }

  private:
    bool FOpen = false;
};

}  // namespace varelum::ads::test
