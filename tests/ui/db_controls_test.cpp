// The data-aware controls on a real in-memory dataset: the grid follows the rows (appends,
// closing, the active record) and never edits them; the lookup drop-down lists every row, moves
// the dataset when the user picks, searches as the user types and shows nothing for a null key.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTest>

#include <string>

#include "db/data_source.h"
#include "db/mem_table.h"
#include "rtl/variant.h"
#include "ui/db_grid.h"
#include "ui/db_lookup_combo_box.h"
#include "ui/lookup_list_model.h"
#include "ui/recording_boxes.h"

namespace varelum::ui {
namespace {

void Settle() {
    for (int turn = 0; turn < 3; ++turn) {
        QCoreApplication::processEvents();
    }
}

class DataControlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Table.FieldDefs().Add("codgrupo", db::ftString, 16);
        Table.FieldDefs().Add("codproduto", db::ftString, 30);
        Source.SetDataSet(&Table);
    }

    void Append(const std::string& grupo, const std::string& produto) {
        Table.Append();
        Table.FieldByName("codgrupo").SetAsString(grupo);
        Table.FieldByName("codproduto").SetAsString(produto);
        Table.Post();
    }

    std::string ActiveProduct() const { return Table.FieldByName("codproduto").AsString(); }

    testing::TRecordingExceptionHandler Handler;
    db::TMemTable Table;
    db::TDataSource Source;
};

class DBGridTest : public DataControlsTest {
  protected:
    void SetUp() override {
        DataControlsTest::SetUp();
        Grid.SetColumns({{"codgrupo", QStringLiteral("Cód. Grupo"), 0, Qt::AlignCenter},
                         {"codproduto", QStringLiteral("Cód. Produto"), 120, Qt::AlignCenter}});
        Grid.resize(255, 120);
        Grid.SetDataSource(&Source);
        Grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Grid));
    }

    TDBGrid Grid;
};

TEST_F(DBGridTest, ShowsEveryRowInOrderAndFollowsAppends) {
    EXPECT_EQ(Grid.RowCount(), 0);
    Table.CreateDataSet();
    Settle();
    EXPECT_EQ(Grid.RowCount(), 0);
    for (int row = 1; row <= 20; ++row) {
        Append("G" + std::to_string(row), "P" + std::to_string(row));
        Settle();
        ASSERT_EQ(Grid.RowCount(), row);
        EXPECT_EQ(Grid.ActiveRow(), row - 1);
    }
    EXPECT_EQ(Grid.CellText(0, 0), QStringLiteral("G1"));
    EXPECT_EQ(Grid.CellText(19, 1), QStringLiteral("P20"));
    // The new row is scrolled into view.
    const QRect last = Grid.visualRect(Grid.model()->index(19, 1));
    EXPECT_TRUE(Grid.viewport()->rect().intersects(last));
    EXPECT_EQ(Grid.model()->headerData(19, Qt::Vertical).toString(), QStringLiteral("\u25B6"));
    EXPECT_EQ(Grid.model()->headerData(18, Qt::Vertical).toString(), QString());

    Table.Close();
    Settle();
    EXPECT_EQ(Grid.RowCount(), 0);
}

TEST_F(DBGridTest, IsReadOnlyAndItsTitlesChangeNothing) {
    Table.CreateDataSet();
    Append("G1", "B");
    Append("G2", "A");
    Settle();
    for (int column = 0; column < 2; ++column) {
        EXPECT_FALSE(Grid.model()->flags(Grid.model()->index(0, column)) & Qt::ItemIsEditable);
    }
    const QModelIndex cell = Grid.model()->index(1, 1);
    QTest::mouseDClick(Grid.viewport(), Qt::LeftButton, {}, Grid.visualRect(cell).center());
    Grid.setFocus();
    QTest::keyClick(&Grid, Qt::Key_F2);
    QTest::keyClicks(&Grid, QStringLiteral("X"));
    EXPECT_EQ(QApplication::focusWidget(), &Grid);  // no cell editor took the focus

    QHeaderView* titles = Grid.horizontalHeader();
    const int titleCentre = titles->sectionViewportPosition(1) + titles->sectionSize(1) / 2;
    QTest::mouseMove(titles->viewport(), QPoint(titleCentre, titles->height() / 2));
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, QPoint(titleCentre, 5));
    Settle();
    EXPECT_EQ(Grid.CellText(0, 1), QStringLiteral("B"));
    EXPECT_EQ(Grid.CellText(1, 1), QStringLiteral("A"));
    EXPECT_EQ(Table.RecordCount(), 2);
    EXPECT_TRUE(Handler.Errors.empty());
}

TEST_F(DBGridTest, ClickingARowMakesItTheActiveRecord) {
    Table.CreateDataSet();
    Append("G1", "P1");
    Append("G2", "P2");
    Append("G3", "P3");
    Settle();
    const QModelIndex first = Grid.model()->index(0, 1);
    QTest::mouseClick(Grid.viewport(), Qt::LeftButton, {}, Grid.visualRect(first).center());
    Settle();
    EXPECT_EQ(ActiveProduct(), "P1");
    EXPECT_EQ(Grid.ActiveRow(), 0);
    Table.Last();
    Settle();
    EXPECT_EQ(Grid.ActiveRow(), 2);
}

class DBLookupComboBoxTest : public DataControlsTest {
  protected:
    void SetUp() override {
        DataControlsTest::SetUp();
        Combo.SetKeyField("codproduto");
        Combo.SetListField("codproduto");
        Combo.SetListSource(&Source);
        Combo.OnClick = [this] {
            ++Clicks;
            ProductAtClick = ActiveProduct();
        };
        Combo.resize(115, 21);
        Combo.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Combo));
    }

    void OpenWithProducts() {
        Table.CreateDataSet();
        for (const char* code : {"ABC123", "ABD77", "XYZ9"}) {
            Append("G", code);
        }
        Table.First();
        Settle();
    }

    TDBLookupComboBox Combo;
    int Clicks = 0;
    std::string ProductAtClick;
};

TEST_F(DBLookupComboBoxTest, ListsEveryRowWhileOpenAndNothingWhileClosed) {
    EXPECT_EQ(Combo.count(), 0);
    OpenWithProducts();
    ASSERT_EQ(Combo.count(), 3);
    EXPECT_EQ(Combo.itemText(2), QStringLiteral("XYZ9"));
    EXPECT_EQ(Combo.currentIndex(), -1);
    EXPECT_EQ(Combo.Text(), "");

    Combo.SetKeyValue(rtl::Variant(std::string("XYZ9")));
    EXPECT_EQ(Combo.Text(), "XYZ9");
    EXPECT_EQ(Combo.currentText(), QStringLiteral("XYZ9"));
    EXPECT_EQ(ActiveProduct(), "XYZ9");

    Table.Close();
    Settle();
    EXPECT_EQ(Combo.count(), 0);
    EXPECT_EQ(Combo.Text(), "");
    EXPECT_EQ(Combo.currentText(), QString());

    EXPECT_EQ(Clicks, 0);
}

TEST_F(DBLookupComboBoxTest, ANullKeyShowsNothing) {
    OpenWithProducts();
    Combo.SetKeyValue(rtl::Variant(std::string("ABD77")));
    ASSERT_EQ(Combo.currentText(), QStringLiteral("ABD77"));
    Combo.SetKeyValue(rtl::Variant::Null());
    EXPECT_EQ(Combo.Text(), "");
    EXPECT_EQ(Combo.currentIndex(), -1);
    Combo.SetKeyValue(rtl::Variant(std::string("NONE")));
    EXPECT_EQ(Combo.Text(), "");
    EXPECT_EQ(Combo.currentIndex(), -1);
}

TEST_F(DBLookupComboBoxTest, PickingFromTheDroppedDownListMovesTheDataSetAndClicks) {
    OpenWithProducts();
    Combo.showPopup();
    QAbstractItemView* list = Combo.view();
    ASSERT_TRUE(list->isVisible());
    const QModelIndex second = list->model()->index(1, 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(second).center());
    Settle();
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(Clicks, 1);
    EXPECT_EQ(ProductAtClick, "ABD77");
    EXPECT_EQ(Combo.Text(), "ABD77");
    EXPECT_EQ(Combo.KeyValue().AsString(), "ABD77");
    EXPECT_EQ(ActiveProduct(), "ABD77");
}

TEST_F(DBLookupComboBoxTest, TheDataSetFollowsTheHighlightAndReturnsWithoutAPick) {
    OpenWithProducts();
    Combo.SetKeyValue(rtl::Variant(std::string("ABC123")));
    Combo.setFocus();
    Combo.showPopup();
    QAbstractItemView* list = Combo.view();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(ActiveProduct(), "XYZ9");
    QTest::keyClick(list, Qt::Key_Escape);
    Settle();
    EXPECT_EQ(Clicks, 0);
    EXPECT_EQ(Combo.Text(), "ABC123");
    EXPECT_EQ(ActiveProduct(), "ABC123");
}

TEST_F(DBLookupComboBoxTest, TypingSearchesAndArrowsStep) {
    OpenWithProducts();
    Combo.setFocus();
    QTest::keyClicks(&Combo, QStringLiteral("ab"));
    EXPECT_EQ(Combo.Text(), "ABC123");
    QTest::keyClicks(&Combo, QStringLiteral("d"));
    EXPECT_EQ(Combo.Text(), "ABD77");
    EXPECT_EQ(ActiveProduct(), "ABD77");
    QTest::keyClick(&Combo, Qt::Key_Down);
    EXPECT_EQ(Combo.Text(), "XYZ9");
    QTest::keyClick(&Combo, Qt::Key_Up);
    QTest::keyClick(&Combo, Qt::Key_Up);
    EXPECT_EQ(Combo.Text(), "ABC123");
    EXPECT_EQ(ActiveProduct(), "ABC123");
    EXPECT_EQ(Clicks, 5);  // "a", "d", down, up, up: each moved to another row
}

// A list far longer than the control's window of rows: the control holds a few dozen of them,
// and typing, the arrows, Home and End and the dropped-down list still reach every row.
class DBLookupComboBoxOnALongListTest : public DBLookupComboBoxTest {
  protected:
    static constexpr int Products = 2000;

    static std::string Code(int number) {
        std::string code = std::to_string(number);
        return "P" + std::string(4 - code.size(), '0') + code;
    }

    void OpenWithManyProducts() {
        Table.CreateDataSet();
        for (int number = 1; number <= Products; ++number) {
            Append("G", Code(number));
        }
        Table.First();
        Settle();
    }
};

TEST_F(DBLookupComboBoxOnALongListTest, HoldsAWindowOfRowsAndTypingFindsAnyRow) {
    OpenWithManyProducts();
    EXPECT_LE(Combo.count(), TLookupListModel::WindowRows);
    EXPECT_EQ(Combo.itemText(0), QStringLiteral("P0001"));
    Combo.setFocus();
    QTest::keyClicks(&Combo, QStringLiteral("p1537"));
    EXPECT_EQ(Combo.Text(), "P1537");
    EXPECT_EQ(Combo.currentText(), QStringLiteral("P1537"));
    EXPECT_EQ(ActiveProduct(), "P1537");
    EXPECT_LE(Combo.count(), TLookupListModel::WindowRows);
    // A text that no row starts with changes nothing.
    QTest::keyClicks(&Combo, QStringLiteral("9"));
    EXPECT_EQ(Combo.Text(), "P1537");
    // P0001, P1000, P1500, P1530, P1537: each key moved to another row.
    EXPECT_EQ(Clicks, 5);
}

// Keys typed within the keyboard interval of each other search on, however late they are
// handled (a slow search, a busy machine); a pause between them as typed starts a new search.
TEST_F(DBLookupComboBoxOnALongListTest, KeysTypedTogetherSearchOnWhenTheirHandlingWasLate) {
    OpenWithManyProducts();
    Combo.setFocus();
    auto type = [this](Qt::Key key, const QString& text, quint64 typedAt) {
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, Qt::NoModifier, text);
            event.setTimestamp(typedAt);
            QApplication::sendEvent(&Combo, &event);
        }
    };
    const auto interval = static_cast<quint64>(QApplication::keyboardInputInterval());
    type(Qt::Key_P, QStringLiteral("p"), 1000);
    type(Qt::Key_1, QStringLiteral("1"), 1030);
    QTest::qWait(QApplication::keyboardInputInterval() + 100);
    type(Qt::Key_5, QStringLiteral("5"), 1060);
    EXPECT_EQ(Combo.Text(), "P1500");

    QTest::qWait(QApplication::keyboardInputInterval() + 100);
    type(Qt::Key_P, QStringLiteral("p"), 1060 + interval + 100);
    EXPECT_EQ(Combo.Text(), "P1501");
}

TEST_F(DBLookupComboBoxOnALongListTest, ArrowsHomeAndEndReachEveryRow) {
    OpenWithManyProducts();
    Combo.SetKeyValue(rtl::Variant(Code(1)));
    Combo.setFocus();
    for (int step = 0; step < 150; ++step) {
        QTest::keyClick(&Combo, Qt::Key_Down);
    }
    EXPECT_EQ(Combo.Text(), Code(151));
    EXPECT_EQ(ActiveProduct(), Code(151));
    QTest::keyClick(&Combo, Qt::Key_End);
    EXPECT_EQ(Combo.Text(), Code(Products));
    QTest::keyClick(&Combo, Qt::Key_Up);
    EXPECT_EQ(Combo.Text(), Code(Products - 1));
    QTest::keyClick(&Combo, Qt::Key_Home);
    EXPECT_EQ(Combo.Text(), Code(1));
    EXPECT_EQ(ActiveProduct(), Code(1));
    EXPECT_LE(Combo.count(), TLookupListModel::WindowRows);
}

TEST_F(DBLookupComboBoxOnALongListTest, TheDroppedDownListScrollsPastItsWindow) {
    OpenWithManyProducts();
    Combo.SetKeyValue(rtl::Variant(Code(1000)));
    Combo.setFocus();
    Combo.showPopup();
    QAbstractItemView* list = Combo.view();
    ASSERT_TRUE(list->isVisible());
    for (int page = 0; page < 30; ++page) {
        QTest::keyClick(list, Qt::Key_PageDown);
    }
    const std::string highlighted = list->currentIndex().data().toString().toStdString();
    EXPECT_GT(highlighted, Code(1200));
    EXPECT_EQ(ActiveProduct(), highlighted);
    QTest::keyClick(list, Qt::Key_Home);
    EXPECT_EQ(ActiveProduct(), Code(1));
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(ActiveProduct(), Code(Products));
    // Typing in the dropped-down list highlights the row found; Enter picks it.
    QTest::keyClicks(list, QStringLiteral("P0042"));
    EXPECT_EQ(ActiveProduct(), "P0042");
    QTest::keyClick(list, Qt::Key_Return);
    Settle();
    EXPECT_EQ(Combo.Text(), "P0042");
    EXPECT_EQ(Combo.KeyValue().AsString(), "P0042");
    EXPECT_EQ(ActiveProduct(), "P0042");
}

}  // namespace
}  // namespace varelum::ui
