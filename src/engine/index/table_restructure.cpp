// Restructuring a table (see table_restructure.h).
#include "engine/index/table_restructure.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "engine/core/error.h"
#include "engine/core/progress.h"
#include "engine/core/text.h"
#include "engine/env/env.h"
#include "engine/format/code_page.h"
#include "engine/index/index_catalog.h"
#include "engine/record/record_image.h"
#include "engine/record/schema.h"
#include "engine/record/value_conversion.h"
#include "engine/storage/table_store.h"
#include "engine/table/table_copy.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

// Records copied per write transaction of the new file: large enough that commits cost
// little, small enough that one transaction's dirty pages stay modest.
constexpr std::size_t kRecordsPerBatch = 4096;

std::vector<std::string> entries_of(std::string_view text) {
    std::vector<std::string> entries;
    for (std::string& entry : split_trimmed(text, ';')) {
        if (!entry.empty()) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

// One field of the new table and where its values come from.
struct FieldPlan {
    FieldDescriptor target;
    std::optional<FieldDescriptor> source;  // none: an added field, null in every record
    bool lossy = false;                     // the change may cut or drop values
};

// A change entry: "name,newname[,type[,length[,decimals]]][,LOSSY]".
FieldPlan changed_field(const FieldDescriptor& old, const std::vector<std::string>& pieces,
                        const std::string& entry) {
    std::vector<std::string> spec = pieces;
    FieldPlan plan;
    plan.source = old;
    if (spec.size() > 2 && iequals(spec.back(), "LOSSY")) {
        plan.lossy = true;
        spec.pop_back();
    }
    if (spec.size() < 2 || spec.size() > 5) {
        fail(VE_INVALID_FIELD_DEFINITION, "change \"" + entry + "\"");
    }
    const std::string name = spec[1].empty() ? old.name : spec[1];
    const bool type_given = spec.size() > 2 && !spec[2].empty();
    const bool size_given = (spec.size() > 3 && !spec[3].empty()) || spec.size() > 4;
    if (!type_given && !size_given) {
        plan.target = old;
        plan.target.name = name;
        return plan;
    }
    std::string text = name + "," + (type_given ? spec[2] : std::string(type_name(old.type)));
    if (spec.size() > 3) {
        text += "," + (spec[3].empty() ? std::to_string(old.length) : spec[3]);
    } else if (!type_given) {
        text += "," + std::to_string(old.length);
    }
    if (spec.size() > 4) {
        text += "," + (spec[4].empty() ? std::to_string(old.decimals) : spec[4]);
    }
    std::vector<FieldDescriptor> parsed = parse_field_text(text);
    if (parsed.size() != 1) {
        fail(VE_INVALID_FIELD_DEFINITION, "change \"" + entry + "\"");
    }
    plan.target = parsed.front();
    return plan;
}

std::vector<FieldPlan> plan_fields(const TableSchema& schema, const RestructureRequest& request) {
    std::vector<bool> deleted(schema.field_count() + 1u, false);
    for (const std::string& name : entries_of(request.delete_fields)) {
        const FieldDescriptor* field = schema.by_name(name);
        if (field == nullptr) {
            fail(VE_FIELD_NOT_FOUND, name + " (to delete)");
        }
        deleted[field->number] = true;
    }
    std::vector<std::optional<FieldPlan>> changes(schema.field_count() + 1u);
    for (const std::string& entry : entries_of(request.change_fields)) {
        std::vector<std::string> pieces = split_trimmed(entry, ',');
        const FieldDescriptor* field = schema.by_name(pieces.front());
        if (field == nullptr) {
            fail(VE_FIELD_NOT_FOUND, pieces.front() + " (to change)");
        }
        if (deleted[field->number] || changes[field->number]) {
            fail(VE_INVALID_FIELD_DEFINITION, pieces.front() + " is changed twice or deleted");
        }
        changes[field->number] = changed_field(*field, pieces, entry);
    }
    std::vector<FieldPlan> plans;
    for (const FieldDescriptor& field : schema.fields()) {
        if (deleted[field.number]) {
            continue;
        }
        if (changes[field.number]) {
            plans.push_back(*changes[field.number]);
        } else {
            plans.push_back(FieldPlan{field, field, false});
        }
    }
    if (!trim_blanks(request.add_fields).empty()) {
        for (FieldDescriptor& field : parse_field_text(request.add_fields)) {
            plans.push_back(FieldPlan{std::move(field), std::nullopt, false});
        }
    }
    if (plans.empty()) {
        fail(VE_INVALID_FIELD_DEFINITION, "the table would have no fields");
    }
    return plans;
}

// The staging file of the new table; removed unless it took the table's place.
class StagingFile {
  public:
    StagingFile(TableStore& store, std::string path) : store_(store), path_(std::move(path)) {
        remove();
    }
    ~StagingFile() {
        if (!placed_) {
            file_.reset();
            remove();
        }
    }
    StagingFile(const StagingFile&) = delete;
    StagingFile& operator=(const StagingFile&) = delete;

    const std::string& path() const { return path_; }
    std::shared_ptr<TableFile>& file() { return file_; }
    void placed() { placed_ = true; }

  private:
    void remove() { store_.discard(path_); }

    TableStore& store_;
    std::string path_;
    std::shared_ptr<TableFile> file_;
    bool placed_ = false;
};

// The exclusive handle that keeps every other user out for the whole work.
class ExclusiveUse {
  public:
    ExclusiveUse(const std::shared_ptr<Connection>& connection, const std::string& path) {
        OpenRequest request;
        request.exclusive = true;
        request.options = VE_OPEN_EXCLUSIVE;
        cursor_ = TableCursor::open(connection, path, request);
    }
    ~ExclusiveUse() {
        try {
            cursor_->close();
        } catch (...) {
            // Closing a handle that wrote nothing only releases locks; the process ending
            // releases them too.
        }
    }
    ExclusiveUse(const ExclusiveUse&) = delete;
    ExclusiveUse& operator=(const ExclusiveUse&) = delete;
    TableFile& file() { return cursor_->file(); }

  private:
    std::shared_ptr<TableCursor> cursor_;
};

// Rewrites a field-list key (or a key of one bare field) for renamed fields: "Old" and
// "UPPER(Old)" follow the field.
std::string renamed_field_list(const std::string& expression, const std::vector<FieldPlan>& plans) {
    auto names = split_field_list(expression);
    if (!names) {
        // A key of one field (the commonest tag) is written as its bare name, with no ";":
        // it follows a rename like a list of one.
        names = std::vector<std::string>{trim_blanks(expression)};
    }
    std::string result;
    for (const std::string& entry : *names) {
        std::string rewritten = entry;
        for (const FieldPlan& plan : plans) {
            if (!plan.source || iequals(plan.source->name, plan.target.name)) {
                continue;
            }
            if (iequals(entry, plan.source->name)) {
                rewritten = plan.target.name;
            } else if (iequals(entry, "UPPER(" + plan.source->name + ")")) {
                rewritten = "UPPER(" + plan.target.name + ")";
            }
        }
        result += (result.empty() ? "" : ";") + rewritten;
    }
    return result;
}

}  // namespace

void restructure_table(const std::shared_ptr<Connection>& connection, const std::string& path,
                       const RestructureRequest& request) {
    ExclusiveUse use(connection, path);
    TableFile& old_file = use.file();
    const TableSchema& old_schema = old_file.schema();
    std::vector<FieldPlan> plans = plan_fields(old_schema, request);
    std::vector<FieldDescriptor> targets;
    for (const FieldPlan& plan : plans) {
        targets.push_back(plan.target);
    }
    const TableSchema schema(std::move(targets));
    for (std::size_t i = 0; i < plans.size(); ++i) {
        plans[i].target = schema.fields()[i];  // numbered and laid out
    }

    TableStore& store = connection->store();
    StagingFile staging(store, store.staging_location(path));
    store.create(staging.path(), schema, old_file.options());
    staging.file() = store.open(staging.path());
    TableFile& new_file = *staging.file();
    // Nothing of the new file counts until it is flushed and renamed into place.
    new_file.set_durable(false);
    copy_file_marks(old_file, new_file);

    const auto tags = IndexCatalog::of(old_file).tags();
    const TableFile::Census census = old_file.census();
    Progress progress(census.records * (1 + tags.size()));

    TextContext context;
    context.page = format::code_page_of_char_type(old_file.options().char_type);
    const std::vector<std::uint8_t> empty_image = null_image(schema);
    const FieldDescriptor* autoinc = schema.autoinc_field();
    const bool autoinc_added =
        autoinc != nullptr && !plans[autoinc->number - 1u].source.has_value();

    std::unique_ptr<ReadSnapshot> snapshot = old_file.read_snapshot();
    snapshot->begin();
    TableCounters counters = old_file.read_counters(*snapshot);
    std::uint32_t next_autoinc = counters.next_autoinc;
    std::unique_ptr<RecordCursor> records = old_file.record_cursor(*snapshot);
    StoredRecord stored = records->first();
    std::vector<std::uint8_t> image;
    while (stored.recno != 0) {
        WriteContext write(new_file);
        for (std::size_t n = 0; n < kRecordsPerBatch && stored.recno != 0;
             ++n, stored = records->next()) {
            const auto* old_image = reinterpret_cast<const std::uint8_t*>(stored.bytes.data()) + 1;
            const auto status = static_cast<std::uint8_t>(stored.bytes.front());
            image = empty_image;
            for (const FieldPlan& plan : plans) {
                if (!plan.source) {
                    continue;
                }
                const FieldDescriptor& source = *plan.source;
                const FieldDescriptor& target = plan.target;
                std::string loss;
                if (is_memo_type(source.type) || is_memo_type(target.type)) {
                    if (source.type != target.type) {
                        loss = std::string("no conversion from ") + type_name(source.type) +
                               " to " + type_name(target.type);
                    } else {
                        std::memcpy(image.data() + target.offset, old_image + source.offset,
                                    format::kMemoSlotSize);
                        if (auto memo = old_file.memo(*snapshot, stored.recno, source.number)) {
                            write.put_memo(stored.recno, target.number, *memo);
                        }
                    }
                } else {
                    loss = convert_field_value(source, old_image, target, image.data(), context,
                                               context, ValueFit::Exact);
                }
                if (!loss.empty()) {
                    if (!plan.lossy) {
                        fail(VE_DATA_WOULD_BE_LOST, "field " + source.name + ", record " +
                                                        std::to_string(stored.recno) + ": " + loss);
                    }
                    // Allowed to lose: a text keeps what fits, anything else becomes null.
                    if (format::is_text_type(target.type) && format::is_text_type(source.type)) {
                        convert_field_value(source, old_image, target, image.data(), context,
                                            context, ValueFit::Nearest);
                    } else if (!is_memo_type(target.type)) {
                        set_null(target, image.data());
                    }
                }
            }
            if (autoinc_added) {
                set_field_integer(*autoinc, image.data(), next_autoinc++);
            } else if (autoinc != nullptr && !is_null(*autoinc, image.data())) {
                next_autoinc = std::max<std::uint32_t>(
                    next_autoinc,
                    static_cast<std::uint32_t>(field_integer(*autoinc, image.data())) + 1);
            }
            write.put_record(stored.recno, status, image.data());
            progress_step();
        }
        write.counters() = counters;
        write.counters().next_autoinc = next_autoinc;
        write.commit();
    }
    snapshot->close();

    // Index tags follow: a tag whose key no longer compiles (a field deleted, or its type
    // changed beyond what the key can take) goes.
    IndexCatalog& new_catalog = IndexCatalog::of(new_file);
    for (const auto& tag : tags) {
        IndexDefinition definition = tag->definition();
        definition.tag_id = 0;
        definition.expression = renamed_field_list(definition.expression, plans);
        try {
            new_catalog.create(definition);
        } catch (const EngineError& error) {
            if (error.code() != VE_INVALID_EXPRESSION) {
                throw;
            }
        }
    }
    new_file.flush();
    staging.file().reset();
    // The new table takes the old one's place in one step; a process still holding the old
    // file goes on with it.
    store.replace(staging.path(), path);
    staging.placed();
    progress.finish();
}

}  // namespace varelum::engine
