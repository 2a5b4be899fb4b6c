// A transaction's undo journal in one directory: a file beside the tables it covers, locked
// while its owner lives, holding the before-images of every change in the order they were
// made. A journal that nobody holds locked belongs to a process that ended inside a
// transaction; the next process that opens one of its tables rolls it back (recovery.h).
//
// The file: the header "VLTXJNL1", then entries, each a 32-bit length, the CRC-32 of the
// payload and the payload (little-endian numbers):
//   'T' table id (32), path              names a table file for the entries after it
//   'R' table id, recno (32), present (8), stored record (status byte, then the image)
//   'M' table id, recno, field (16), present (8), memo value
// A torn entry at the end (a crash while writing it) is ignored: its change was never
// committed, since a change is committed only after its entries are on the disk.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::engine {

class TableFile;

// One undo step as read back from a journal or kept in memory.
struct UndoEntry {
    std::uint32_t table = 0;  // index into the list of tables the entries name
    std::uint32_t recno = 0;
    bool memo = false;
    std::uint16_t field = 0;            // memo entries only
    std::optional<std::string> before;  // nullopt: the record or value did not exist
};

// What a journal file holds, read back.
struct JournalContents {
    std::vector<std::string> tables;  // paths, indexed by UndoEntry::table
    std::vector<UndoEntry> entries;   // in the order the changes were made
};

class JournalFile {
  public:
    static constexpr std::string_view kExtension = ".vtj";

    // Makes a new journal in directory, locked for this process. Throws VE_FILE_ERROR.
    explicit JournalFile(const std::string& directory);
    ~JournalFile();  // closes it (and so unlocks it) without removing it
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    const std::string& path() const { return path_; }

    // Adds an entry (buffered until sync). The table is named in the journal first if it
    // was not yet.
    void add_record(const TableFile& file, std::uint32_t recno,
                    std::optional<std::string_view> stored);
    void add_memo(const TableFile& file, std::uint32_t recno, std::uint16_t field,
                  std::optional<std::string_view> value);
    // Writes what is buffered and forces it to the disk. Throws VE_FILE_ERROR.
    void sync();

    // A place in the journal to go back to (a savepoint).
    struct Mark {
        std::uint64_t size = 0;
        std::size_t tables = 0;
    };
    Mark mark() const;
    static Mark start();  // before the first entry
    // Forgets everything after the mark, on the disk too.
    void truncate(const Mark& mark);
    // The transaction ended: empties the journal on the disk (so that it holds nothing to undo
    // even if a crash keeps its name) and removes it.
    void discard();

    // Whether the journal at path is one of this process's own (alive, so never rolled back).
    static bool own(const std::string& path);

    // Reads a journal's entries, ignoring a torn end. Throws VE_FILE_ERROR.
    static JournalContents read(int fd, const std::string& path);

  private:
    void add_entry(const std::string& payload);
    std::uint32_t table_id(const TableFile& file);

    int fd_ = -1;
    std::string path_;
    std::uint64_t written_ = 0;  // bytes on the file
    std::string pending_;        // entries not yet written
    std::vector<const TableFile*> tables_;
    std::map<const TableFile*, std::uint32_t> table_ids_;
};

}  // namespace varelum::engine
