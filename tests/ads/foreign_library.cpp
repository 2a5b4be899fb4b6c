// A shared library that is not the engine: it exports only the three error functions, and its
// two text getters always refuse. The tests point VARELUM_ENGINE_LIBRARY at it to see a
// missing engine function (C0FB007F) and an engine that cannot give an error text, which the
// real engine never refuses to do.
#include <cstdint>
#include <cstring>

namespace {
char gShownCaption[256] = "";
}

extern "C" {

__attribute__((visibility("default"))) std::uint32_t AdsGetLastError(std::uint32_t*, std::uint8_t*,
                                                                     std::uint16_t*) {
    return 6004;
}

__attribute__((visibility("default"))) std::uint32_t AdsGetErrorString(std::uint32_t, std::uint8_t*,
                                                                       std::uint16_t*) {
    return 6004;
}

__attribute__((visibility("default"))) std::uint32_t AdsShowError(const std::uint8_t* caption) {
    std::strncpy(gShownCaption, reinterpret_cast<const char*>(caption), sizeof gShownCaption - 1);
    return 0;
}

// The caption of the last AdsShowError call ("" before the first).
__attribute__((visibility("default"))) const char* ForeignLibraryShownCaption() {
    return gShownCaption;
}
}
