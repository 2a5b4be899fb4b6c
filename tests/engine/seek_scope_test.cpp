// Seeks (soft, hard, last, lookup; exact and partial; text, raw and number keys) on Char,
// CIChar, NChar, numeric, date and multi-field keys, and scopes with text and raw bounds.
#include "index_test_support.h"

namespace varelum::engine::testing {
namespace {

using Recnos = std::vector<UNSIGNED32>;

class Seeks : public IndexTest {
  protected:
    void SetUp() override {
        IndexTest::SetUp();
        table_ = create("Items",
                        "Code,Char,8;Label,CIChar,8;Wide,NChar,6;Price,Double,2;"
                        "Made,Date;Grp,Integer;");
        const char* rows[][6] = {
            {"B100", "Bolt", "bolt", "1.5", "01/10/2021", "2"},
            {"A200", "anchor", "anc", "20", "05/05/2020", "1"},
            {"B120", "BRACKET", "brk", "3.25", "01/10/2021", "2"},
            {"C300", "clamp", "clamp", "7", "12/31/2019", "3"},
            {"B100", "bolt", "bolt2", "1.75", "06/01/2022", "1"},
        };
        for (auto& row : rows) {
            append_row(table_, {{"Code", row[0]},
                                {"Label", row[1]},
                                {"Wide", row[2]},
                                {"Price", row[3]},
                                {"Made", row[4]},
                                {"Grp", row[5]}});
        }
    }
    ADSHANDLE table_ = 0;
};

TEST_F(Seeks, SoftAndHardSeeksOnTextKeysExactAndPartial) {
    ADSHANDLE code = index(table_, "CODE", "Code");
    struct Case {
        const char* key;
        UNSIGNED16 type;
        bool found;
        UNSIGNED32 lands;  // 0: EOF
    };
    const Case cases[] = {
        {"B100", VE_HARDSEEK, true, 1},  // the first of two equal keys
        {"B1", VE_HARDSEEK, true, 1},    // a partial key
        {"B11", VE_HARDSEEK, false, 0},  // hard: EOF when not found
        {"B11", VE_SOFTSEEK, false, 3},  // soft: the next key
        {"Z", VE_SOFTSEEK, false, 0},
        {"", VE_SOFTSEEK, true, 2},
        {"B1", VE_SOFTSEEK | VE_SEEKGT, true, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(c.found, seek_text(code, c.key, c.type));
        EXPECT_EQ(c.lands, recno(table_));
        EXPECT_EQ(c.lands == 0, at_eof(table_));
    }
    UNSIGNED16 found = 0;
    ASSERT_ADS_OK(AdsSeekLast(code, u8("B1"), 2, VE_STRINGKEY, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(3u, recno(table_));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 4));
    ASSERT_ADS_OK(AdsLookupKey(code, u8("A2"), 2, VE_STRINGKEY, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(4u, recno(table_));  // a lookup does not move
    // A seek skips what navigation would not show.
    ASSERT_ADS_OK(AdsSetAOF(table_, u8("Grp = 1"), 0));
    EXPECT_TRUE(seek_text(code, "B100", VE_HARDSEEK));
    EXPECT_EQ(5u, recno(table_));
}

TEST_F(Seeks, CaseInsensitiveWideNumericAndDateKeys) {
    ADSHANDLE label = index(table_, "LABEL", "Label");
    EXPECT_TRUE(seek_text(label, "BOLT", VE_HARDSEEK));
    EXPECT_EQ(1u, recno(table_));
    EXPECT_TRUE(seek_text(label, "bra", VE_HARDSEEK));
    EXPECT_EQ(3u, recno(table_));

    ADSHANDLE wide = index(table_, "WIDE", "Wide");
    std::u16string key = u"bolt2";
    UNSIGNED16 found = 0;
    ASSERT_ADS_OK(AdsSeek(wide, reinterpret_cast<const UNSIGNED8*>(key.c_str()),
                          VE_KEY_ZERO_TERMINATED, VE_WSTRINGKEY, VE_HARDSEEK, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(5u, recno(table_));

    ADSHANDLE price = index(table_, "PRICE", "Price", VE_INDEX_DESCENDING);
    double wanted = 3.25;
    ASSERT_ADS_OK(AdsSeek(price, reinterpret_cast<const UNSIGNED8*>(&wanted), 8, VE_DOUBLEKEY,
                          VE_HARDSEEK, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(3u, recno(table_));
    EXPECT_TRUE(seek_text(price, "20", VE_HARDSEEK));
    EXPECT_EQ(2u, recno(table_));
    // Descending: a soft seek lands on the next key down.
    EXPECT_FALSE(seek_text(price, "5", VE_SOFTSEEK));
    EXPECT_EQ(3u, recno(table_));

    ADSHANDLE made = index(table_, "MADE", "Made");
    EXPECT_TRUE(seek_text(made, "20210110", VE_HARDSEEK));
    EXPECT_EQ(1u, recno(table_));
    EXPECT_TRUE(seek_text(made, "12/31/2019", VE_HARDSEEK));
    EXPECT_EQ(4u, recno(table_));
    UNSIGNED16 type = VE_STRINGKEY;
    EXPECT_EQ(VE_INVALID_KEY, AdsSeek(made, u8("not a date"), 10, type, VE_HARDSEEK, &found));
}

TEST_F(Seeks, RawKeysBuiltSegmentBySegmentOnAMultiFieldIndex) {
    ADSHANDLE both = index(table_, "GRPCODE", "Grp;Code");
    ASSERT_ADS_OK(AdsInitRawKey(both));
    ASSERT_ADS_OK(AdsSetField(both, u8("Grp"), u8("2"), 1));
    UNSIGNED8 key[600];
    UNSIGNED16 length = sizeof key;
    ASSERT_ADS_OK(AdsBuildRawKey(both, key, &length));  // partial: the group only
    UNSIGNED16 found = 0;
    ASSERT_ADS_OK(AdsSeek(both, key, length, VE_RAWKEY, VE_HARDSEEK, &found));
    EXPECT_EQ(1, found);
    EXPECT_EQ(1u, recno(table_));
    ASSERT_ADS_OK(AdsSetField(both, u8("Code"), u8("B12"), 3));
    length = sizeof key;
    ASSERT_ADS_OK(AdsBuildRawKey(both, key, &length));
    ASSERT_ADS_OK(AdsSeek(both, key, length, VE_RAWKEY, VE_HARDSEEK, &found));
    EXPECT_EQ(3u, recno(table_));
    length = sizeof key;
    ASSERT_ADS_OK(AdsBuildRawKey100(both, key, &length, VE_KEY_WHOLE));  // "B12" padded: no key
    UNSIGNED16 whole_length = 0;
    ASSERT_ADS_OK(AdsGetKeyLength(both, &whole_length));
    EXPECT_EQ(whole_length, length);
    ASSERT_ADS_OK(AdsSeek(both, key, length, VE_RAWKEY, VE_HARDSEEK, &found));
    EXPECT_EQ(0, found);
    // The key of a record image, and the current record's key.
    ASSERT_ADS_OK(AdsGotoRecord(table_, 4));
    std::vector<UNSIGNED8> image(4096);
    UNSIGNED32 image_length = static_cast<UNSIGNED32>(image.size());
    ASSERT_ADS_OK(AdsGetRecord(table_, image.data(), &image_length));
    UNSIGNED8 built[600], extracted[600];
    UNSIGNED16 built_length = sizeof built, extracted_length = sizeof extracted;
    ASSERT_ADS_OK(AdsBuildKeyFromRecord(both, image.data(), image_length, built, &built_length));
    ASSERT_ADS_OK(AdsExtractKey(both, extracted, &extracted_length));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(built), built_length),
              std::string(reinterpret_cast<char*>(extracted), extracted_length));
    EXPECT_EQ(VE_FIELD_NOT_FOUND, AdsSetField(both, u8("Label"), u8("x"), 1));
}

TEST_F(Seeks, ScopesWithTextAndRawBoundsKeepNavigationCountsAndSeeksInside) {
    ADSHANDLE code = index(table_, "CODE", "Code");
    UNSIGNED8 buffer[64];
    UNSIGNED16 length = sizeof buffer;
    EXPECT_EQ(VE_NO_SCOPE, AdsGetScope(code, VE_TOP, buffer, &length));
    ASSERT_ADS_OK(AdsSetScope(code, VE_TOP, u8("B"), 1, VE_STRINGKEY));
    ASSERT_ADS_OK(AdsSetScope(code, VE_BOTTOM, u8("B1"), 2, VE_STRINGKEY));
    EXPECT_EQ((Recnos{1, 5, 3}), walk(code, table_));
    EXPECT_EQ((Recnos{3, 5, 1}), walk_back(code, table_));
    EXPECT_EQ(3u, count(code, VE_RESPECT_SCOPES));
    EXPECT_EQ(5u, count(table_, VE_RESPECT_SCOPES));
    EXPECT_EQ(5u, count(code, VE_IGNORE_FILTERS)) << "every key of the tag";
    EXPECT_EQ(3u, count(code, VE_RESPECT_FILTERS));
    ASSERT_ADS_OK(AdsSetAOF(table_, u8("Grp = 2"), VE_AOF_RESOLVE_LATER));
    EXPECT_EQ(5u, count(code, VE_IGNORE_FILTERS)) << "filters ignored too";
    EXPECT_EQ(2u, count(code, VE_RESPECT_FILTERS));
    ASSERT_ADS_OK(AdsClearAOF(table_));
    EXPECT_FALSE(seek_text(code, "C300", VE_HARDSEEK));
    length = sizeof buffer;
    ASSERT_ADS_OK(AdsGetScope(code, VE_BOTTOM, buffer, &length));
    EXPECT_EQ("B1", std::string(reinterpret_cast<char*>(buffer), length));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 4));
    UNSIGNED16 visible = 1;
    ASSERT_ADS_OK(AdsIsRecordVisible(code, &visible));
    EXPECT_EQ(0, visible);
    ASSERT_ADS_OK(AdsClearScope(code, VE_BOTTOM));
    EXPECT_EQ(VE_NO_SCOPE, AdsClearScope(code, VE_BOTTOM));
    EXPECT_EQ((Recnos{1, 5, 3, 4}), walk(code, table_));

    // Raw bounds, the top made exclusive by stepping the key.
    ADSHANDLE grp = index(table_, "GRP", "Grp");
    ASSERT_ADS_OK(AdsInitRawKey(grp));
    ASSERT_ADS_OK(AdsSetField(grp, u8("Grp"), u8("1"), 1));
    UNSIGNED8 key[64];
    UNSIGNED16 key_length = sizeof key;
    ASSERT_ADS_OK(AdsBuildRawKey100(grp, key, &key_length, VE_KEY_WHOLE));
    ASSERT_ADS_OK(AdsStepIndexKey(grp, key, key_length, 1));
    ASSERT_ADS_OK(AdsSetScope(grp, VE_TOP, key, key_length, VE_RAWKEY));
    EXPECT_EQ((Recnos{1, 3, 4}), walk(grp, table_));
    ASSERT_ADS_OK(AdsClearAllScopes(table_));
    EXPECT_EQ((Recnos{2, 5, 1, 3, 4}), walk(grp, table_));
}

}  // namespace
}  // namespace varelum::engine::testing
