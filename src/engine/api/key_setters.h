// The field setters on an index handle: AdsSetField, AdsSetFieldW, AdsSetFieldRaw and
// AdsSetEmpty fill a segment of the handle's raw key instead of a record field. The field
// API hands such calls here (seek_api.cpp).
#pragma once

#include <string_view>

#include "varelum_engine.h"

namespace varelum::engine {

bool is_index_handle(ADSHANDLE handle) noexcept;
UNSIGNED32 set_key_text(ADSHANDLE index, const UNSIGNED8* field, const UNSIGNED8* text,
                        UNSIGNED32 length) noexcept;
UNSIGNED32 set_key_wide(ADSHANDLE index, const UNSIGNED8* field, const WCHAR* text,
                        UNSIGNED32 length) noexcept;
UNSIGNED32 set_key_raw(ADSHANDLE index, const UNSIGNED8* field, const UNSIGNED8* bytes,
                       UNSIGNED32 length) noexcept;
UNSIGNED32 set_key_empty(ADSHANDLE index, const UNSIGNED8* field) noexcept;

}  // namespace varelum::engine
