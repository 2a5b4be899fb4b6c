// Values that change form on their way between two tables, through the C ABI on real table
// files: text between an ANSI and an OEM table keeps its letters, as reading it from one handle
// and setting it into the other would; a compact date goes to and from the other date types and
// text as its field setter takes a date.
#include <string>
#include <vector>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class CopyConversions : public EngineTest {
  protected:
    ADSHANDLE create_typed(const std::string& name, UNSIGNED16 char_type,
                           const std::string& fields) {
        ADSHANDLE table = 0;
        EXPECT_ADS_OK(AdsCreateTable90(connection_, u8(name), nullptr, VE_TABLE_TYPE_ADT, char_type,
                                       VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, u8(fields), 0,
                                       nullptr, &table));
        return table;
    }

    static std::u16string wide_text(ADSHANDLE table, const char* field) {
        std::vector<WCHAR> buffer(4096);
        UNSIGNED32 length = static_cast<UNSIGNED32>(buffer.size());
        EXPECT_ADS_OK(AdsGetFieldW(table, u8(field), buffer.data(), &length, VE_TRIM_RIGHT));
        return std::u16string(buffer.data(), length);
    }

    static void set_wide(ADSHANDLE table, const char* field, const std::u16string& text) {
        ASSERT_ADS_OK(
            AdsSetFieldW(table, u8(field), text.data(), static_cast<UNSIGNED32>(text.size())));
    }
};

const char* char_type_name(UNSIGNED16 type) {
    return type == VE_CHARTYPE_OEM ? "OEM" : "ANSI";
}

// Each case copies one record whose text fields all hold `text`: a Char of the same size (its
// bytes move whole), a wider Char, a VarCharFox, a Memo and a Memo into an NMemo.
struct CharacterSetCase {
    const char* what;
    UNSIGNED16 from;
    UNSIGNED16 to;
    std::u16string text;
    std::u16string expected;  // as the target's fields read
    std::string stored;       // the bytes of the target's Char field
};

TEST_F(CopyConversions, TextBetweenAnsiAndOemTablesKeepsItsLettersAsTheFieldCallsWouldCarryThem) {
    const CharacterSetCase cases[] = {
        {"accented letters into an OEM table", VE_CHARTYPE_ANSI, VE_CHARTYPE_OEM,
         u"A\u00E7\u00E3o \u00E9 \u00FAtil", u"A\u00E7\u00E3o \u00E9 \u00FAtil",
         "A\x87\xC6o \x82 \xA3til"},
        {"accented letters into an ANSI table", VE_CHARTYPE_OEM, VE_CHARTYPE_ANSI,
         u"A\u00E7\u00E3o \u00E9 \u00FAtil", u"A\u00E7\u00E3o \u00E9 \u00FAtil",
         "A\xE7\xE3o \xE9 \xFAtil"},
        {"the same character set keeps its bytes", VE_CHARTYPE_OEM, VE_CHARTYPE_OEM,
         u"A\u00E7\u00E3o", u"A\u00E7\u00E3o", "A\x87\xC6o"},
        {"ASCII keeps its bytes", VE_CHARTYPE_ANSI, VE_CHARTYPE_OEM, u"Plain 123-x", u"Plain 123-x",
         "Plain 123-x"},
        // A letter the target's set lacks becomes '?', as its field setter makes it.
        {"no euro sign in the OEM set", VE_CHARTYPE_ANSI, VE_CHARTYPE_OEM, u"5 \u20AC", u"5 ?",
         "5 ?"},
        {"no box drawing in the ANSI set", VE_CHARTYPE_OEM, VE_CHARTYPE_ANSI, u"\u256C box",
         u"? box", "? box"},
    };
    int n = 0;
    for (const CharacterSetCase& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", " + char_type_name(c.from) + " to " +
                     char_type_name(c.to));
        const std::string suffix = std::to_string(++n);
        ADSHANDLE from =
            create_typed("From" + suffix, c.from,
                         "Same,Char,12;Wider,Char,12;Var,VarCharFox,12;Notes,Memo;Wide,Memo");
        ADSHANDLE to =
            create_typed("To" + suffix, c.to,
                         "Same,Char,12;Wider,Char,20;Var,VarCharFox,12;Notes,Memo;Wide,NMemo");
        ASSERT_ADS_OK(AdsAppendRecord(from));
        for (const char* field : {"Same", "Wider", "Var", "Notes", "Wide"}) {
            set_wide(from, field, c.text);
        }
        ASSERT_ADS_OK(AdsWriteRecord(from));

        ASSERT_ADS_OK(AdsCopyTableContents(from, to, VE_IGNORE_FILTERS));
        ASSERT_ADS_OK(AdsGotoTop(to));
        for (const char* field : {"Same", "Wider", "Var", "Notes"}) {
            EXPECT_EQ(wide_text(to, field), c.expected) << field;
        }
        // An NMemo holds every letter of either set.
        EXPECT_EQ(wide_text(to, "Wide"), c.text);
        std::vector<UNSIGNED8> image(4096);
        UNSIGNED32 length = static_cast<UNSIGNED32>(image.size());
        ASSERT_ADS_OK(AdsGetRecord(to, image.data(), &length));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data()), c.stored.size()),
                  c.stored);
        AdsCloseTable(to);
        AdsCloseTable(from);
    }
}

// Each case copies field V of one record into field V of another type; "" leaves it null.
struct CompactDateCase {
    const char* from;
    std::string value;
    const char* to;
    UNSIGNED32 result;
    std::string read;  // the target's V, right-trimmed
};

TEST_F(CopyConversions, ACompactDateGoesToAndFromOtherDatesAndTextAsItsSetterTakesADate) {
    const CompactDateCase cases[] = {
        {"CompactDate", "12/10/2026", "Date", VE_SUCCESS, "12/10/2026"},
        {"Date", "02/29/2024", "CompactDate", VE_SUCCESS, "02/29/2024"},
        {"CompactDate", "12/31/9999", "Char,12", VE_SUCCESS, "12/31/9999"},
        {"Char,12", "01/01/0001", "CompactDate", VE_SUCCESS, "01/01/0001"},
        {"CompactDate", "07/04/1976", "TimeStamp", VE_SUCCESS, "07/04/1976 00:00:00.000"},
        // A copy takes the date of a timestamp, as a Date field does.
        {"TimeStamp", "12/10/2026 10:30:00", "CompactDate", VE_SUCCESS, "12/10/2026"},
        {"CompactDate", "", "Date", VE_SUCCESS, ""},
        {"Date", "", "CompactDate", VE_SUCCESS, ""},
        {"Char,12", "   ", "CompactDate", VE_SUCCESS, ""},
        {"Char,12", "someday", "CompactDate", VE_VALUE_NOT_CONVERTIBLE, ""},
    };
    int n = 0;
    for (const CompactDateCase& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " \"" + c.value + "\" -> " + c.to);
        const std::string suffix = std::to_string(++n);
        ADSHANDLE from = create("DateFrom" + suffix, std::string("V,") + c.from + ";K,Integer");
        ADSHANDLE to = create("DateTo" + suffix, std::string("V,") + c.to + ";K,Integer");
        ASSERT_ADS_OK(AdsAppendRecord(from));
        if (!c.value.empty()) {
            ASSERT_ADS_OK(
                AdsSetField(from, u8("V"), u8(c.value), static_cast<UNSIGNED32>(c.value.size())));
        }
        ASSERT_ADS_OK(AdsSetField(from, u8("K"), u8("1"), 1));
        ASSERT_ADS_OK(AdsWriteRecord(from));

        EXPECT_EQ(c.result, AdsCopyTableContents(from, to, VE_IGNORE_FILTERS)) << last_error_text();
        if (c.result == VE_SUCCESS) {
            ASSERT_ADS_OK(AdsGotoTop(to));
            EXPECT_EQ(text(to, "V", VE_TRIM_RIGHT), c.read);
            UNSIGNED16 empty = 0;
            ASSERT_ADS_OK(AdsIsEmpty(to, u8("V"), &empty));
            EXPECT_EQ(empty != 0, c.read.empty());
        }
        AdsCloseTable(to);
        AdsCloseTable(from);
    }
}

}  // namespace
}  // namespace varelum::engine::testing
