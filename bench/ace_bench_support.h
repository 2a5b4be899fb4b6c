// Helpers of the benchmarks that reach the engine through ace: 8-bit text arguments, and an
// engine call that must succeed (a failure ends the run with the engine's code and text, since
// a benchmark has no caller to report to).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ads/ace.h"

namespace varelum::bench {

inline const UNSIGNED8* Text8(const char* text) {
    return reinterpret_cast<const UNSIGNED8*>(text);
}

inline const UNSIGNED8* Text8(const std::string& text) {
    return Text8(text.c_str());
}

inline void Check(UNSIGNED32 result, const char* what) {
    if (result != 0) {
        UNSIGNED32 code = 0;
        UNSIGNED8 text[600] = {};
        UNSIGNED16 length = sizeof text;
        ads::ace::AdsGetLastError(&code, text, &length);
        std::fprintf(stderr, "%s failed: %u %s\n", what, code, text);
        std::abort();
    }
}

}  // namespace varelum::bench
