// The data dictionary file (see dictionary.h).
#include "engine/dict/dictionary.h"

#include <algorithm>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/dict/password_hash.h"
#include "engine/dict/table_binding.h"
#include "engine/env/files.h"
#include "engine/storage/table_store.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

// The key tree of the objects, and the mark in the file's index list that tells a dictionary
// from a table (never change either: stored in every dictionary).
constexpr char kObjectTree[] = "dictionary";
constexpr char kDatabaseObject[] = "";  // the database's own properties: a Table-less key

std::string object_key(std::uint16_t type, std::string_view name) {
    std::string key;
    key.push_back(static_cast<char>(type >> 8));
    key.push_back(static_cast<char>(type & 0xFF));
    key += to_upper_ascii(name);
    return key;
}
// The database's properties are an object of type 0 without a name.
constexpr std::uint16_t kDatabaseType = 0;

void put_u16(std::string& out, std::size_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}
void put_u32(std::string& out, std::size_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// Value: name (u16 length, bytes), property count (u32), then per property the key (u16
// length, bytes) and the value (u32 length, bytes); little-endian.
std::string encode(const DictObject& object) {
    std::string out;
    put_u16(out, object.name.size());
    out += object.name;
    put_u32(out, object.properties.size());
    for (const auto& [key, value] : object.properties) {
        put_u16(out, key.size());
        out += key;
        put_u32(out, value.size());
        out += value;
    }
    return out;
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

  private:
    void need(std::size_t size) const {
        if (bytes_.size() < size) {
            fail(VE_TABLE_CORRUPT, path_ + ": a dictionary object is cut short");
        }
    }
    std::string_view bytes_;
    const std::string& path_;
};

DictObject decode(std::string_view key, std::string_view bytes, const std::string& path) {
    DictObject object;
    if (key.size() < 2) {
        fail(VE_TABLE_CORRUPT, path + ": a dictionary key is cut short");
    }
    object.type = static_cast<DictObjectType>((static_cast<unsigned char>(key[0]) << 8) |
                                              static_cast<unsigned char>(key[1]));
    Reader reader(bytes, path);
    object.name = reader.text(reader.number(2));
    std::size_t count = reader.number(4);
    for (std::size_t i = 0; i < count; ++i) {
        std::string name = reader.text(reader.number(2));
        object.properties[name] = reader.text(reader.number(4));
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
    return static_cast<std::uint8_t>(std::stoul(text) & kAllRights);
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
    if (path_exists(path)) {
        fail(VE_DICTIONARY_EXISTS, path);
    }
    std::unique_ptr<TableStore> store = store_of_dictionary(path);
    // The objects live in a key tree; the file's record part (a table needs a field) stays
    // empty.
    store->create(path, TableSchema(parse_field_text("Unused,Integer;")), TableOptions{});
    auto file = store->open(path);
    WriteContext write(*file);
    TreeId tree = *file->open_tree(write, kObjectTree, true);
    file->put(write, file->index_list(), kDictionaryMark, path);

    DictObject database;
    database.type = static_cast<DictObjectType>(kDatabaseType);
    database.properties[dict_property::kDescription] = std::string(description);
    database.properties["version-major"] = "1";
    database.properties["version-minor"] = "0";
    file->put(write, tree, object_key(kDatabaseType, kDatabaseObject), encode(database));

    DictObject admin;
    admin.type = DictObjectType::User;
    admin.name = kAdministrator;
    admin.properties[dict_property::kPasswordHash] = hash_password(admin_password);
    file->put(write, tree, object_key(static_cast<std::uint16_t>(admin.type), admin.name),
              encode(admin));
    write.commit();
}

std::shared_ptr<Dictionary> Dictionary::open(const std::string& path) {
    std::unique_ptr<TableStore> store = store_of_dictionary(path);
    auto file = store->open(path);
    {
        ReadScope read(*file);
        if (!file->get(read.snapshot(), file->index_list(), kDictionaryMark) ||
            !file->open_tree(read.snapshot(), kObjectTree, false)) {
            fail(VE_NOT_A_DICTIONARY, path);
        }
    }
    return std::shared_ptr<Dictionary>(new Dictionary(std::move(store), std::move(file)));
}

Dictionary::Dictionary(std::unique_ptr<TableStore> store, std::shared_ptr<TableFile> file)
    : store_(std::move(store)), file_(std::move(file)) {
    path_ = file_->path();
}

Dictionary::~Dictionary() = default;

std::string Dictionary::directory() const {
    std::size_t slash = path_.rfind('/');
    return slash == std::string::npos ? std::string(".") : path_.substr(0, slash == 0 ? 1 : slash);
}

DictLogin Dictionary::log_in(std::string_view user, std::string_view password) const {
    auto found = find(DictObjectType::User, user);
    // An unknown user costs a hash as well, so that timing does not tell users apart.
    static const std::string decoy = hash_password("decoy");
    std::string hash = found ? found->property(dict_property::kPasswordHash) : decoy;
    if (!password_matches(hash, password) || !found) {
        fail(VE_LOGIN_FAILED, "user \"" + std::string(user) + "\"");
    }
    DictLogin login;
    login.user = found->name;
    login.administrator = iequals(found->name, kAdministrator);
    login.groups = split_list(found->property(dict_property::kGroups));
    return login;
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
    return decode(key, *value, path_);
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
        objects.push_back(decode(cursor->key(), cursor->value(), path_));
    }
    return objects;
}

void Dictionary::put(const DictObject& object) {
    WriteContext write(*file_);
    TreeId tree = *file_->open_tree(write, kObjectTree, true);
    file_->put(write, tree, object_key(static_cast<std::uint16_t>(object.type), object.name),
               encode(object));
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
    file_->put(write, tree, object_key(type, object.name), encode(object));
    write.commit();
}

std::string Dictionary::table_path(const DictObject& table) const {
    std::string relative = table.property(dict_property::kPath);
    if (!relative.empty() && relative.front() == '/') {
        return normalize_path(relative);
    }
    return normalize_path(directory() + "/" + relative);
}

std::optional<DictObject> Dictionary::table_by_path(const std::string& path) const {
    for (auto& table : list(DictObjectType::Table)) {
        if (table_path(table) == path) {
            return table;
        }
    }
    return std::nullopt;
}

GrantedRights Dictionary::rights_of(const DictLogin& login, const DictObject& table) const {
    GrantedRights rights;
    if (login.administrator) {
        rights.table = kAllRights;
        return rights;
    }
    std::vector<std::string> grantees{to_upper_ascii(login.user)};
    for (const auto& group : login.groups) {
        grantees.push_back(to_upper_ascii(group));
    }
    // Column grants narrow a grantee's table rights for that column; rights from several
    // grantees add up.
    std::map<std::string, std::uint8_t> columns;
    std::vector<std::uint8_t> table_rights;
    for (const auto& grantee : grantees) {
        std::uint8_t granted = rights_value(table.property(dict_property::kRightPrefix + grantee));
        table_rights.push_back(granted);
        rights.table |= granted;
    }
    const std::string column_prefix = dict_property::kColumnPrefix;
    for (const auto& [key, value] : table.properties) {
        if (!key.starts_with(column_prefix)) {
            continue;
        }
        std::string rest = key.substr(column_prefix.size());
        std::size_t colon = rest.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        columns.emplace(rest.substr(colon + 1), 0);
    }
    for (auto& [field, bits] : columns) {
        for (std::size_t i = 0; i < grantees.size(); ++i) {
            auto grant = table.properties.find(column_prefix + grantees[i] + ":" + field);
            bits |= grant != table.properties.end()
                        ? static_cast<std::uint8_t>(rights_value(grant->second) & table_rights[i])
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

}  // namespace varelum::engine
