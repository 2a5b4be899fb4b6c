// The data dictionary file (see dictionary.h).
#include "engine/dict/dictionary.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <thread>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/dict/password_hash.h"
#include "engine/dict/secret.h"
#include "engine/dict/table_binding.h"
#include "engine/env/env.h"
#include "engine/env/files.h"
#include "engine/format/checksum.h"
#include "engine/storage/table_store.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

// The key tree of the objects, and the marks in the file's index list that tell a dictionary
// from a table and one whose entries all carry checksums from one written before they did
// (never change these: stored in every dictionary).
constexpr char kObjectTree[] = "dictionary";
constexpr char kCheckedMark[] = "#dictionary-entries-checked";
constexpr char kDatabaseObject[] = "";  // the database's own properties: a Table-less key
// The database's properties are an object of type 0 without a name.
constexpr std::uint16_t kDatabaseType = 0;
// Bytes of a new dictionary's random id.
constexpr std::size_t kIdBytes = 16;

// An entry's value starts with this mark and the checksum of key and rest (never change:
// stored). A value written before entries had checksums starts with the name's length, which
// would have to be 22,271 bytes to look like it.
constexpr char kEntryMark[] = "\xFFVD2";
constexpr std::size_t kEntryMarkSize = 4;
constexpr std::size_t kEntryHeaderSize = kEntryMarkSize + 4;

std::string object_key(std::uint16_t type, std::string_view name) {
    std::string key;
    key.push_back(static_cast<char>(type >> 8));
    key.push_back(static_cast<char>(type & 0xFF));
    key += to_upper_ascii(name);
    return key;
}

std::string object_key(const DictObject& object) {
    return object_key(static_cast<std::uint16_t>(object.type), object.name);
}

bool known_type(std::uint16_t type) {
    switch (type) {
        case kDatabaseType:
        case static_cast<std::uint16_t>(DictObjectType::Table):
        case static_cast<std::uint16_t>(DictObjectType::User):
        case static_cast<std::uint16_t>(DictObjectType::UserGroup):
        case static_cast<std::uint16_t>(DictObjectType::Procedure):
        case static_cast<std::uint16_t>(DictObjectType::Link):
            return true;
        default:
            return false;
    }
}

void put_u16(std::string& out, std::size_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}
void put_u32(std::string& out, std::size_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::uint32_t entry_checksum(std::string_view key, std::string_view body) {
    return crc32_of(body.data(), body.size(), crc32_of(key.data(), key.size()));
}

// Value: the entry mark, the checksum of key and body (u32), then the body: name (u16 length,
// bytes), property count (u32), then per property the key (u16 length, bytes) and the value
// (u32 length, bytes); little-endian.
std::string encode(const DictObject& object) {
    std::string body;
    put_u16(body, object.name.size());
    body += object.name;
    put_u32(body, object.properties.size());
    for (const auto& [key, value] : object.properties) {
        put_u16(body, key.size());
        body += key;
        put_u32(body, value.size());
        body += value;
    }
    std::string out(kEntryMark, kEntryMarkSize);
    put_u32(out, entry_checksum(object_key(object), body));
    return out + body;
}

[[noreturn]] void damaged(const std::string& path, const std::string& what) {
    fail(VE_TABLE_CORRUPT, path + ": the data dictionary is damaged (" + what + ")");
}

class Reader {
  public:
    Reader(std::string_view bytes, const std::string& path) : bytes_(bytes), path_(path) {}
    std::size_t number(int size) {
        need(size);
        std::size_t value = 0;
        for (int i = 0; i < size; ++i) {
            value |= static_cast<std::size_t>(static_cast<unsigned char>(bytes_[i])) << (8 * i);
        }
        bytes_.remove_prefix(size);
        return value;
    }
    std::string text(std::size_t size) {
        need(size);
        std::string value(bytes_.substr(0, size));
        bytes_.remove_prefix(size);
        return value;
    }
    bool at_end() const { return bytes_.empty(); }

  private:
    void need(std::size_t size) const {
        if (bytes_.size() < size) {
            damaged(path_, "an entry is cut short");
        }
    }
    std::string_view bytes_;
    const std::string& path_;
};

// checked: the dictionary's entries all carry checksums, so one without is damage.
DictObject decode(std::string_view key, std::string_view bytes, const std::string& path,
                  bool checked) {
    if (key.size() < 2) {
        damaged(path, "an entry's key is cut short");
    }
    const auto type = static_cast<std::uint16_t>((static_cast<unsigned char>(key[0]) << 8) |
                                                 static_cast<unsigned char>(key[1]));
    if (!known_type(type)) {
        damaged(path, "an entry of unknown kind");
    }
    std::string_view body = bytes;
    if (bytes.size() >= kEntryHeaderSize && bytes.substr(0, kEntryMarkSize) == kEntryMark) {
        Reader header(bytes.substr(kEntryMarkSize, 4), path);
        body = bytes.substr(kEntryHeaderSize);
        if (header.number(4) != entry_checksum(key, body)) {
            damaged(path, "an entry's checksum does not match");
        }
    } else if (checked) {
        damaged(path, "an entry without its checksum");
    }
    DictObject object;
    object.type = static_cast<DictObjectType>(type);
    Reader reader(body, path);
    object.name = reader.text(reader.number(2));
    std::size_t count = reader.number(4);
    for (std::size_t i = 0; i < count; ++i) {
        std::string name = reader.text(reader.number(2));
        object.properties[name] = reader.text(reader.number(4));
    }
    // Every byte is accounted for and the key names the object it holds, so that no damage
    // reads as another object.
    if (!reader.at_end() || object.properties.size() != count ||
        key.substr(2) != to_upper_ascii(object.name)) {
        damaged(path, "an entry does not match its key");
    }
    return object;
}

// A read transaction for one question, ended whatever happens.
class ReadScope {
  public:
    explicit ReadScope(const TableFile& file) : snapshot_(file.read_snapshot()) {
        snapshot_->begin();
    }
    ~ReadScope() { snapshot_->close(); }
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;
    const Snapshot& snapshot() const { return *snapshot_; }

  private:
    std::unique_ptr<ReadSnapshot> snapshot_;
};

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            items.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return items;
}

std::uint8_t rights_value(const std::string& text) {
    if (text.empty()) {
        return 0;
    }
    // Stored by this engine as decimal text; anything else grants nothing.
    std::uint8_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 25) {
            return 0;
        }
        value = static_cast<std::uint8_t>(value * 10 + (c - '0'));
    }
    return value & kAllRights;
}

// The file name beside path that a new dictionary is made under until it is whole.
std::string staging_path(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return parent_directory(path) + "/." + name + ".new";
}

}  // namespace

std::string DictObject::property(const std::string& key) const {
    auto found = properties.find(key);
    return found == properties.end() ? std::string() : found->second;
}

std::uint8_t GrantedRights::column(std::string_view field) const {
    auto found = columns.find(to_upper_ascii(field));
    return found == columns.end() ? table : found->second;
}

bool is_dictionary_path(std::string_view path) {
    std::string upper = to_upper_ascii(path);
    return upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".ADD") == 0;
}

namespace {

// The store of the folder a dictionary file lies in. A missing folder is a missing file, as
// opening the file itself would say.
std::unique_ptr<TableStore> store_of_dictionary(const std::string& path) {
    const std::string folder = parent_directory(path);
    if (!is_folder(folder)) {
        fail(VE_TABLE_NOT_FOUND, path);
    }
    return make_table_store(folder, VE_SERVER_LOCAL);
}

}  // namespace

void Dictionary::create(const std::string& path, std::string_view admin_password,
                        std::string_view description) {
    // Asked first so that the slow hash is not spent in vain; the rename below is what
    // guarantees that no dictionary is replaced.
    if (path_exists(path)) {
        fail(VE_DICTIONARY_EXISTS, path);
    }
    std::unique_ptr<TableStore> store = store_of_dictionary(path);
    // Hashed before anything is written: the slow step fails alone.
    const std::string admin_hash = hash_password(admin_password);
    const std::string staging = staging_path(path);
    store->discard(staging);  // a crash's leftover; never anyone's dictionary
    // The objects live in a key tree; the file's record part (a table needs a field) stays
    // empty.
    store->create(staging, TableSchema(parse_field_text("Unused,Integer;")), TableOptions{});
    try {
        // Closed to others before anything of the dictionary is in it.
        if (int error = set_file_mode(staging, 0600); error != 0) {
            fail_errno("create", path, error);
        }
        {
            auto file = store->open(staging);
            WriteContext write(*file);
            TreeId tree = *file->open_tree(write, kObjectTree, true);
            file->put(write, file->index_list(), kDictionaryMark, path);
            file->put(write, file->index_list(), kCheckedMark, "1");

            DictObject database;
            database.type = static_cast<DictObjectType>(kDatabaseType);
            database.properties[dict_property::kDescription] = std::string(description);
            database.properties[dict_property::kId] = random_hex(kIdBytes);
            database.properties["version-major"] = "1";
            database.properties["version-minor"] = "0";
            file->put(write, tree, object_key(database), encode(database));

            DictObject admin;
            admin.type = DictObjectType::User;
            admin.name = kAdministrator;
            admin.properties[dict_property::kPasswordHash] = admin_hash;
            file->put(write, tree, object_key(admin), encode(admin));
            write.commit();  // synced
        }
        store->release_unused(staging);
        if (int error = rename_new_file(staging, path); error != 0) {
            if (error == EEXIST) {
                fail(VE_DICTIONARY_EXISTS, path);
            }
            fail_errno("create", path, error);
        }
    } catch (...) {
        store->discard(staging);
        throw;
    }
    // The lock file is made anew beside the dictionary at its first open.
    env().remove_file(staging + "-lock");
    if (int error = sync_directory(parent_directory(path)); error != 0) {
        fail_errno("sync", parent_directory(path), error);
    }
}

std::shared_ptr<Dictionary> Dictionary::open(const std::string& path) {
    std::unique_ptr<TableStore> store = store_of_dictionary(path);
    auto file = store->open(path);
    bool checked = false;
    {
        ReadScope read(*file);
        if (!file->get(read.snapshot(), file->index_list(), kDictionaryMark) ||
            !file->open_tree(read.snapshot(), kObjectTree, false)) {
            fail(VE_NOT_A_DICTIONARY, path);
        }
        checked = file->get(read.snapshot(), file->index_list(), kCheckedMark).has_value();
    }
    return std::shared_ptr<Dictionary>(new Dictionary(std::move(store), std::move(file), checked));
}

Dictionary::Dictionary(std::unique_ptr<TableStore> store, std::shared_ptr<TableFile> file,
                       bool checked)
    : store_(std::move(store)), file_(std::move(file)), checked_(checked) {
    path_ = file_->path();
}

Dictionary::~Dictionary() = default;

std::string Dictionary::directory() const {
    std::size_t slash = path_.rfind('/');
    return slash == std::string::npos ? std::string(".") : path_.substr(0, slash == 0 ? 1 : slash);
}

std::string Dictionary::id() const {
    return database_property(dict_property::kId);
}

TableBinding Dictionary::binding() const {
    return TableBinding{id(), path_};
}

bool Dictionary::holds(const TableBinding& binding) const {
    if (!binding.dictionary_id.empty()) {
        return binding.dictionary_id == id();
    }
    // Bound before ids: by the dictionary file itself, however its path was spelled.
    return same_file(binding.dictionary_path, path_);
}

std::uint64_t Dictionary::version() const {
    return file_->last_commit_id();
}

namespace {

std::int64_t seconds_now() {
    return std::chrono::duration_cast<std::chrono::seconds>(env().now().time_since_epoch()).count();
}

std::int64_t number_property(const DictObject& object, const char* key) {
    const std::string text = object.property(key);
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > (INT64_MAX - 9) / 10) {
            return 0;  // never written so by this engine: counts as none
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

Dictionary::LogInFailures Dictionary::failed_log_ins(const DictObject& user) const {
    LogInFailures failures;
    failures.count = static_cast<std::uint32_t>(
        std::min<std::int64_t>(number_property(user, dict_property::kFailedLogIns), UINT32_MAX));
    failures.locked_seconds = std::max<std::int64_t>(
        0, number_property(user, dict_property::kLockedUntil) - seconds_now());
    return failures;
}

std::uint32_t Dictionary::record_log_in(std::string_view user, bool succeeded) {
    std::uint32_t count = 0;
    try {
        WriteContext write(*file_);
        TreeId tree = *file_->open_tree(write, kObjectTree, true);
        const std::string key = object_key(static_cast<std::uint16_t>(DictObjectType::User), user);
        auto value = file_->get(write, tree, key);
        if (!value) {
            return 0;  // deleted meanwhile
        }
        DictObject object = decode(key, *value, path_, checked_);
        if (succeeded) {
            if (object.properties.erase(dict_property::kFailedLogIns) +
                    object.properties.erase(dict_property::kLockedUntil) ==
                0) {
                return 0;
            }
        } else {
            count =
                static_cast<std::uint32_t>(number_property(object, dict_property::kFailedLogIns)) +
                1;
            // The administrator is never locked out: nobody could lift it. The delay, which
            // keeps growing for the administrator, is what slows guesses there.
            if (count >= kFailuresBeforeLockout && !iequals(object.name, kAdministrator)) {
                object.properties[dict_property::kLockedUntil] =
                    std::to_string(seconds_now() + kLockoutSeconds);
            }
            object.properties[dict_property::kFailedLogIns] = std::to_string(count);
        }
        file_->put(write, tree, key, encode(object));
        write.commit();
    } catch (const EngineError&) {
        // A dictionary this process may not write (its file read-only to this account) still
        // refuses the guess and delays it; it cannot keep the count for other processes.
        return std::max<std::uint32_t>(count, 1);
    }
    return count;
}

DictLogin Dictionary::log_in(std::string_view user, std::string_view password) {
    auto found = find(DictObjectType::User, user);
    const std::string refusal = "user \"" + std::string(user) + "\"";
    // A user locked out is refused before the password is looked at, so that guesses during
    // the lockout tell nothing.
    if (found && failed_log_ins(*found).locked_seconds > 0) {
        fail(VE_LOGIN_FAILED, refusal);
    }
    // An unknown user costs a hash as well, so that timing does not tell users apart.
    static const std::string decoy = hash_password("decoy");
    std::string hash = found ? found->property(dict_property::kPasswordHash) : decoy;
    if (!password_matches(hash, password) || !found) {
        const std::uint32_t failures = found ? record_log_in(found->name, false) : 1;
        const int doublings =
            static_cast<int>(std::min<std::uint32_t>(failures, kMostDoublings + 1)) - 1;
        std::this_thread::sleep_for(
            std::chrono::milliseconds(kFirstDelayMilliseconds << std::max(doublings, 0)));
        fail(VE_LOGIN_FAILED, refusal);
    }
    if (failed_log_ins(*found).count > 0) {
        record_log_in(found->name, true);
    }
    return login_of(*found);
}

void Dictionary::clear_failed_log_ins(std::string_view user) {
    record_log_in(user, true);
}

DictLogin Dictionary::login_of(const DictObject& user) const {
    DictLogin login;
    login.user = user.name;
    login.administrator = iequals(user.name, kAdministrator);
    login.groups = split_list(user.property(dict_property::kGroups));
    return login;
}

std::optional<DictLogin> Dictionary::current_login(const DictLogin& login) const {
    auto user = find(DictObjectType::User, login.user);
    if (!user) {
        return std::nullopt;
    }
    return login_of(*user);
}

std::optional<DictObject> Dictionary::find(DictObjectType type, std::string_view name) const {
    ReadScope read(*file_);
    auto tree = file_->open_tree(read.snapshot(), kObjectTree, false);
    if (!tree) {
        fail(VE_NOT_A_DICTIONARY, path_);
    }
    std::string key = object_key(static_cast<std::uint16_t>(type), name);
    auto value = file_->get(read.snapshot(), *tree, key);
    if (!value) {
        return std::nullopt;
    }
    return decode(key, *value, path_, checked_);
}

std::vector<DictObject> Dictionary::list(DictObjectType type) const {
    ReadScope read(*file_);
    auto tree = file_->open_tree(read.snapshot(), kObjectTree, false);
    if (!tree) {
        fail(VE_NOT_A_DICTIONARY, path_);
    }
    std::vector<DictObject> objects;
    std::string prefix = object_key(static_cast<std::uint16_t>(type), "");
    auto cursor = file_->cursor(read.snapshot(), *tree);
    for (bool more = cursor->seek(prefix); more && cursor->key().starts_with(prefix);
         more = cursor->next()) {
        objects.push_back(decode(cursor->key(), cursor->value(), path_, checked_));
    }
    return objects;
}

void Dictionary::put(const DictObject& object) {
    WriteContext write(*file_);
    TreeId tree = *file_->open_tree(write, kObjectTree, true);
    file_->put(write, tree, object_key(object), encode(object));
    write.commit();
}

bool Dictionary::remove(DictObjectType type, std::string_view name) {
    WriteContext write(*file_);
    TreeId tree = *file_->open_tree(write, kObjectTree, true);
    bool removed = file_->remove(write, tree, object_key(static_cast<std::uint16_t>(type), name));
    write.commit();
    return removed;
}

void Dictionary::rename(std::string_view old_name, const DictObject& object) {
    WriteContext write(*file_);
    TreeId tree = *file_->open_tree(write, kObjectTree, true);
    auto type = static_cast<std::uint16_t>(object.type);
    file_->remove(write, tree, object_key(type, old_name));
    file_->put(write, tree, object_key(object), encode(object));
    write.commit();
}

std::string Dictionary::table_path(const DictObject& table) const {
    std::string relative = table.property(dict_property::kPath);
    if (!relative.empty() && relative.front() == '/') {
        return normalize_path(relative);
    }
    return normalize_path(directory() + "/" + relative);
}

std::optional<DictObject> Dictionary::table_of_file(const std::string& path) const {
    // A file gone (a table just dropped) has no identity left: its spelling is all there is.
    const bool exists = !resolved_path(path).empty();
    const std::string spelled = std::filesystem::path(path).lexically_normal().string();
    for (auto& table : list(DictObjectType::Table)) {
        const std::string registered = table_path(table);
        if (exists ? same_file(registered, path)
                   : std::filesystem::path(registered).lexically_normal().string() == spelled) {
            return table;
        }
    }
    return std::nullopt;
}

namespace {

// The grant a table holds for one grantee under its kind's prefix, or under the prefix an
// earlier engine used for both kinds when that grant is this grantee's.
const std::string* grant_of(const DictObject& table, const std::string& prefix,
                            const std::string& legacy_prefix, const std::string& key_rest,
                            bool legacy_is_ours) {
    auto found = table.properties.find(prefix + key_rest);
    if (found != table.properties.end()) {
        return &found->second;
    }
    if (legacy_is_ours) {
        found = table.properties.find(legacy_prefix + key_rest);
        if (found != table.properties.end()) {
            return &found->second;
        }
    }
    return nullptr;
}

}  // namespace

GrantedRights Dictionary::rights_of(const DictLogin& login, const DictObject& table) const {
    GrantedRights rights;
    if (login.administrator) {
        rights.table = kAllRights;
        return rights;
    }
    struct Grantee {
        std::string upper;
        bool group;
        bool legacy_is_ours;  // an earlier engine's grant under this name is this grantee's
    };
    std::vector<Grantee> grantees;
    const std::string user = to_upper_ascii(login.user);
    grantees.push_back({user, false, !find(DictObjectType::UserGroup, login.user)});
    for (const auto& group : login.groups) {
        grantees.push_back({to_upper_ascii(group), true, true});
    }
    auto right_prefix = [](const Grantee& g) {
        return std::string(g.group ? dict_property::kGroupRightPrefix
                                   : dict_property::kUserRightPrefix);
    };
    auto column_prefix = [](const Grantee& g) {
        return std::string(g.group ? dict_property::kGroupColumnPrefix
                                   : dict_property::kUserColumnPrefix);
    };
    // Column grants narrow a grantee's table rights for that column; rights from several
    // grantees add up.
    std::vector<std::uint8_t> table_rights;
    for (const auto& grantee : grantees) {
        const std::string* grant =
            grant_of(table, right_prefix(grantee), dict_property::kRightPrefix, grantee.upper,
                     grantee.legacy_is_ours);
        std::uint8_t granted = grant != nullptr ? rights_value(*grant) : 0;
        table_rights.push_back(granted);
        rights.table |= granted;
    }
    std::map<std::string, std::uint8_t> columns;
    for (const auto& [key, value] : table.properties) {
        for (const char* prefix :
             {dict_property::kUserColumnPrefix, dict_property::kGroupColumnPrefix,
              dict_property::kColumnPrefix}) {
            if (!key.starts_with(prefix)) {
                continue;
            }
            std::string rest = key.substr(std::string_view(prefix).size());
            std::size_t colon = rest.find(':');
            if (colon != std::string::npos) {
                columns.emplace(rest.substr(colon + 1), 0);
            }
        }
    }
    for (auto& [field, bits] : columns) {
        for (std::size_t i = 0; i < grantees.size(); ++i) {
            const std::string* grant =
                grant_of(table, column_prefix(grantees[i]), dict_property::kColumnPrefix,
                         grantees[i].upper + ":" + field, grantees[i].legacy_is_ours);
            bits |= grant != nullptr
                        ? static_cast<std::uint8_t>(rights_value(*grant) & table_rights[i])
                        : table_rights[i];
        }
        rights.columns[field] = bits;
    }
    return rights;
}

std::string Dictionary::database_property(const std::string& key) const {
    auto database = find(static_cast<DictObjectType>(kDatabaseType), kDatabaseObject);
    return database ? database->property(key) : std::string();
}

void Dictionary::set_database_property(const std::string& key, const std::string& value) {
    auto database = find(static_cast<DictObjectType>(kDatabaseType), kDatabaseObject);
    DictObject object = database.value_or(DictObject{});
    object.type = static_cast<DictObjectType>(kDatabaseType);
    object.properties[key] = value;
    put(object);
}

void Dictionary::upgrade() {
    auto legacy_grant = [](const DictObject& object) {
        return std::any_of(object.properties.begin(), object.properties.end(), [](const auto& p) {
            return p.first.starts_with(dict_property::kRightPrefix) ||
                   p.first.starts_with(dict_property::kColumnPrefix);
        });
    };
    const std::vector<DictObject> tables = list(DictObjectType::Table);
    if (checked_ && !id().empty() && std::none_of(tables.begin(), tables.end(), legacy_grant)) {
        return;
    }
    {
        WriteContext write(*file_);
        TreeId tree = *file_->open_tree(write, kObjectTree, true);
        std::vector<DictObject> objects;
        {
            auto cursor = file_->cursor(write, tree);
            for (bool more = cursor->first(); more; more = cursor->next()) {
                objects.push_back(decode(cursor->key(), cursor->value(), path_, checked_));
            }
        }
        bool has_database = false;
        for (DictObject& object : objects) {
            if (static_cast<std::uint16_t>(object.type) == kDatabaseType) {
                has_database = true;
                if (object.property(dict_property::kId).empty()) {
                    object.properties[dict_property::kId] = random_hex(kIdBytes);
                }
            }
            if (object.type == DictObjectType::Table) {
                // An earlier engine's grant under a name goes to the group of that name when
                // there is one, as rights_of read it.
                std::map<std::string, std::string> kept;
                for (const auto& [key, value] : object.properties) {
                    const bool right = key.starts_with(dict_property::kRightPrefix);
                    const bool column = key.starts_with(dict_property::kColumnPrefix);
                    if (!right && !column) {
                        kept[key] = value;
                        continue;
                    }
                    std::string rest =
                        key.substr(std::string_view(right ? dict_property::kRightPrefix
                                                          : dict_property::kColumnPrefix)
                                       .size());
                    std::string grantee = rest.substr(0, rest.find(':'));
                    const bool group =
                        std::any_of(objects.begin(), objects.end(), [&](const auto& o) {
                            return o.type == DictObjectType::UserGroup && iequals(o.name, grantee);
                        });
                    const char* prefix = right ? (group ? dict_property::kGroupRightPrefix
                                                        : dict_property::kUserRightPrefix)
                                               : (group ? dict_property::kGroupColumnPrefix
                                                        : dict_property::kUserColumnPrefix);
                    kept.emplace(prefix + rest, value);
                }
                object.properties = std::move(kept);
            }
        }
        if (!has_database) {
            DictObject database;
            database.type = static_cast<DictObjectType>(kDatabaseType);
            database.properties[dict_property::kId] = random_hex(kIdBytes);
            objects.push_back(std::move(database));
        }
        for (const DictObject& object : objects) {
            file_->put(write, tree, object_key(object), encode(object));
        }
        file_->put(write, file_->index_list(), kCheckedMark, "1");
        write.commit();
    }
    checked_ = true;
    // The tables bound by path alone get the id too; one that cannot be opened now keeps its
    // old mark, which this dictionary still recognises.
    const TableBinding binding = this->binding();
    for (const auto& table : tables) {
        try {
            auto file = store_->open(table_path(table));
            std::optional<TableBinding> bound = table_binding(*file);
            if (bound && bound->dictionary_id.empty() && holds(*bound)) {
                bind_table(*file, binding);
            }
        } catch (const EngineError&) {
            continue;
        }
    }
}

}  // namespace varelum::engine
