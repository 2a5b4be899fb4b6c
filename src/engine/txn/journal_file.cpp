// The undo journal file (see journal_file.h).
#include "engine/txn/journal_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>

#include "engine/core/error.h"
#include "engine/env/env.h"
#include "engine/env/files.h"
#include "engine/env/process_id.h"
#include "engine/format/checksum.h"
#include "engine/storage/table_file.h"

namespace varelum::engine {
namespace {

constexpr std::string_view kMagic = "VLTXJNL2";
// The layout before fingerprints and commit records, with absolute table paths.
constexpr std::string_view kOldMagic = "VLTXJNL1";
constexpr std::size_t kFrameHeader = 8;  // length, CRC-32
// A payload longer than this is a torn or garbled length, never a real entry.
constexpr std::uint32_t kMaxPayload = 1u << 30;

template <typename T>
void put(std::string& out, T value) {
    char bytes[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bytes[i] = static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
    }
    out.append(bytes, sizeof(T));
}

template <typename T>
T get(std::string_view in, std::size_t& at) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    }
    at += sizeof(T);
    return static_cast<T>(value);
}

std::uint32_t crc_of(std::string_view bytes) {
    return crc32_of(bytes.data(), bytes.size());
}

std::mutex own_mutex;
std::set<std::string> own_paths;

void set_own(const std::string& path, bool own) {
    std::lock_guard guard(own_mutex);
    if (own) {
        own_paths.insert(path);
    } else {
        own_paths.erase(path);
    }
}

std::string unique_name() {
    static std::atomic<std::uint64_t> sequence{0};
    std::random_device random;
    return ".varelum-txn-" + std::to_string(current_process_id()) + "-" +
           std::to_string(sequence.fetch_add(1)) + "-" + std::to_string(random());
}

std::string base_name(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Parses one payload into contents; false when it makes no sense (then reading stops).
// directory: the journal's folder, which names of tables and journals are taken from.
bool parse_payload(std::string_view payload, const std::string& directory,
                   JournalContents& contents) {
    if (payload.empty()) {
        return false;
    }
    std::size_t at = 1;
    char kind = payload[0];
    if (kind == 'P') {
        if (!contents.tables.empty() || !contents.entries.empty() || contents.primary) {
            return false;
        }
        contents.primary = resolve_from(directory, std::string(payload.substr(at)));
        return true;
    }
    if (kind == 'C') {
        if (payload.size() < 5) {
            return false;
        }
        auto count = get<std::uint32_t>(payload, at);
        std::vector<std::string> secondaries;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (payload.size() - at < 4) {
                return false;
            }
            auto length = get<std::uint32_t>(payload, at);
            if (payload.size() - at < length) {
                return false;
            }
            secondaries.push_back(resolve_from(directory, std::string(payload.substr(at, length))));
            at += length;
        }
        contents.committed = true;
        contents.secondaries = std::move(secondaries);
        return true;
    }
    if (kind == 'T') {
        if (payload.size() < 5) {
            return false;
        }
        auto id = get<std::uint32_t>(payload, at);
        if (id != contents.tables.size()) {
            return false;
        }
        // Older journals named tables by absolute path: only the name counts, so that they
        // too act on their own folder's tables.
        contents.tables.push_back(resolve_from(directory, base_name(payload.substr(at))));
        return true;
    }
    UndoEntry entry;
    std::size_t fixed = kind == 'R' ? 10 : kind == 'M' ? 12 : kind == 'A' ? 13 : 0;
    if (fixed == 0 || payload.size() < fixed) {
        return false;
    }
    entry.table = get<std::uint32_t>(payload, at);
    entry.recno = get<std::uint32_t>(payload, at);
    if (entry.table >= contents.tables.size()) {
        return false;
    }
    if (kind == 'A') {
        entry.kind = UndoEntry::Kind::After;
        entry.written = get<std::uint32_t>(payload, at);
        contents.entries.push_back(std::move(entry));
        return true;
    }
    if (kind == 'M') {
        entry.kind = UndoEntry::Kind::Memo;
        entry.field = get<std::uint16_t>(payload, at);
    }
    bool present = get<std::uint8_t>(payload, at) != 0;
    if (present) {
        entry.before = std::string(payload.substr(at));
    }
    contents.entries.push_back(std::move(entry));
    return true;
}

}  // namespace

std::uint32_t stored_fingerprint(std::string_view stored) {
    return crc_of(stored);
}

std::string relative_to(const std::string& directory, const std::string& target) {
    std::filesystem::path relative =
        std::filesystem::path(target).lexically_normal().lexically_relative(
            std::filesystem::path(directory).lexically_normal());
    return relative.empty() ? target : relative.string();
}

std::string resolve_from(const std::string& directory, const std::string& relative) {
    return (std::filesystem::path(directory) / relative).lexically_normal().string();
}

JournalFile::JournalFile(const std::string& directory, const std::optional<std::string>& primary)
    : directory_(directory) {
    // Made under a name no scanner looks at, locked, and only then given its name: a journal
    // is never found unlocked while its owner lives.
    std::string base = (directory == "/" ? "" : directory) + "/" + unique_name();
    std::string temporary = base + ".new";
    path_ = base + std::string(kExtension);
    std::string header(kMagic);
    if (primary) {
        // Named before anything else, so that recovery asks it for the decision first.
        std::string payload(1, 'P');
        payload += relative_to(directory, *primary);
        put(header, static_cast<std::uint32_t>(payload.size()));
        put(header, crc_of(payload));
        header += payload;
    }
    int fd = env().open_file(temporary, O_RDWR | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        fail_errno("create the transaction journal", temporary, -fd);
    }
    fd_ = fd;
    int error = env().lock_range(fd_, F_WRLCK, 0, 0);
    if (error == 0) {
        ssize_t put_bytes = env().write_at(fd_, header.data(), header.size(), 0);
        error = put_bytes < 0 ? static_cast<int>(-put_bytes) : 0;
    }
    if (error == 0) {
        error = env().sync(fd_);
    }
    if (error == 0) {
        error = env().rename_file(temporary, path_);
    }
    if (error == 0) {
        // The name must be on the disk before any change the journal covers.
        error = sync_directory(directory);
    }
    if (error != 0) {
        env().close_file(fd_);
        fd_ = -1;
        env().remove_file(temporary);
        env().remove_file(path_);
        fail_errno("create the transaction journal", path_, error);
    }
    written_ = header_size_ = header.size();
    set_own(path_, true);
}

JournalFile::~JournalFile() {
    close();
}

void JournalFile::close() noexcept {
    if (fd_ >= 0) {
        env().close_file(fd_);
        fd_ = -1;
        set_own(path_, false);
    }
}

bool JournalFile::own(const std::string& path) {
    std::lock_guard guard(own_mutex);
    return own_paths.count(path) != 0;
}

std::uint32_t JournalFile::table_id(const TableFile& file) {
    auto found = table_ids_.find(&file);
    if (found != table_ids_.end()) {
        return found->second;
    }
    auto id = static_cast<std::uint32_t>(tables_.size());
    std::string payload(1, 'T');
    put(payload, id);
    payload += base_name(file.path());
    add_entry(payload);
    tables_.push_back(&file);
    table_ids_.emplace(&file, id);
    return id;
}

void JournalFile::add_record(const TableFile& file, std::uint32_t recno,
                             std::optional<std::string_view> stored) {
    std::uint32_t id = table_id(file);
    std::string payload(1, 'R');
    put(payload, id);
    put(payload, recno);
    put(payload, static_cast<std::uint8_t>(stored ? 1 : 0));
    if (stored) {
        payload += *stored;
    }
    add_entry(payload);
}

void JournalFile::add_memo(const TableFile& file, std::uint32_t recno, std::uint16_t field,
                           std::optional<std::string_view> value) {
    std::uint32_t id = table_id(file);
    std::string payload(1, 'M');
    put(payload, id);
    put(payload, recno);
    put(payload, field);
    put(payload, static_cast<std::uint8_t>(value ? 1 : 0));
    if (value) {
        payload += *value;
    }
    add_entry(payload);
}

void JournalFile::add_written(const TableFile& file, std::uint32_t recno,
                              std::uint32_t fingerprint) {
    std::uint32_t id = table_id(file);
    std::string payload(1, 'A');
    put(payload, id);
    put(payload, recno);
    put(payload, fingerprint);
    add_entry(payload);
}

void JournalFile::add_entry(const std::string& payload) {
    put(pending_, static_cast<std::uint32_t>(payload.size()));
    put(pending_, crc_of(payload));
    pending_ += payload;
}

void JournalFile::sync() {
    if (pending_.empty()) {
        return;
    }
    ssize_t put_bytes =
        env().write_at(fd_, pending_.data(), pending_.size(), static_cast<off_t>(written_));
    if (put_bytes < 0) {
        fail_errno("write the transaction journal", path_, static_cast<int>(-put_bytes));
    }
    if (int error = env().sync(fd_); error != 0) {
        fail_errno("sync the transaction journal", path_, error);
    }
    written_ += pending_.size();
    pending_.clear();
}

JournalFile::Mark JournalFile::mark() const {
    return Mark{written_ + pending_.size(), tables_.size()};
}

JournalFile::Mark JournalFile::start() const {
    return Mark{header_size_, 0};
}

void JournalFile::truncate(const Mark& mark) {
    sync();
    if (mark.size < written_) {
        if (int error = env().truncate_file(fd_, static_cast<off_t>(mark.size)); error != 0) {
            fail_errno("shorten the transaction journal", path_, error);
        }
        if (int error = env().sync(fd_); error != 0) {
            fail_errno("sync the transaction journal", path_, error);
        }
        written_ = mark.size;
    }
    while (tables_.size() > mark.tables) {
        table_ids_.erase(tables_.back());
        tables_.pop_back();
    }
}

void JournalFile::commit(const std::vector<std::string>& secondaries) {
    Mark before = mark();
    std::string payload(1, 'C');
    put(payload, static_cast<std::uint32_t>(secondaries.size()));
    for (const auto& secondary : secondaries) {
        std::string relative = relative_to(directory_, secondary);
        put(payload, static_cast<std::uint32_t>(relative.size()));
        payload += relative;
    }
    add_entry(payload);
    try {
        sync();
    } catch (const EngineError&) {
        // Whatever reached the file of the decision goes again, so that the rollback the
        // caller does next is not taken for a commit by a recovery after a crash.
        pending_.clear();
        if (env().truncate_file(fd_, static_cast<off_t>(before.size)) == 0) {
            env().sync(fd_);
        }
        throw;
    }
}

void JournalFile::discard() {
    // Emptied and synced before it goes: a name that survives a crash then undoes nothing,
    // so a committed transaction is never rolled back by the next opener.
    pending_.clear();
    int error = env().truncate_file(fd_, 0);
    if (error == 0) {
        error = env().sync(fd_);
    }
    if (error != 0) {
        fail_errno("empty the transaction journal", path_, error);
    }
    env().remove_file(path_);
    close();
}

void JournalFile::remove() noexcept {
    pending_.clear();
    env().remove_file(path_);
    close();
}

JournalContents JournalFile::read(int fd, const std::string& path) {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t got = env().read_at(fd, buffer, sizeof buffer, static_cast<off_t>(bytes.size()));
        if (got < 0) {
            fail_errno("read the transaction journal", path, static_cast<int>(-got));
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    JournalContents contents;
    std::string_view head = std::string_view(bytes).substr(0, kMagic.size());
    if (head != kMagic && head != kOldMagic) {
        return contents;  // emptied at the end of its transaction, or never written
    }
    contents.fingerprinted = head == kMagic;
    const std::string directory = parent_directory(path);
    std::string_view rest(bytes);
    std::size_t at = kMagic.size();
    while (rest.size() - at >= kFrameHeader) {
        std::size_t frame = at;
        auto length = get<std::uint32_t>(rest, frame);
        auto crc = get<std::uint32_t>(rest, frame);
        if (length > kMaxPayload || rest.size() - frame < length) {
            break;
        }
        std::string_view payload = rest.substr(frame, length);
        if (crc_of(payload) != crc || !parse_payload(payload, directory, contents)) {
            break;
        }
        at = frame + length;
    }
    return contents;
}

}  // namespace varelum::engine
