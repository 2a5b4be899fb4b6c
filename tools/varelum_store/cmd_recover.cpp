// varelum-store recover TABLE NEW_TABLE: copies every intact record of a damaged table, with
// its record number, into a new table with the same fields and index tags, and says which
// records were lost. The damaged file is only read.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "engine_table.h"
#include "store_error.h"

namespace varelum::store {

namespace {

int g_reported = -1;

// A line at every tenth of the work, so that a long recovery shows it is moving.
UNSIGNED32 report_progress(UNSIGNED16 percent) {
    if (percent / 10 != g_reported / 10 || g_reported < 0) {
        g_reported = percent;
        std::cerr << ("recover: " + std::to_string(percent) + "%\n");
    }
    return 0;
}

std::string records_text(UNSIGNED32 count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

}  // namespace

int run_recover(const Arguments& arguments) {
    const auto damaged = table_file_path(arguments.at(0));
    const auto target = table_file_path(arguments.at(1));
    Connection connection(damaged.parent_path());
    const std::string damaged_text = to_engine_text(damaged.string(), "path");
    const std::string target_text = to_engine_text(target.string(), "path");
    UNSIGNED32 kept = 0;
    std::vector<UNSIGNED8> lost(1 << 20);
    auto lost_length = static_cast<UNSIGNED32>(lost.size());
    UNSIGNED32 state = 0;
    check(AdsRegisterProgressCallback(report_progress), "cannot report progress");
    const UNSIGNED32 code = AdsRecoverTable(
        connection.handle(), reinterpret_cast<const UNSIGNED8*>(damaged_text.c_str()),
        reinterpret_cast<const UNSIGNED8*>(target_text.c_str()), &kept, lost.data(), &lost_length,
        &state);
    // Read before the next engine call replaces it.
    const std::string why = code == VE_SUCCESS ? "" : last_error_text();
    AdsClearProgressCallback();
    if (code != VE_SUCCESS) {
        throw StoreError("cannot recover " + damaged.string() + ": " + why);
    }

    std::cout << "Recovered " << records_text(kept) << " of " << damaged.string() << " into "
              << target.string() << ".\n";
    const std::string lost_text(reinterpret_cast<const char*>(lost.data()),
                                std::min<std::size_t>(lost_length, lost.size() - 1));
    if (lost_text.empty()) {
        std::cout << "No record was lost.\n";
    } else {
        std::cout << "Lost: " << lost_text << (lost_length >= lost.size() ? " ..." : "") << "\n";
    }
    if ((state & VE_RECOVERED_PREVIOUS_COMMIT) != 0) {
        std::cout << "The pages of the last change were damaged: the table is recovered as it "
                     "was before that change.\n";
    }
    if ((state & VE_RECOVERED_INDEXES) == 0) {
        std::cout << "The index descriptions were damaged: the new table has no index tags "
                     "(create them with varelum-store index).\n";
    }
    return lost_text.empty() ? 0 : 1;
}

}  // namespace varelum::store
