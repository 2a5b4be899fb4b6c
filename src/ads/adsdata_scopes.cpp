// TAdsDataSet: the scope, key bounds given as text on the active index (Scoped, ScopeBegin,
// ScopeEnd; see adsdata_cursor.h). A scope and a range exclude each other: both are bounds of
// the same index handle.
#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "rtl/code_page.h"

namespace varelum::ads {
namespace {

// The engine's scope buffers hold 4082 bytes; the text may be one character longer.
constexpr std::size_t kScopeTextMaximum = 4083;

}  // namespace

void TAdsDataSet::ApplyScopeToEngine() {
    if (mlActiveHandle == mlHandle) {
        RaiseError("Cannot activate scope when there is no active index.");
    }
    if (ActiveIndexHasScope()) {
        RaiseError("Cannot activate scope when there is an active range.");
    }
    auto setBound = [this](UNSIGNED16 bound, const std::string& text) {
        if (text.empty()) {
            return;
        }
        const std::u16string wide = rtl::Utf8ToUtf16(text);
        Check(ace::AdsSetScope(
            mlActiveHandle, bound, reinterpret_cast<const UNSIGNED8*>(wide.data()),
            static_cast<UNSIGNED16>(wide.size() * sizeof(char16_t)), VE_WSTRINGKEY));
    };
    setBound(VE_TOP, mstrScopeStart);
    setBound(VE_BOTTOM, mstrScopeEnd);
}

void TAdsDataSet::ClearEngineScope() {
    if (mlActiveHandle == mlHandle) {
        return;
    }
    for (const UNSIGNED16 bound : {UNSIGNED16{VE_TOP}, UNSIGNED16{VE_BOTTOM}}) {
        const UNSIGNED32 result = ace::AdsClearScope(mlActiveHandle, bound);
        if (result != VE_NO_SCOPE) {
            Check(result);
        }
    }
}

void TAdsDataSet::SetScoped(bool value) {
    if (value == mbScoped) {
        return;
    }
    if (Active()) {
        CheckBrowseMode();
        const UNSIGNED32 shown = IsEmpty() ? 0 : BufferBookmarkRecord(ActiveBuffer());
        if (value) {
            ApplyScopeToEngine();
            mbScoped = true;
            UpdateCursorPos();
            UNSIGNED16 visible = 0;
            const UNSIGNED32 result = ace::AdsIsRecordVisible(mlActiveHandle, &visible);
            if (result == VE_NO_CURRENT_RECORD) {
                visible = 0;
            } else {
                Check(result);
            }
            if (visible != 0) {
                Resync(0);
            } else {
                First();
            }
        } else {
            ClearEngineScope();
            mbScoped = false;
            if (Bof() && Eof()) {
                First();
            } else {
                // Back on the record shown; one the engine no longer has gives way to the next.
                // Other answers leave the engine where it is, and Resync shows what is there.
                if (ace::AdsGotoRecord(mlHandle, shown) == VE_RECORD_NOT_FOUND) {
                    Next();
                    UpdateCursorPos();
                }
                Resync(0);
            }
        }
        return;
    }
    mbScoped = value;
}

void TAdsDataSet::SetScopeBegin(const std::string& text) {
    if (rtl::Utf8ToUtf16(text).size() > kScopeTextMaximum) {
        RaiseError("Scope text length exceeded 4082");
    }
    mstrScopeStart = text;
}

void TAdsDataSet::SetScopeEnd(const std::string& text) {
    if (rtl::Utf8ToUtf16(text).size() > kScopeTextMaximum) {
        RaiseError("Scope text length exceeded 4082");
    }
    mstrScopeEnd = text;
}

}  // namespace varelum::ads
