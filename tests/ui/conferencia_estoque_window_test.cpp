// The main window as an employee uses it: real key presses and clicks on the real widgets, the
// real password dialog in its modal loop, the count's rules and its in-memory test store behind
// them. Notices are recorded instead of shown.
#include "ui/conferencia_estoque_window.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QLabel>
#include <QStatusBar>

#include <ostream>

#include "count/notices.h"
#include "ui/window_fixture.h"

namespace varelum::ui {
namespace {

using testing::TypeText;
using testing::WindowFixture;

class ConferenciaEstoqueWindowTest : public WindowFixture {};

TEST_F(ConferenciaEstoqueWindowTest, IsLaidOutAsDesigned) {
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Conferência de Estoque"));
    EXPECT_EQ(Window->size(), QSize(564, 426));
    const Qt::WindowFlags flags = Window->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);

    EXPECT_EQ(Window->Label1()->text(), QStringLiteral("Código do Produto"));
    EXPECT_EQ(Window->Label1()->geometry(), QRect(15, 13, 115, 13));
    EXPECT_EQ(Window->DBLookupComboBox1()->geometry(), QRect(15, 27, 115, 21));
    EXPECT_EQ(Window->Label3()->text(), QStringLiteral("Código do Produto"));
    EXPECT_EQ(Window->Label3()->geometry(), QRect(185, 13, 180, 13));
    EXPECT_EQ(Window->Edit1()->geometry(), QRect(185, 27, 180, 22));
    EXPECT_TRUE(QFontInfo(Window->Edit1()->font()).fixedPitch());
    EXPECT_FALSE(Window->Edit1()->isEnabled());
    EXPECT_EQ(Window->Label2()->pos(), QPoint(15, 51));
    EXPECT_TRUE(Window->Label2()->font().bold());
    EXPECT_EQ(Window->DBGrid1()->geometry(), QRect(13, 72, 255, 300));
    EXPECT_EQ(Window->DBGrid2()->geometry(), QRect(277, 72, 275, 300));
    EXPECT_EQ(Window->Label4()->pos(), QPoint(13, 376));
    EXPECT_EQ(Window->Label5()->pos(), QPoint(277, 376));
    EXPECT_TRUE(Window->Label4()->font().bold());
    EXPECT_TRUE(Window->Label5()->font().bold());
    EXPECT_EQ(Window->Label4()->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(Window->Label5()->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(Window->SpeedButton1()->text(), QStringLiteral("Finalizar"));
    EXPECT_EQ(Window->SpeedButton1()->geometry(), QRect(476, 376, 75, 25));
    EXPECT_EQ(Window->SpeedButton1()->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(Window->SpeedButton1()->icon().isNull());

    EXPECT_EQ(Window->StatusBar1()->geometry(), QRect(0, 426 - 19, 564, 19));
    EXPECT_EQ(Window->StatusPanel(0)->text(), QStringLiteral("F2 = Abrir Conferência"));
    EXPECT_EQ(Window->StatusPanel(1)->text(), QStringLiteral("F4 = Fechar Conferência"));
    EXPECT_EQ(Window->StatusPanel(2)->text(), QString());
    EXPECT_EQ(Window->StatusPanel(0)->width(), 150);
    EXPECT_EQ(Window->StatusPanel(1)->width(), 150);
    EXPECT_GE(Window->StatusPanel(2)->width(), 150);

    for (const TDBGrid* grid : {Window->DBGrid1(), Window->DBGrid2()}) {
        ASSERT_EQ(grid->Columns().size(), 2u);
        EXPECT_EQ(grid->Columns()[0].Title, QStringLiteral("Cód. Grupo"));
        EXPECT_EQ(grid->Columns()[1].Title, QStringLiteral("Cód. Produto"));
        EXPECT_EQ(grid->columnWidth(1), 120);
        EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                  QStringLiteral("Cód. Grupo"));
        EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    }
}

TEST_F(ConferenciaEstoqueWindowTest, ComesUpInItsNormalStateAndCannotBeMaximized) {
    TConferenciaEstoqueWindow maximized(Store, Boxes, "Varelum", [] {});
    maximized.setWindowState(Qt::WindowMaximized);
    maximized.show();
    EXPECT_FALSE(maximized.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(maximized.size(), QSize(564, 426));

    Window->setWindowState(Qt::WindowMaximized);
    Settle();
    EXPECT_FALSE(Window->windowState() & Qt::WindowMaximized);
}

TEST_F(ConferenciaEstoqueWindowTest, TabMovesBetweenChooserCodeFieldAndGridsButNotTheButton) {
    OpenCount(QStringLiteral("SENHA1"));
    Window->DBLookupComboBox1()->setFocus();
    const std::vector<QWidget*> order{Window->Edit1(), Window->DBGrid1(), Window->DBGrid2(),
                                      Window->DBLookupComboBox1()};
    for (QWidget* next : order) {
        Press(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
    QTest::mouseClick(Window->SpeedButton1(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), Window->DBLookupComboBox1());
}

TEST_F(ConferenciaEstoqueWindowTest, ShowsTheProductsAfterTheFirstShowingButReadsNothing) {
    EXPECT_EQ(Window->DBLookupComboBox1()->count(), 3);
    EXPECT_EQ(Window->DBLookupComboBox1()->itemText(0), QStringLiteral("ABC123"));
    EXPECT_EQ(Window->Label2()->text(), QString());
    ChooseProduct(QStringLiteral("XYZ"));
    EXPECT_EQ(Window->DBLookupComboBox1()->currentText(), QStringLiteral("XYZ9"));
    EXPECT_EQ(Window->Label2()->text(), QStringLiteral("Qtde atual: 2"));
    EXPECT_FALSE(Window->Edit1()->isEnabled());
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(ConferenciaEstoqueWindowTest, AWholeCountFromF2ToFinalizar) {
    OpenCount(QStringLiteral("senha1"));
    EXPECT_EQ(DialogsShown, 1);
    EXPECT_EQ(Store.Log.at(Store.Log.size() - 2), "LocateStaff SENHA1");
    EXPECT_EQ(Window->StatusPanel(2)->text(), QStringLiteral("Conferência aberta por: JOSE"));
    EXPECT_TRUE(Window->Edit1()->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), Window->DBLookupComboBox1());
    EXPECT_EQ(Window->DBLookupComboBox1()->currentIndex(), -1);

    ChooseProduct(QStringLiteral("ABC"));
    EXPECT_EQ(Window->Label2()->text(), QStringLiteral("Qtde atual: 3"));

    Window->Edit1()->setFocus();
    for (int read = 1; read <= 3; ++read) {
        Read(QStringLiteral("abc123"));
        EXPECT_EQ(Window->Label4()->text(), QStringLiteral("Corretos: %1").arg(read));
        EXPECT_EQ(Window->DBGrid1()->RowCount(), read);
        EXPECT_EQ(Window->DBGrid1()->ActiveRow(), read - 1);
        EXPECT_EQ(Window->Edit1()->text(), QString());
        EXPECT_EQ(QApplication::focusWidget(), Window->Edit1());
    }
    EXPECT_EQ(Window->DBGrid1()->CellText(2, 0), QStringLiteral("G01"));
    EXPECT_EQ(Window->DBGrid1()->CellText(2, 1), QStringLiteral("ABC123"));
    EXPECT_FALSE(Window->DBLookupComboBox1()->isEnabled());

    ClickFinalizar();
    ASSERT_EQ(Store.Auditoria.size(), 1u);
    EXPECT_EQ(Store.Auditoria[0].CodGrupo, "G01");
    EXPECT_EQ(Store.Auditoria[0].CodProduto, "ABC123");
    EXPECT_EQ(Store.Auditoria[0].Quantidade, "3");
    EXPECT_EQ(Store.Auditoria[0].Situacao, "CONF ESTOQUE");
    EXPECT_EQ(Store.Auditoria[0].Observacao, "Conferido por: JOSE");

    // Back to no count: everything empty, the product list closed.
    EXPECT_FALSE(Window->Edit1()->isEnabled());
    EXPECT_TRUE(Window->DBLookupComboBox1()->isEnabled());
    EXPECT_EQ(Window->DBLookupComboBox1()->count(), 0);
    EXPECT_EQ(Window->DBGrid1()->RowCount(), 0);
    EXPECT_EQ(Window->Label2()->text(), QString());
    EXPECT_EQ(Window->Label4()->text(), QString());
    EXPECT_EQ(Window->StatusPanel(2)->text(), QString());
    EXPECT_TRUE(Boxes.Boxes.empty());
    EXPECT_TRUE(Handler.Errors.empty());
}

TEST_F(ConferenciaEstoqueWindowTest, WrongReadsGoToTheRedGrid) {
    OpenCount(QStringLiteral("SENHA1"));
    ChooseProduct(QStringLiteral("ABC"));
    Window->Edit1()->setFocus();
    Read(QStringLiteral("ABC123"));
    Read(QStringLiteral("7891000200200"));  // another product's barcode
    Read(QStringLiteral("xyz9"));
    EXPECT_EQ(Window->Label4()->text(), QStringLiteral("Corretos: 1"));
    EXPECT_EQ(Window->Label5()->text(), QStringLiteral("Errados: 2"));
    ASSERT_EQ(Window->DBGrid2()->RowCount(), 2);
    EXPECT_EQ(Window->DBGrid2()->CellText(0, 1), QStringLiteral("XYZ9"));
    EXPECT_EQ(Window->DBGrid2()->CellText(1, 1), QStringLiteral("XYZ9"));
    const QModelIndex cell = Window->DBGrid2()->model()->index(1, 1);
    EXPECT_TRUE(cell.data(Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(cell.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    EXPECT_EQ(cell.data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignCenter);
    EXPECT_FALSE(Window->DBGrid1()->model()->index(0, 1).data(Qt::ForegroundRole).isValid());
}

TEST_F(ConferenciaEstoqueWindowTest, ACountReadWithTheScannerOnlyIsFinished) {
    OpenCount(QStringLiteral("SENHA1"));
    ChooseProduct(QStringLiteral("XYZ"));
    Window->Edit1()->setFocus();
    Read(QStringLiteral("7891000200200"));
    Read(QStringLiteral("7891000200200"));
    EXPECT_EQ(Window->Label4()->text(), QStringLiteral("Corretos: 2"));
    EXPECT_EQ(Window->Label5()->text(), QString());
    EXPECT_EQ(Window->DBGrid1()->CellText(1, 1), QStringLiteral("XYZ9"));

    ClickFinalizar();
    EXPECT_TRUE(Boxes.Boxes.empty());
    ASSERT_EQ(Store.Auditoria.size(), 1u);
    EXPECT_EQ(Store.Auditoria[0].CodProduto, "XYZ9");
    EXPECT_EQ(Store.Auditoria[0].Quantidade, "2");
    EXPECT_FALSE(Window->Edit1()->isEnabled());
}

TEST_F(ConferenciaEstoqueWindowTest, LowerCaseTypingIsShownAndStoredInUpperCase) {
    OpenCount(QStringLiteral("senha1"));
    ChooseProduct(QStringLiteral("XYZ"));
    Window->Edit1()->setFocus();
    TypeText(Window->Edit1(), QStringLiteral("xyz9"));
    EXPECT_EQ(Window->Edit1()->text(), QStringLiteral("XYZ9"));
    EXPECT_EQ(Window->Edit1()->displayText(), QStringLiteral("XYZ9"));
    QTest::keyClick(Window->Edit1(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(Store.Log.back(), "Query1 CodProduto XYZ9");
    EXPECT_EQ(Window->Label4()->text(), QStringLiteral("Corretos: 1"));
}

TEST_F(ConferenciaEstoqueWindowTest, EnterInAnEmptyCodeFieldDoesNothing) {
    OpenCount(QStringLiteral("SENHA1"));
    const std::size_t logged = Store.Log.size();
    Window->Edit1()->setFocus();
    QTest::keyClick(Window->Edit1(), Qt::Key_Return);
    QTest::keyClick(Window->Edit1(), Qt::Key_Enter, Qt::KeypadModifier);
    Settle();
    EXPECT_EQ(Store.Log.size(), logged);
    EXPECT_TRUE(Boxes.Boxes.empty());
    EXPECT_EQ(Window->Label4()->text(), QString());
}

TEST_F(ConferenciaEstoqueWindowTest, TheChooserIsLockedByTheFirstReadAndFreedByF4) {
    OpenCount(QStringLiteral("SENHA1"));
    ChooseProduct(QStringLiteral("ABC"));
    EXPECT_TRUE(Window->DBLookupComboBox1()->isEnabled());
    Window->Edit1()->setFocus();
    Read(QStringLiteral("XYZ9"));
    EXPECT_FALSE(Window->DBLookupComboBox1()->isEnabled());
    Press(Qt::Key_F4);
    EXPECT_TRUE(Window->DBLookupComboBox1()->isEnabled());
    EXPECT_FALSE(Window->Edit1()->isEnabled());
    EXPECT_EQ(Window->DBGrid2()->RowCount(), 0);
    EXPECT_EQ(Window->Label5()->text(), QString());
}

// Which control has the focus when the function key is pressed.
enum class TFocusedControl { Chooser, CodeField, CorrectGrid, WrongGrid };

const char* NameOf(TFocusedControl control) {
    switch (control) {
        case TFocusedControl::Chooser:
            return "Chooser";
        case TFocusedControl::CodeField:
            return "CodeField";
        case TFocusedControl::CorrectGrid:
            return "CorrectGrid";
        case TFocusedControl::WrongGrid:
            return "WrongGrid";
    }
    return "Unknown";
}

void PrintTo(TFocusedControl control, std::ostream* out) {
    *out << NameOf(control);
}

QWidget* ControlOf(TConferenciaEstoqueWindow& window, TFocusedControl control) {
    switch (control) {
        case TFocusedControl::Chooser:
            return window.DBLookupComboBox1();
        case TFocusedControl::CodeField:
            return window.Edit1();
        case TFocusedControl::CorrectGrid:
            return window.DBGrid1();
        case TFocusedControl::WrongGrid:
            return window.DBGrid2();
    }
    return nullptr;
}

// Counts the key presses that reach one widget itself (after the window's key preview).
class TKeyCounter : public QObject {
  public:
    TKeyCounter(QWidget& widget, Qt::Key key) : FKey(key) { widget.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == FKey) {
            ++Count;
        }
        return false;
    }
    int Count = 0;

  private:
    Qt::Key FKey;
};

class FunctionKeysTest : public WindowFixture,
                         public ::testing::WithParamInterface<TFocusedControl> {};

TEST_P(FunctionKeysTest, F4ClearsAndStillReachesTheFocusedControl) {
    OpenCount(QStringLiteral("SENHA1"));
    ChooseProduct(QStringLiteral("ABC"));
    Window->Edit1()->setFocus();
    Read(QStringLiteral("ABC123"));
    Read(QStringLiteral("XYZ9"));
    QWidget* control = ControlOf(*Window, GetParam());
    if (GetParam() == TFocusedControl::Chooser) {
        // Locked by the reads; F4 from it is tested with the count still free.
        Press(Qt::Key_F4);
        OpenCount(QStringLiteral("SENHA1"));
    }
    control->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), control);
    TKeyCounter counter(*control, Qt::Key_F4);
    Press(Qt::Key_F4);
    EXPECT_EQ(counter.Count, 1);
    EXPECT_FALSE(Window->Edit1()->isEnabled());
    EXPECT_EQ(Window->StatusPanel(2)->text(), QString());
    EXPECT_EQ(Window->DBGrid1()->RowCount(), 0);
    EXPECT_EQ(Window->DBGrid2()->RowCount(), 0);
    EXPECT_EQ(Window->DBLookupComboBox1()->count(), 0);
}

TEST_P(FunctionKeysTest, F2OpensACountAndStillReachesTheFocusedControl) {
    QWidget* control = ControlOf(*Window, GetParam());
    if (GetParam() == TFocusedControl::CodeField) {
        OpenCount(QStringLiteral("77"));  // the code field takes the focus only while enabled
    }
    control->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), control);
    TKeyCounter counter(*control, Qt::Key_F2);
    OpenCount(QStringLiteral("senha1"));
    EXPECT_EQ(DialogsShown, DialogsExpected);
    EXPECT_EQ(counter.Count, 1);
    EXPECT_EQ(Window->StatusPanel(2)->text(), QStringLiteral("Conferência aberta por: JOSE"));
    EXPECT_TRUE(Window->Edit1()->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(EachControl, FunctionKeysTest,
                         ::testing::Values(TFocusedControl::Chooser, TFocusedControl::CodeField,
                                           TFocusedControl::CorrectGrid,
                                           TFocusedControl::WrongGrid),
                         [](const ::testing::TestParamInfo<TFocusedControl>& info) {
                             return std::string(NameOf(info.param));
                         });

TEST_F(ConferenciaEstoqueWindowTest, ClosingIsRefusedWhileReadsExist) {
    OpenCount(QStringLiteral("SENHA1"));
    ChooseProduct(QStringLiteral("ABC"));
    Window->Edit1()->setFocus();
    Read(QStringLiteral("ABC123"));
    EXPECT_FALSE(Window->close());
    EXPECT_TRUE(Window->isVisible());
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].Text, count::NoticeCannotClose);
    EXPECT_EQ(Boxes.Boxes[0].Caption, "Varelum");
    EXPECT_FALSE(Boxes.Boxes[0].Error);
    EXPECT_EQ(TerminateRequests, 0);

    Press(Qt::Key_F4);
    EXPECT_TRUE(Window->close());
    EXPECT_EQ(TerminateRequests, 1);
    EXPECT_EQ(Store.Log.back(), "Close TbCadFuncionariosLojas");
    EXPECT_EQ(Boxes.Boxes.size(), 1u);
}

// One notice case: what the employee does, and the notice that must follow, shown once.
struct TNoticeCase {
    const char* Name;
    std::function<void(WindowFixture&)> Act;
    const char* Notice;
};

void PrintTo(const TNoticeCase& c, std::ostream* out) {
    *out << c.Name;
}

class NoticeTest : public WindowFixture, public ::testing::WithParamInterface<TNoticeCase> {
  public:
    TConferenciaEstoqueWindow& Main() { return *Window; }
};

void ReadInto(NoticeTest& test, const QString& product, std::initializer_list<QString> codes) {
    test.OpenCount(QStringLiteral("SENHA1"));
    if (!product.isEmpty()) {
        test.ChooseProduct(product);
    }
    test.Main().Edit1()->setFocus();
    for (const QString& code : codes) {
        test.Read(code);
    }
}

TEST_P(NoticeTest, ShowsItsNoticeOnce) {
    GetParam().Act(*this);
    ASSERT_EQ(NoticeTexts(), std::vector<std::string>{GetParam().Notice});
    EXPECT_EQ(Boxes.Boxes[0].Caption, "Varelum");
    EXPECT_FALSE(Boxes.Boxes[0].Error);
    EXPECT_TRUE(Handler.Errors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EachNotice, NoticeTest,
    ::testing::Values(
        TNoticeCase{"CountAlreadyOpen",
                    [](WindowFixture& f) {
                        auto& test = static_cast<NoticeTest&>(f);
                        ReadInto(test, QStringLiteral("ABC"), {QStringLiteral("ABC123")});
                        test.Press(Qt::Key_F2);
                    },
                    count::NoticeCountAlreadyOpen},
        TNoticeCase{"UnknownPassword",
                    [](WindowFixture& f) {
                        static_cast<NoticeTest&>(f).OpenCount(QStringLiteral("nobody"));
                    },
                    count::NoticeUnknownPassword},
        TNoticeCase{"NoProductChosen",
                    [](WindowFixture& f) {
                        auto& test = static_cast<NoticeTest&>(f);
                        ReadInto(test, QString(), {QStringLiteral("ABC123")});
                        EXPECT_EQ(test.Main().Edit1()->text(), QStringLiteral("ABC123"));
                        EXPECT_EQ(QApplication::focusWidget(), test.Main().DBLookupComboBox1());
                    },
                    count::NoticeChooseProduct},
        TNoticeCase{"ZeroStock",
                    [](WindowFixture& f) {
                        auto& test = static_cast<NoticeTest&>(f);
                        ReadInto(test, QStringLiteral("ZERO"), {QStringLiteral("ZERO1")});
                        EXPECT_EQ(test.Main().Edit1()->text(), QString());
                    },
                    count::NoticeZeroStock},
        TNoticeCase{"UnknownCode",
                    [](WindowFixture& f) {
                        auto& test = static_cast<NoticeTest&>(f);
                        ReadInto(test, QStringLiteral("ABC"), {QStringLiteral("nada")});
                        EXPECT_EQ(test.Main().Edit1()->text(), QStringLiteral("NADA"));
                    },
                    count::NoticeUnknownCode},
        TNoticeCase{"WrongReads",
                    [](WindowFixture& f) {
                        auto& test = static_cast<NoticeTest&>(f);
                        ReadInto(test, QStringLiteral("ABC"),
                                 {QStringLiteral("ABC123"), QStringLiteral("XYZ9")});
                        test.ClickFinalizar();
                    },
                    count::NoticeWrongReads},
        TNoticeCase{"StockDiffers",
                    [](WindowFixture& f) {
                        auto& test = static_cast<NoticeTest&>(f);
                        ReadInto(test, QStringLiteral("ABC"),
                                 {QStringLiteral("ABC123"), QStringLiteral("ABC123")});
                        test.ClickFinalizar();
                    },
                    count::NoticeStockDiffers}),
    [](const ::testing::TestParamInfo<TNoticeCase>& info) { return info.param.Name; });

TEST_F(ConferenciaEstoqueWindowTest, AStoreFailureReachesTheErrorHandlerAndTheWindowGoesOn) {
    Store.FailLocateStaff = true;
    OpenCount(QStringLiteral("SENHA1"));
    ASSERT_EQ(Handler.Errors.size(), 1u);
    EXPECT_NE(Handler.Errors[0].find("Senha"), std::string::npos);
    EXPECT_TRUE(Boxes.Boxes.empty());
    Store.FailLocateStaff = false;
    OpenCount(QStringLiteral("SENHA1"));
    EXPECT_EQ(Window->StatusPanel(2)->text(), QStringLiteral("Conferência aberta por: JOSE"));
}

}  // namespace
}  // namespace varelum::ui
