// Damaged table files: copies of a valid table with flipped bits, zeroed pages, swapped pages
// and cut ends. Every copy must either read exactly as the original (in record order, in every
// index order, every field) or answer the damage code; none may abort the process or read
// wrong data, and the check must call every copy that does not read identical damaged.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "case_names.h"
#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

constexpr std::size_t kPage = 4096;

// What reading a table gives: its whole contents as text, or the first error met.
struct Reading {
    UNSIGNED32 error = VE_SUCCESS;
    std::string where;
    std::string contents;
};

// Reads every field of the record under the cursor into out; false on an error.
bool read_record(ADSHANDLE cursor, UNSIGNED16 fields, Reading& reading) {
    UNSIGNED32 number = 0;
    if ((reading.error = AdsGetRecordNum(cursor, VE_IGNORE_FILTERS, &number)) != VE_SUCCESS) {
        reading.where = "record number";
        return false;
    }
    reading.contents += std::to_string(number) + ":";
    std::vector<UNSIGNED8> buffer(1 << 17);
    for (UNSIGNED16 field = 1; field <= fields; ++field) {
        UNSIGNED32 length = static_cast<UNSIGNED32>(buffer.size());
        reading.error = AdsGetField(cursor, ADSFIELD(field), buffer.data(), &length, VE_TRIM_NONE);
        if (reading.error != VE_SUCCESS) {
            reading.where = "record " + std::to_string(number) + " field " + std::to_string(field);
            return false;
        }
        reading.contents.append(reinterpret_cast<const char*>(buffer.data()), length);
        reading.contents += "|";
    }
    reading.contents += "\n";
    return true;
}

// Walks the cursor from top to bottom reading every record.
bool walk(ADSHANDLE cursor, UNSIGNED16 fields, Reading& reading) {
    if ((reading.error = AdsGotoTop(cursor)) != VE_SUCCESS) {
        reading.where = "top";
        return false;
    }
    for (int guard = 0; guard < 100000; ++guard) {
        UNSIGNED16 eof = 0;
        if ((reading.error = AdsAtEOF(cursor, &eof)) != VE_SUCCESS) {
            reading.where = "eof";
            return false;
        }
        if (eof) {
            return true;
        }
        if (!read_record(cursor, fields, reading)) {
            return false;
        }
        if ((reading.error = AdsSkip(cursor, 1)) != VE_SUCCESS) {
            reading.where = "skip";
            return false;
        }
    }
    reading.where = "a walk that never ends";
    reading.error = ~0u;
    return false;
}

Reading read_table(ADSHANDLE connection, const std::string& name) {
    Reading reading;
    ADSHANDLE table = 0;
    reading.error =
        AdsOpenTable90(connection, u8(name), nullptr, VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI,
                       VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, u8("ANSI"), &table);
    if (reading.error != VE_SUCCESS) {
        reading.where = "open";
        return reading;
    }
    UNSIGNED16 fields = 0, indexes = 0;
    if ((reading.error = AdsGetNumFields(table, &fields)) == VE_SUCCESS &&
        (reading.error = AdsGetNumIndexes(table, &indexes)) == VE_SUCCESS &&
        walk(table, fields, reading)) {
        for (UNSIGNED16 order = 1; order <= indexes; ++order) {
            ADSHANDLE index = 0;
            reading.contents += "order " + std::to_string(order) + "\n";
            if ((reading.error = AdsGetIndexHandleByOrder(table, order, &index)) != VE_SUCCESS) {
                reading.where = "index handle";
                break;
            }
            if (!walk(index, fields, reading)) {
                break;
            }
        }
    }
    AdsCloseTable(table);
    return reading;
}

// The check's answer on the table: its report, or the error of an open that fails (which
// counts as damage found).
struct CheckResult {
    UNSIGNED32 code = VE_SUCCESS;
    std::string report;
};

CheckResult check_table(ADSHANDLE connection, const std::string& name) {
    ADSHANDLE table = 0;
    CheckResult result;
    result.code = AdsOpenTable90(connection, u8(name), nullptr, VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI,
                                 VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, u8("ANSI"), &table);
    if (result.code != VE_SUCCESS) {
        result.report = last_error_text();
        return result;
    }
    std::vector<UNSIGNED8> report(1 << 16);
    UNSIGNED32 length = static_cast<UNSIGNED32>(report.size());
    result.code = AdsCheckTable(table, VE_CHECK_MEMOS, report.data(), &length);
    result.report.assign(reinterpret_cast<const char*>(report.data()), length);
    AdsCloseTable(table);
    return result;
}

enum class Damage { flip, zero_page, swap_pages, truncate };

struct DamageCase {
    Damage kind;
    int copies;
};

void PrintTo(const DamageCase& damage, std::ostream* out);

const char* name_of(Damage kind) {
    switch (kind) {
        case Damage::flip:
            return "flip";
        case Damage::zero_page:
            return "zero_page";
        case Damage::swap_pages:
            return "swap_pages";
        case Damage::truncate:
            return "truncate";
    }
    return "?";
}

void PrintTo(const DamageCase& damage, std::ostream* out) {
    *out << damage.copies << " copies " << name_of(damage.kind);
}

std::string damaged_copy(const std::string& original, Damage kind, std::mt19937& random) {
    std::string bytes = original;
    const std::size_t pages = bytes.size() / kPage;
    auto any = [&random](std::size_t below) {
        return std::uniform_int_distribution<std::size_t>(0, below - 1)(random);
    };
    switch (kind) {
        case Damage::flip: {
            std::size_t at = any(bytes.size());
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << any(8)));
            break;
        }
        case Damage::zero_page:
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(any(pages) * kPage), kPage,
                        '\0');
            break;
        case Damage::swap_pages: {
            std::size_t a = any(pages), b = any(pages);
            if (a == b) {
                b = (a + 1) % pages;
            }
            std::swap_ranges(bytes.begin() + static_cast<std::ptrdiff_t>(a * kPage),
                             bytes.begin() + static_cast<std::ptrdiff_t>((a + 1) * kPage),
                             bytes.begin() + static_cast<std::ptrdiff_t>(b * kPage));
            break;
        }
        case Damage::truncate:
            bytes.resize(any(bytes.size()));
            break;
    }
    return bytes;
}

class DamagedFileTest : public EngineTest, public ::testing::WithParamInterface<DamageCase> {
  protected:
    // A table with texts, numbers, dates, memo values (some longer than a page) and two
    // index tags, large enough to span branch pages.
    static void make_table(ADSHANDLE connection) {
        ADSHANDLE table = 0;
        ASSERT_ADS_OK(AdsCreateTable90(
            connection, u8("Estoque"), nullptr, VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI,
            VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
            u8("Codigo,Char,12;Qtde,Integer;Preco,Numeric,10,2;Dia,Date;Obs,Memo;"), 0, u8("ANSI"),
            &table));
        for (int i = 1; i <= 400; ++i) {
            ASSERT_ADS_OK(AdsAppendRecord(table));
            std::string code = "P" + std::to_string(100000 + (i * 7919) % 100000);
            std::string quantity = std::to_string((i * 37) % 501);
            std::string price = std::to_string(i) + ".25";
            std::string day = "03/" + std::to_string(1 + i % 28) + "/2026";
            ASSERT_ADS_OK(AdsSetField(table, u8("Codigo"), u8(code), code.size()));
            ASSERT_ADS_OK(AdsSetField(table, u8("Qtde"), u8(quantity), quantity.size()));
            ASSERT_ADS_OK(AdsSetField(table, u8("Preco"), u8(price), price.size()));
            ASSERT_ADS_OK(AdsSetField(table, u8("Dia"), u8(day), day.size()));
            if (i % 3 != 0) {
                std::string memo(static_cast<std::size_t>(i % 50 == 1 ? 6000 : 20 + i % 90),
                                 static_cast<char>('a' + i % 26));
                ASSERT_ADS_OK(AdsSetField(table, u8("Obs"), u8(memo), memo.size()));
            }
            ASSERT_ADS_OK(AdsWriteRecord(table));
        }
        for (auto [tag, expression] : {std::pair{"CODIGO", "Codigo"}, std::pair{"QTDE", "Qtde"}}) {
            ADSHANDLE index = 0;
            ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8(tag), u8(expression), nullptr,
                                           nullptr, 0, 512, nullptr, &index));
        }
        AdsCloseTable(table);
    }
};

TEST_P(DamagedFileTest, ReadsExactlyOrAnswersDamage) {
    make_table(connection_);
    Reading original = read_table(connection_, "Estoque");
    ASSERT_EQ(VE_SUCCESS, original.error) << original.where;
    CheckResult sound = check_table(connection_, "Estoque");
    ASSERT_EQ(VE_SUCCESS, sound.code) << sound.report;
    const std::string bytes = read_file(dir_.file("Estoque.adt"));
    ASSERT_GE(bytes.size(), 8 * kPage);

    std::mt19937 random(static_cast<unsigned>(GetParam().kind) * 7777 + 1);
    int identical = 0, damaged = 0;
    for (int copy = 0; copy < GetParam().copies; ++copy) {
        TempDir folder;
        std::string damage = damaged_copy(bytes, GetParam().kind, random);
        write_file(folder.file("Estoque.adt"), damage);
        ADSHANDLE connection = 0;
        ASSERT_ADS_OK(AdsConnect(u8(folder.path()), &connection));
        Reading reading = read_table(connection, "Estoque");
        if (reading.error == VE_SUCCESS) {
            EXPECT_EQ(original.contents, reading.contents) << "copy " << copy << " read wrong data";
            if (original.contents == reading.contents) {
                ++identical;
            }
        } else {
            EXPECT_EQ(VE_TABLE_CORRUPT, reading.error)
                << "copy " << copy << " at " << reading.where << ": " << last_error_text();
            ++damaged;
        }
        if (reading.error != VE_SUCCESS || reading.contents != original.contents) {
            EXPECT_EQ(VE_TABLE_CORRUPT, check_table(connection, "Estoque").code) << "copy " << copy;
        }
        AdsDisconnect(connection);
    }
    RecordProperty("identical", identical);
    RecordProperty("damaged", damaged);
}

INSTANTIATE_TEST_SUITE_P(Copies, DamagedFileTest,
                         ::testing::Values(DamageCase{Damage::flip, 160},
                                           DamageCase{Damage::zero_page, 60},
                                           DamageCase{Damage::swap_pages, 60},
                                           DamageCase{Damage::truncate, 40}),
                         ReadableCaseName());

}  // namespace
}  // namespace varelum::engine::testing
