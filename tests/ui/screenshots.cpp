// ui_screenshots: walks one stock count through the real windows on the count's in-memory test
// store and saves pictures of them, so that a person can look at what an employee sees. Run it
// on a real display (scripts/screenshots starts it under Xvfb); it writes its PNGs into the
// folder given as its one argument and prints each file's path.
//
// The walk: the window at start; F2 and the password dialog with a password typed; a product
// chosen; two correct reads and one wrong read; "Finalizar", refused with its notice.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <functional>

#include "count/test_store.h"
#include "db/dataset.h"
#include "rtl/exception.h"
#include "ui/conferencia_estoque_window.h"
#include "ui/db_lookup_combo_box.h"
#include "ui/key_press_line_edit.h"
#include "ui/message_boxes.h"
#include "ui/senha_acesso_window.h"

namespace {

using varelum::ui::TConferenciaEstoqueWindow;
using varelum::ui::TSenhaAcessoWindow;

QDir Output;
int Failures = 0;

void Settle() {
    QTest::qWait(50);
}

void Save(const QPixmap& picture, const char* name) {
    const QString path = Output.filePath(QString::fromLatin1(name));
    if (!picture.save(path, "PNG")) {
        std::fprintf(stderr, "ui_screenshots: cannot write %s\n", qPrintable(path));
        ++Failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// The widget as drawn, and the screen around it (with its title bar when a window manager
// draws one).
void SaveWindow(QWidget& window, const char* name) {
    window.repaint();
    Settle();
    Save(window.grab(), name);
}

// Runs `script` on the next modal window once it is up and active.
void WhenModalShown(std::function<void(QWidget&)> script) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, script = std::move(script)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        if (!QTest::qWaitForWindowExposed(modal)) {
            ++Failures;
        }
        Settle();
        script(*modal);
    });
    poll->start();
}

// Gives the window the keyboard, as a desktop does when a dialog in front of it has gone.
void Activate(QWidget& window) {
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) {
        std::fprintf(stderr, "ui_screenshots: the window did not become active\n");
    }
    Settle();
}

void Type(QWidget* widget, const QString& text) {
    QTest::keyClicks(widget, text);
    Settle();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui_screenshots FOLDER\n");
        return 2;
    }
    Output = QDir(QString::fromLocal8Bit(argv[1]));
    if (!Output.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "ui_screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    varelum::db::SetApplicationExceptionHandler([](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const varelum::rtl::EAbort&) {
            // The silent abort after a notice.
        } catch (const std::exception& other) {
            std::fprintf(stderr, "ui_screenshots: %s\n", other.what());
            ++Failures;
        }
    });

    varelum::count::testing::TTestStore store;
    store.Products = {
        {"01", "ABC123", "7891000100103", 3},
        {"01", "ABC124", "7891000100110", 5},
        {"02", "LAMP-60W", "7891000200200", 12},
        {"03", "XYZ9", "7891000300307", 2},
    };
    store.Staff = {{"SENHA1", "JOSE DA SILVA"}};
    varelum::ui::TQtMessageBoxes boxes;
    TConferenciaEstoqueWindow window(store, boxes, "Varelum", [] {});
    window.show();
    Activate(window);
    SaveWindow(window, "01-inicio.png");

    // F2: the password dialog, with the password typed (shown as stars).
    WhenModalShown([&](QWidget& modal) {
        auto& dialog = dynamic_cast<TSenhaAcessoWindow&>(modal);
        Type(dialog.Edit1(), QStringLiteral("senha1"));
        SaveWindow(dialog, "02-senha-de-acesso.png");
        Save(dialog.screen()->grabWindow(0), "02-senha-de-acesso-tela.png");
        QTest::mouseClick(dialog.BitBtn1(), Qt::LeftButton);
    });
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window,
                    Qt::Key_F2);
    Activate(window);

    // A product, two correct reads and one wrong one.
    window.DBLookupComboBox1()->setFocus();
    Type(window.DBLookupComboBox1(), QStringLiteral("ABC123"));
    for (const QString& code :
         {QStringLiteral("abc123"), QStringLiteral("ABC123"), QStringLiteral("xyz9")}) {
        Type(window.Edit1(), code);
        QTest::keyClick(window.Edit1(), Qt::Key_Return);
        Settle();
    }
    SaveWindow(window, "03-conferencia.png");
    Save(window.screen()->grabWindow(0), "03-conferencia-tela.png");

    // "Finalizar" refuses a count with wrong reads: the notice.
    WhenModalShown([&](QWidget& modal) {
        SaveWindow(modal, "04-aviso.png");
        if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        } else {
            modal.close();
        }
    });
    QTest::mouseClick(window.SpeedButton1(), Qt::LeftButton);
    Settle();

    // F4 throws the count away, so that the window may close.
    Activate(window);
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window,
                    Qt::Key_F4);
    window.close();
    varelum::db::SetApplicationExceptionHandler(nullptr);
    return Failures == 0 ? 0 : 1;
}
