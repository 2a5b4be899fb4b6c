// Helpers of the data-access tests: temporary directories, scoped environment variables and
// working directories, tables created through the engine, and a minimal dataset that
// supplies TAdsDatabaseLink's identity.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "ads/ace.h"
#include "ads/adsdata_link.h"

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

// Makes the file search for ads.ini look only where a test puts it: no adsini_path, and a
// working directory of the test's own.
class TIsolatedAdsIni {
  public:
    explicit TIsolatedAdsIni(const TTempDirectory& directory)
        : FEnvironment("adsini_path", std::nullopt), FCurrent(directory.Path()) {}

  private:
    TScopedEnvironment FEnvironment;
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

// A dataset of the tests: a TAdsDatabaseLink with a settable Name, Owner and open state.
class TTestDataSet : public TAdsDatabaseLink {
  public:
    explicit TTestDataSet(std::string name = "Table1", const rtl::TComponent* owner = nullptr,
                          std::string ownerName = {})
        : FName(std::move(name)), FOwner(owner), FOwnerName(std::move(ownerName)) {}

    std::string DataSetName() const override { return FName; }
    const rtl::TComponent* DataSetOwner() const override { return FOwner; }
    std::string DataSetOwnerName() const override { return FOwnerName; }
    bool IsDataSetOpen() const override { return FOpen; }

    void SetOpen(bool open) { FOpen = open; }
    void SetName(std::string name) { FName = std::move(name); }

  private:
    std::string FName;
    const rtl::TComponent* FOwner;
    std::string FOwnerName;
    bool FOpen = false;
};

}  // namespace varelum::ads::test
