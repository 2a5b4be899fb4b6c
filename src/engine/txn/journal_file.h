// A transaction's undo journal in one directory: a file beside the tables it covers, locked
// while its owner lives, holding the before-images of every change in the order they were
// made and a fingerprint of what each change wrote. A journal that nobody holds locked belongs
// to a process that ended inside a transaction; recovery.h rolls it back.
//
// The file: the header "VLTXJNL2", then entries, each a 32-bit length, the CRC-32 of the
// payload and the payload (little-endian numbers):
//   'P' path                             first entry of a journal in a second folder: the
//                                        journal holding the transaction's commit decision
//   'T' table id (32), file name         names a table of the journal's own folder
//   'R' table id, recno (32), present (8), stored record (status byte, then the image)
//   'M' table id, recno, field (16), present (8), memo value
//   'A' table id, recno, CRC-32 of the stored record the change wrote (status byte, image)
//   'C' count (32), then per journal: length (32), path
//                                        the commit decision, naming the transaction's
//                                        journals in other folders
// Paths of other journals are relative to this journal's folder and table names are bare file
// names, so that a folder (or a tree of folders) moved, copied or restored recovers in its new
// place and never reaches the tables of the old one.
//
// A torn entry at the end (a crash while writing it) is ignored: its change was never
// committed, since a change is committed only after its entries are on the disk. Journals of
// the older layout "VLTXJNL1" (absolute table paths, no fingerprints) are still read.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::engine {

class TableFile;

// One step of a journal as read back or kept in memory.
struct UndoEntry {
    enum class Kind : std::uint8_t {
        Record,  // a record's stored bytes before a change
        Memo,    // a memo value before a change
        After,   // the fingerprint of the stored record a change wrote
    };
    std::uint32_t table = 0;  // index into the list of tables the entries name
    std::uint32_t recno = 0;
    Kind kind = Kind::Record;
    std::uint16_t field = 0;            // memo entries only
    std::optional<std::string> before;  // nullopt: the record or value did not exist
    std::uint32_t written = 0;          // After entries only: CRC-32 of status byte and image
};

// The fingerprint an After entry keeps of a stored record (status byte, then the image).
std::uint32_t stored_fingerprint(std::string_view stored);

// What a journal file holds, read back.
struct JournalContents {
    std::vector<std::string> tables;  // paths in the journal's folder, by UndoEntry::table
    std::vector<UndoEntry> entries;   // in the order the changes were made
    // Whether the entries carry fingerprints of what was written (journals of the older
    // layout do not, and are undone as they stand).
    bool fingerprinted = true;
    // For a journal in a second folder: the path of the journal holding the decision.
    std::optional<std::string> primary;
    // The commit decision was made: nothing is undone. The journals of the other folders.
    bool committed = false;
    std::vector<std::string> secondaries;
};

class JournalFile {
  public:
    static constexpr std::string_view kExtension = ".vtj";

    // Makes a new journal in directory, locked for this process; a journal in a second folder
    // of the transaction names the one that holds its commit decision. Throws VE_FILE_ERROR.
    explicit JournalFile(const std::string& directory,
                         const std::optional<std::string>& primary = std::nullopt);
    ~JournalFile();  // closes it (and so unlocks it) without removing it
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& directory() const { return directory_; }

    // Adds an entry (buffered until sync). The table is named in the journal first if it
    // was not yet.
    void add_record(const TableFile& file, std::uint32_t recno,
                    std::optional<std::string_view> stored);
    void add_memo(const TableFile& file, std::uint32_t recno, std::uint16_t field,
                  std::optional<std::string_view> value);
    void add_written(const TableFile& file, std::uint32_t recno, std::uint32_t fingerprint);
    // Writes what is buffered and forces it to the disk. Throws VE_FILE_ERROR.
    void sync();

    // A place in the journal to go back to (a savepoint).
    struct Mark {
        std::uint64_t size = 0;
        std::size_t tables = 0;
    };
    Mark mark() const;
    Mark start() const;  // before the first entry
    // Forgets everything after the mark, on the disk too.
    void truncate(const Mark& mark);

    // The commit decision of the whole transaction, on the disk when this returns: from then
    // on no recovery undoes it. secondaries: the transaction's journals in other folders.
    // Throws VE_FILE_ERROR (the journal is then as before the call, as far as the disk lets).
    void commit(const std::vector<std::string>& secondaries);
    // The transaction ended: empties the journal on the disk (so that it holds nothing to undo
    // even if a crash keeps its name) and removes it.
    void discard();
    // Removes a journal whose commit decision is on the disk: a name that survives a crash
    // holds the decision, so nothing needs emptying. Best effort.
    void remove() noexcept;

    // Whether the journal at path is one of this process's own (alive, so never rolled back).
    static bool own(const std::string& path);

    // Reads a journal's entries, ignoring a torn end. Throws VE_FILE_ERROR.
    static JournalContents read(int fd, const std::string& path);

  private:
    void add_entry(const std::string& payload);
    std::uint32_t table_id(const TableFile& file);
    void close() noexcept;

    int fd_ = -1;
    std::string directory_;
    std::string path_;
    std::uint64_t header_size_ = 0;  // the layout's name and the primary's, if any
    std::uint64_t written_ = 0;      // bytes on the file
    std::string pending_;            // entries not yet written
    std::vector<const TableFile*> tables_;
    std::map<const TableFile*, std::uint32_t> table_ids_;
};

// The path of `target` as seen from `directory` (both absolute), and back.
std::string relative_to(const std::string& directory, const std::string& target);
std::string resolve_from(const std::string& directory, const std::string& relative);

}  // namespace varelum::engine
