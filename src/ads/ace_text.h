// The engine's 8-bit text arguments, viewed from the components' strings.
#pragma once

#include <string>

#include "varelum_engine.h"

namespace varelum::ads {

// The engine reads the text up to its terminating null and never keeps the pointer.
inline const UNSIGNED8* Text8(const std::string& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

}  // namespace varelum::ads
