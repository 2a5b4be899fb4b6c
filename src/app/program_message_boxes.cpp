// The program's boxes on Qt, or on standard error where nobody can answer them.
#include "app/program_message_boxes.h"

#include <QGuiApplication>
#include <QString>

#include <cstdlib>
#include <iostream>

#include "app/qt_application.h"

namespace varelum::app {

namespace {

bool PlatformWithoutUser() {
    if (QGuiApplication::instance() == nullptr) {
        return false;
    }
    const QString platform = QGuiApplication::platformName();
    return platform == QStringLiteral("offscreen") || platform == QStringLiteral("minimal");
}

std::string OneLine(const std::string& text) {
    std::string line;
    for (const char character : text) {
        if (character == '\n') {
            line += "\\n";
        } else if (character != '\r') {
            line += character;
        }
    }
    return line;
}

void Report(const char* kind, const std::string& caption, const std::string& text) {
    std::cerr << kind << ": " << OneLine(caption) << ": " << OneLine(text) << std::endl;
}

}  // namespace

bool MessageBoxesToStandardError() {
    const char* setting = std::getenv(MessageBoxesVariable);
    if (setting != nullptr && std::string(setting) == "stderr") {
        return true;
    }
    return PlatformWithoutUser();
}

void ReportWindowShown(const std::string& title) {
    if (MessageBoxesToStandardError()) {
        std::cerr << "window shown: " << OneLine(title) << std::endl;
    }
}

void TProgramMessageBoxes::ShowNotice(const std::string& caption, const std::string& text) {
    if (MessageBoxesToStandardError()) {
        Report("notice", caption, text);
    } else {
        ui::TQtMessageBoxes().ShowNotice(caption, text);
    }
}

void TProgramMessageBoxes::ShowError(const std::string& caption, const std::string& text) {
    if (MessageBoxesToStandardError()) {
        Report("error", caption, text);
    } else {
        ui::TQtMessageBoxes().ShowError(caption, text);
    }
}

void TProgramMessageBoxes::ShowErrorBox(const std::string& caption, const std::string& text) {
    ShowError(caption, text);
}

void TProgramMessageBoxes::ShowTaskModalErrorBox(const std::string& caption,
                                                 const std::string& text) {
    if (MessageBoxesToStandardError()) {
        Report("application error", caption, text);
    } else {
        TQtMessageBoxShower().ShowTaskModalErrorBox(caption, text);
    }
}

}  // namespace varelum::app
