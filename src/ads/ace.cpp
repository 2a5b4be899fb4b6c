// ace: loading the engine library and looking up its functions (see ace.h for the contract).
//
// The library handle is kept for the life of the process once a load succeeds: the engine
// holds connections, locks and open table files that must outlive any single component.
// A failed load or look-up leaves nothing behind, so the next call simply tries again.
#include "ads/ace.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "ads/process_paths.h"
#include "rtl/exception.h"

namespace varelum::ads::ace {
namespace {

// The engine library by its SONAME, as the build names it: the name an installed library
// answers to, where the unversioned one is only the link for building against it.
constexpr const char* kEngineLibraryFileName = VARELUM_ENGINE_SONAME;

std::mutex gLoadLock;
std::atomic<void*> gLibrary{nullptr};

// The places to try, in order (see ace.h).
std::vector<std::string> LibraryCandidates() {
    const char* configured = std::getenv("VARELUM_ENGINE_LIBRARY");
    if (configured != nullptr && configured[0] != '\0') {
        return {configured};
    }
    std::vector<std::string> candidates;
    const std::string directory = ExecutableDirectory();
    if (!directory.empty()) {
        candidates.push_back(directory + "/" + kEngineLibraryFileName);
        candidates.push_back(directory + "/../lib/" + kEngineLibraryFileName);
    }
    candidates.emplace_back(kEngineLibraryFileName);
    return candidates;
}

// Requires gLoadLock. The loaded library, loading it when needed; null when no candidate
// loads.
void* LoadedLibrary() {
    void* library = gLibrary.load(std::memory_order_acquire);
    if (library != nullptr) {
        return library;
    }
    for (const std::string& candidate : LibraryCandidates()) {
        // RTLD_NOW: a library with unresolved symbols of its own is refused here, at the
        // first call, rather than aborting the process later in the middle of some call.
        library = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library != nullptr) {
            gLibrary.store(library, std::memory_order_release);
            return library;
        }
    }
    return nullptr;
}

}  // namespace

void* ResolveEngineFunction(const char* name) {
    std::lock_guard<std::mutex> guard(gLoadLock);
    void* library = LoadedLibrary();
    if (library == nullptr) {
        throw rtl::EExternalException(kEngineLibraryMissing);
    }
    void* address = dlsym(library, name);
    if (address == nullptr) {
        throw rtl::EExternalException(kEngineFunctionMissing);
    }
    return address;
}

bool IsEngineLoaded() noexcept {
    return gLibrary.load(std::memory_order_acquire) != nullptr;
}

}  // namespace varelum::ads::ace
