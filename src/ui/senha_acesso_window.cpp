// The password dialog's widgets, laid out at the fixed positions of its design, and the seams
// through which the dialog's logic reads and writes them.
#include "ui/senha_acesso_window.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "ui/check_mark.h"
#include "ui/upper_case_validator.h"
#include "ui/window_fonts.h"
#include "ui/window_placement.h"

namespace varelum::ui {

namespace {

// The password character is fixed: every character shows as "*", whatever the style's own.
constexpr const char* PasswordFieldStyle = "QLineEdit { lineedit-password-character: 42; }";

}  // namespace

TSenhaAcessoWindow::TSenhaAcessoWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      FLabel1(new QLabel(QStringLiteral("Senha:"), this)),
      FEdit1(new QLineEdit(this)),
      FBitBtn1(new QPushButton(QStringLiteral("&OK"), this)) {
    setObjectName(QStringLiteral("SenhaAcessoForm1"));
    setWindowTitle(QStringLiteral("Senha de Acesso"));
    setFont(DefaultWindowFont());
    setModal(true);
    resize(SenhaAcessoClientWidth, SenhaAcessoClientHeight);

    QPalette text = palette();
    text.setColor(QPalette::WindowText, WindowTextColour);
    text.setColor(QPalette::Text, WindowTextColour);
    text.setColor(QPalette::ButtonText, WindowTextColour);

    FLabel1->setObjectName(QStringLiteral("Label1"));
    FLabel1->setPalette(text);
    FLabel1->move(14, 25);
    FLabel1->adjustSize();

    FEdit1->setObjectName(QStringLiteral("Edit1"));
    FEdit1->setGeometry(54, 17, 120, 22);
    FEdit1->setFont(MonospacedFont());
    FEdit1->setPalette(text);
    FEdit1->setEchoMode(QLineEdit::Password);
    FEdit1->setStyleSheet(QString::fromLatin1(PasswordFieldStyle));
    FEdit1->setValidator(new TUpperCaseValidator(FEdit1));

    FBitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    FBitBtn1->setGeometry(96, 47, 75, 25);
    FBitBtn1->setPalette(text);
    FBitBtn1->setIcon(CheckMarkIcon());
    FBitBtn1->setIconSize(QSize(CheckMarkSize, CheckMarkSize));
    // Neither the default nor an auto-default button: Enter in the password field presses
    // nothing.
    FBitBtn1->setAutoDefault(false);
    FBitBtn1->setDefault(false);
    connect(FBitBtn1, &QPushButton::clicked, this, [this] { FForm.BitBtn1Click(); });

    setTabOrder(FEdit1, FBitBtn1);
}

TSenhaAcessoWindow::~TSenhaAcessoWindow() = default;

void TSenhaAcessoWindow::ShowModal() {
    CentreOnScreen(*this);
    exec();
}

void TSenhaAcessoWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A show that the window system reports (restoring a minimized window) is not a new showing.
    if (!event->spontaneous()) {
        FForm.FormShow();
    }
}

void TSenhaAcessoWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

std::string TSenhaAcessoWindow::Edit1Text() const {
    return FEdit1->text().toStdString();
}

void TSenhaAcessoWindow::SetEdit1Text(const std::string& text) {
    FEdit1->setText(QString::fromStdString(text));
}

void TSenhaAcessoWindow::FocusEdit1() {
    FEdit1->setFocus(Qt::OtherFocusReason);
}

void TSenhaAcessoWindow::CloseModal() {
    done(QDialog::Accepted);
}

}  // namespace varelum::ui
