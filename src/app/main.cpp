// varelum: the stock-count program. Brings up the Qt application, builds the main window from
// its stored layout over the shop's store (the alias BALDERIM of ads.ini), shows it and runs
// the guarded main loop until the window closes or a second copy hands over; then destroys
// the window and its components and closes the shared engine connections. Exit code 0 after a
// normal end (a second copy's too), 1 when the main window cannot be built.
#include <QGuiApplication>
#include <QIcon>

#include <memory>
#include <utility>
#include <vector>

#include "ads/adsdata_registry.h"
#include "app/conferencia_estoque_main_form.h"
#include "app/krel_one_instance.h"
#include "app/program_message_boxes.h"
#include "app/program_modules.h"
#include "app/qt_application.h"
#include "app/qt_top_level_windows.h"
#include "app/start_up.h"
#include "app/termination_signals.h"

int main(int argc, char** argv) {
    using namespace varelum::app;

    TProgramMessageBoxes boxes;
    int exitCode = ExitCodeSuccess;
    {
        TQtApplication qtApplication(argc, argv, boxes);
        // The program ends by its quit request only (the window's close asks for it), never
        // because Qt saw its last window go.
        qtApplication.setQuitOnLastWindowClosed(false);
        // Ties the window to the installed menu entry, varelum.desktop, and its icon (none
        // when run from the build folder, where the icon theme does not know it).
        QGuiApplication::setDesktopFileName(QStringLiteral("varelum"));
        QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("varelum")));
        TQtTopLevelWindows windows;

        TProgram program;
        program.Modules = ProgramModules();

        // Valid while the loop runs; an ending signal then asks the window to close.
        TConferenciaEstoqueMainForm* mainForm = nullptr;
        TTerminationSignals endingSignals([&mainForm] {
            if (mainForm != nullptr) {
                mainForm->RequestClose();
            }
        });

        program.CreateMainForm = [&](TApplication& application) -> std::unique_ptr<TMainForm> {
            auto form = std::make_unique<TConferenciaEstoqueMainForm>(
                application, windows,
                [&program](int haltCode) { HaltProgram(program.Modules, haltCode); }, boxes);
            mainForm = form.get();
            return form;
        };
        program.RunLoop = [&] {
            qtApplication.RunLoop();
            mainForm = nullptr;
        };
        exitCode = RunProgram(qtApplication.Application(), program);
    }
    // Only now that the window and its datasets are gone: the shared connections they used
    // stay open until the program's end, and an exit handler would run too late for the
    // engine.
    varelum::ads::DynamicConnections().DisconnectAll();
    return exitCode;
}
