// Reading the trace of writes, syncs and renames that the engine's test build keeps
// (VarelumTestTrace, or the file VARELUM_TEST_TRACE names in a program that preloads it), and
// checking the order that makes a write survive a power cut.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace varelum::engine::testing {

struct Event {
    std::string kind;  // write, sync, sync-folder, rename
    std::string path;  // for a rename: where from
    std::string to;    // for a rename: where to
};

inline std::vector<Event> parse_trace(const std::string& text) {
    std::vector<Event> events;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        Event event;
        std::size_t space = line.find(' ');
        event.kind = line.substr(0, space);
        event.path = line.substr(space + 1);
        if (event.kind == "rename") {
            std::size_t split = event.path.find(' ');
            event.to = event.path.substr(split + 1);
            event.path.resize(split);
        }
        events.push_back(std::move(event));
    }
    return events;
}

// The writes and syncs of one file as letters: "WSWS" is two write runs, each synced.
inline std::string writes_and_syncs(const std::vector<Event>& events, const std::string& path) {
    std::string letters;
    for (const Event& event : events) {
        if (event.path == path && event.kind == "write") {
            letters += 'W';
        } else if (event.path == path && event.kind == "sync") {
            letters += 'S';
        }
    }
    return letters;
}

// An LMDB commit writes its pages, syncs them, then writes the header page that points at
// them and syncs it: "WSWS". The file's letters must be whole commits, each synced before the
// next begins, and as many as expected.
inline void expect_synced_commits(const std::string& letters, std::size_t commits) {
    std::string expected;
    for (std::size_t i = 0; i < commits; ++i) {
        expected += "WSWS";
    }
    EXPECT_EQ(expected, letters) << "each commit synced before the next, " << commits << " commits";
}

inline std::size_t position(const std::vector<Event>& events,
                            const std::function<bool(const Event&)>& wanted) {
    auto found = std::find_if(events.begin(), events.end(), wanted);
    return static_cast<std::size_t>(found - events.begin());
}

// A new file took the place of `path`: it was synced after its last write and before the
// rename, and the folder was synced after the rename.
inline void expect_synced_replace(const std::vector<Event>& events, const std::string& path,
                                  const std::string& folder) {
    const std::size_t rename =
        position(events, [&](const Event& e) { return e.kind == "rename" && e.to == path; });
    ASSERT_LT(rename, events.size()) << "no rename onto " << path;
    const std::string staging = events[rename].path;
    std::string before;
    for (std::size_t i = 0; i < rename; ++i) {
        if (events[i].path == staging && (events[i].kind == "write" || events[i].kind == "sync")) {
            before += events[i].kind == "write" ? 'W' : 'S';
        }
    }
    EXPECT_FALSE(before.empty()) << staging << " was never written";
    EXPECT_EQ('S', before.empty() ? '?' : before.back())
        << staging << " renamed before its last write was synced: " << before;
    bool folder_synced = false;
    for (std::size_t i = rename + 1; i < events.size(); ++i) {
        folder_synced =
            folder_synced || (events[i].kind == "sync-folder" && events[i].path == folder);
    }
    EXPECT_TRUE(folder_synced) << folder << " not synced after the rename onto " << path;
}

}  // namespace varelum::engine::testing
