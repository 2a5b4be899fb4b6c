// The main window's controls at the positions and sizes of its design, their fonts and colours,
// and the wiring of its events to the count's handlers.
#include "ui/conferencia_estoque_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>

#include <utility>

#include "rtl/variant.h"
#include "ui/check_mark.h"
#include "ui/db_grid.h"
#include "ui/db_lookup_combo_box.h"
#include "ui/event_guard.h"
#include "ui/key_press_line_edit.h"
#include "ui/message_boxes.h"
#include "ui/upper_case_validator.h"
#include "ui/window_fonts.h"
#include "ui/window_placement.h"

namespace varelum::ui {

namespace {

const QString WindowCaption = QStringLiteral("Conferência de Estoque");
const QString CodigoDoProduto = QStringLiteral("Código do Produto");
const QString Finalizar = QStringLiteral("Finalizar");
const QString F2Hint = QStringLiteral("F2 = Abrir Conferência");
const QString F4Hint = QStringLiteral("F4 = Fechar Conferência");

// The product chooser lists the products by their code, which is also its key.
constexpr const char* ProductKeyField = "CodProduto";

// The columns of both grids of reads.
std::vector<TDBGridColumn> ReadColumns() {
    return {
        {"codgrupo", QStringLiteral("Cód. Grupo"), 0, Qt::AlignCenter},
        {"codproduto", QStringLiteral("Cód. Produto"), 120, Qt::AlignCenter},
    };
}

QPalette WithTextColour(QPalette palette, const QColor& colour) {
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    return palette;
}

// The key code FormKeyDown knows a key by (the desktop's virtual-key numbering: F1 is 112,
// letters and digits their upper-case character); 0 for keys it has no code for.
std::uint16_t VirtualKeyCode(const QKeyEvent& event) {
    const int key = event.key();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return static_cast<std::uint16_t>(112 + (key - Qt::Key_F1));
    }
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return static_cast<std::uint16_t>(key);
    }
    switch (key) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        default:
            return 0;
    }
}

// A label that sizes itself to its text, as the window's counters do.
void SetAutoSizedText(QLabel& label, const std::string& text) {
    label.setText(QString::fromStdString(text));
    label.adjustSize();
}

}  // namespace

TConferenciaEstoqueWindow::TConferenciaEstoqueWindow(count::TConferenciaEstoqueStore& store,
                                                     TMessageBoxes& boxes,
                                                     std::string applicationTitle,
                                                     std::function<void()> requestTerminate,
                                                     count::TSenhaAcessoDialogFactory* dialogs,
                                                     QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      FBoxes(boxes),
      FApplicationTitle(std::move(applicationTitle)),
      FRequestTerminate(std::move(requestTerminate)),
      FOwnDialogs(this) {
    setObjectName(QStringLiteral("ConferenciaEstoqueForm1"));
    setWindowTitle(WindowCaption);
    setFont(DefaultWindowFont());
    setPalette(WithTextColour(palette(), WindowTextColour));
    resize(ConferenciaEstoqueClientWidth, ConferenciaEstoqueClientHeight);

    CreateControls();
    CreateStatusBar();
    CentreOnScreen(*this);

    count::TConferenciaEstoqueView& view = *this;
    FForm = std::make_unique<count::TConferenciaEstoqueForm1>(
        view, store, dialogs != nullptr ? *dialogs : FOwnDialogs, [this] {
            if (FRequestTerminate) {
                FRequestTerminate();
            }
        });
    qApp->installEventFilter(this);
}

// The controls leave the data sources before the count's handlers (which hold the sources) go.
TConferenciaEstoqueWindow::~TConferenciaEstoqueWindow() {
    qApp->removeEventFilter(this);
    FDBLookupComboBox1->SetListSource(nullptr);
    FDBGrid1->SetDataSource(nullptr);
    FDBGrid2->SetDataSource(nullptr);
    FForm.reset();
}

void TConferenciaEstoqueWindow::CreateControls() {
    const QPalette black = WithTextColour(palette(), WindowTextColour);
    const QFont bold = Bold(DefaultWindowFont());

    FLabel1 = new QLabel(CodigoDoProduto, this);
    FLabel1->setObjectName(QStringLiteral("Label1"));
    FLabel1->setGeometry(15, 13, 115, 13);
    FLabel1->setPalette(black);

    FDBLookupComboBox1 = new TDBLookupComboBox(this);
    FDBLookupComboBox1->setObjectName(QStringLiteral("DBLookupComboBox1"));
    FDBLookupComboBox1->setGeometry(15, 27, 115, 21);
    FDBLookupComboBox1->OnClick = [this] {
        if (FForm) {
            FForm->DBLookupComboBox1Click();
        }
    };

    FLabel3 = new QLabel(CodigoDoProduto, this);
    FLabel3->setObjectName(QStringLiteral("Label3"));
    FLabel3->setGeometry(185, 13, 180, 13);
    FLabel3->setPalette(black);

    FEdit1 = new TKeyPressLineEdit(this);
    FEdit1->setObjectName(QStringLiteral("Edit1"));
    FEdit1->setGeometry(185, 27, 180, 22);
    FEdit1->setFont(MonospacedFont());
    FEdit1->setPalette(black);
    FEdit1->setValidator(new TUpperCaseValidator(FEdit1));
    FEdit1->setEnabled(false);
    FEdit1->OnKeyPress = [this](char32_t key) {
        if (FForm) {
            FForm->Edit1KeyPress(key);
        }
    };

    FLabel2 = new QLabel(this);
    FLabel2->setObjectName(QStringLiteral("Label2"));
    FLabel2->move(15, 51);
    FLabel2->setFont(bold);
    FLabel2->setPalette(black);

    FDBGrid1 = new TDBGrid(this);
    FDBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    FDBGrid1->setGeometry(13, 72, 255, 300);
    FDBGrid1->SetColumns(ReadColumns());

    FDBGrid2 = new TDBGrid(this);
    FDBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    FDBGrid2->setGeometry(277, 72, 275, 300);
    FDBGrid2->SetCellFont(bold);
    FDBGrid2->SetCellColour(WrongReadsColour);
    FDBGrid2->SetColumns(ReadColumns());

    FLabel4 = new QLabel(this);
    FLabel4->setObjectName(QStringLiteral("Label4"));
    FLabel4->move(13, 376);
    FLabel4->setFont(bold);
    FLabel4->setPalette(WithTextColour(palette(), CorrectReadsColour));

    FLabel5 = new QLabel(this);
    FLabel5->setObjectName(QStringLiteral("Label5"));
    FLabel5->move(277, 376);
    FLabel5->setFont(bold);
    FLabel5->setPalette(WithTextColour(palette(), WrongReadsColour));

    FSpeedButton1 = new QPushButton(CheckMarkIcon(), Finalizar, this);
    FSpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    FSpeedButton1->setGeometry(476, 376, 75, 25);
    FSpeedButton1->setIconSize(QSize(CheckMarkSize, CheckMarkSize));
    FSpeedButton1->setPalette(black);
    FSpeedButton1->setFocusPolicy(Qt::NoFocus);
    FSpeedButton1->setAutoDefault(false);
    connect(FSpeedButton1, &QPushButton::clicked, this,
            [this] { RunEventHandler([this] { FForm->SpeedButton1Click(); }); });

    for (QLabel* label : {FLabel1, FLabel2, FLabel3, FLabel4, FLabel5}) {
        label->setFocusPolicy(Qt::NoFocus);
    }
    setTabOrder(FDBLookupComboBox1, FEdit1);
    setTabOrder(FEdit1, FDBGrid1);
    setTabOrder(FDBGrid1, FDBGrid2);
}

void TConferenciaEstoqueWindow::CreateStatusBar() {
    FStatusBar1 = new QStatusBar(this);
    FStatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    FStatusBar1->setFocusPolicy(Qt::NoFocus);
    FStatusBar1->setSizeGripEnabled(true);
    const std::array<QString, StatusPanelCount> texts{F2Hint, F4Hint, QString()};
    const std::array<Qt::Alignment, StatusPanelCount> alignments{Qt::AlignCenter, Qt::AlignCenter,
                                                                 Qt::AlignLeft | Qt::AlignVCenter};
    for (int index = 0; index < StatusPanelCount; ++index) {
        auto* panel = new QLabel(texts[static_cast<std::size_t>(index)], FStatusBar1);
        panel->setAlignment(alignments[static_cast<std::size_t>(index)]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setPalette(WithTextColour(palette(), WindowTextColour));
        // The last panel reaches to the right edge, so that the employee's name is never cut.
        const bool last = index == StatusPanelCount - 1;
        if (last) {
            panel->setMinimumWidth(StatusPanelWidth);
        } else {
            panel->setFixedWidth(StatusPanelWidth);
        }
        FStatusBar1->addWidget(panel, last ? 1 : 0);
        FStatusPanels[static_cast<std::size_t>(index)] = panel;
    }
    FStatusBar1->setGeometry(0, height() - StatusBarHeight, width(), StatusBarHeight);
}

// --- Events ----------------------------------------------------------------------------------

void TConferenciaEstoqueWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window system's own shows (restoring from minimized) are not a new showing.
    if (!event->spontaneous()) {
        RunEventHandler([this] { FForm->FormShow(); });
    }
}

void TConferenciaEstoqueWindow::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    if (!RunEventHandler([&] { FForm->FormCloseQuery(canClose); }) || !canClose) {
        event->ignore();
        return;
    }
    if (!RunEventHandler([this] { FForm->FormClose(); })) {
        event->ignore();
        return;
    }
    event->accept();
    if (FRequestTerminate) {
        FRequestTerminate();
    }
}

// The status bar stays docked at the bottom; every other control keeps its place and size.
void TConferenciaEstoqueWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FStatusBar1->setGeometry(0, height() - StatusBarHeight, width(), StatusBarHeight);
}

// The window has no maximize button and is not to be maximized by other means either (a
// double click on the title, a window-manager key).
void TConferenciaEstoqueWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized)) {
        QTimer::singleShot(0, this,
                           [this] { setWindowState(windowState() & ~Qt::WindowMaximized); });
    }
}

bool TConferenciaEstoqueWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !watched->isWidgetType() ||
        !FForm) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this) {
        return false;
    }
    if (type == QEvent::KeyRelease) {
        FPreviewedKey = nullptr;
        FPreviewedReceiver = nullptr;
        return false;
    }
    // A key the control leaves unhandled travels on to its parents, and this filter sees it at
    // each of them: the window previews it once, at its first receiver.
    if (event == FPreviewedKey && FPreviewedReceiver != nullptr && FPreviewedReceiver != widget &&
        widget->isAncestorOf(FPreviewedReceiver)) {
        FPreviewedReceiver = widget;
        return false;
    }
    FPreviewedKey = event;
    FPreviewedReceiver = widget;
    const std::uint16_t key = VirtualKeyCode(*static_cast<QKeyEvent*>(event));
    if (key == 0) {
        return false;
    }
    // The key goes on to the control unless the handler ended in an error or the silent abort,
    // which end the handling of the key as a whole.
    return !RunEventHandler([this, key] { FForm->FormKeyDown(key); });
}

// --- The view --------------------------------------------------------------------------------

void TConferenciaEstoqueWindow::BindDataSources(db::TDataSource& DataSource1,
                                                db::TDataSource& DataSource2,
                                                db::TDataSource& DataSource3) {
    FDBLookupComboBox1->SetKeyField(ProductKeyField);
    FDBLookupComboBox1->SetListField(ProductKeyField);
    FDBLookupComboBox1->SetListSource(&DataSource1);
    FDBGrid1->SetDataSource(&DataSource2);
    FDBGrid2->SetDataSource(&DataSource3);
}

std::string TConferenciaEstoqueWindow::Edit1Text() const {
    return FEdit1->text().toStdString();
}

void TConferenciaEstoqueWindow::SetEdit1Text(const std::string& text) {
    FEdit1->setText(QString::fromStdString(text));
}

void TConferenciaEstoqueWindow::SetEdit1Enabled(bool enabled) {
    FEdit1->setEnabled(enabled);
}

void TConferenciaEstoqueWindow::FocusEdit1() {
    FEdit1->setFocus(Qt::OtherFocusReason);
}

std::string TConferenciaEstoqueWindow::DBLookupComboBox1Text() const {
    return FDBLookupComboBox1->Text();
}

void TConferenciaEstoqueWindow::ClearDBLookupComboBox1KeyValue() {
    FDBLookupComboBox1->SetKeyValue(rtl::Variant::Null());
}

void TConferenciaEstoqueWindow::SetDBLookupComboBox1Enabled(bool enabled) {
    FDBLookupComboBox1->setEnabled(enabled);
}

void TConferenciaEstoqueWindow::FocusDBLookupComboBox1() {
    FDBLookupComboBox1->setFocus(Qt::OtherFocusReason);
}

void TConferenciaEstoqueWindow::SetLabel2Caption(const std::string& caption) {
    SetAutoSizedText(*FLabel2, caption);
}

void TConferenciaEstoqueWindow::SetLabel4Caption(const std::string& caption) {
    SetAutoSizedText(*FLabel4, caption);
}

void TConferenciaEstoqueWindow::SetLabel5Caption(const std::string& caption) {
    SetAutoSizedText(*FLabel5, caption);
}

void TConferenciaEstoqueWindow::SetStatusBar1PanelText(int index, const std::string& text) {
    StatusPanel(index)->setText(QString::fromStdString(text));
}

void TConferenciaEstoqueWindow::ShowNotice(const std::string& text) {
    FBoxes.ShowNotice(FApplicationTitle, text);
}

void TConferenciaEstoqueWindow::SetWindowStateNormal() {
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
}

}  // namespace varelum::ui
