// Whether the tests run in a sanitizer build. There every record written inside a batch costs
// dozens of times what it costs in the release build (the sanitizer maps and poisons fresh
// memory for each nested transaction of the storage library, and a virtual machine pays for
// every page of it), so the few tests that write tens of thousands of records write fewer
// there: enough for the same cases, the same batches and the same kills.
#pragma once

#ifndef VARELUM_SANITIZED_BUILD
#define VARELUM_SANITIZED_BUILD 0
#endif

namespace varelum::testing {

inline constexpr bool kSanitizedBuild = VARELUM_SANITIZED_BUILD != 0;

}  // namespace varelum::testing
