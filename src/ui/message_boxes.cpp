// QMessageBox realisation of the program's notices and error boxes.
#include "ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace varelum::ui {

void ShowModalMessageBox(QWidget* parent, bool error, const std::string& caption,
                         const std::string& text) {
    QMessageBox box(error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

namespace {

// The modal dialog in front (the password dialog, say) before the plain active window.
QWidget* BoxParent() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    return QApplication::activeWindow();
}

}  // namespace

void TQtMessageBoxes::ShowNotice(const std::string& caption, const std::string& text) {
    ShowModalMessageBox(BoxParent(), false, caption, text);
}

void TQtMessageBoxes::ShowError(const std::string& caption, const std::string& text) {
    ShowModalMessageBox(BoxParent(), true, caption, text);
}

}  // namespace varelum::ui
