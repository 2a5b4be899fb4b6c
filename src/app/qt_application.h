// The main loop on Qt: a QApplication whose notify() dispatches every event inside the
// application object's guard, so that no exception crosses Qt's event loop, and which carries
// the quit request as a queued event. Message boxes go through TQtMessageBoxShower.
#pragma once

#include <QApplication>
#include <QEvent>

#include "app/application.h"

namespace varelum::app {

// Shows the shell's boxes as QMessageBox: critical icon, one OK button.
class TQtMessageBoxShower : public TMessageBoxShower {
  public:
    void ShowErrorBox(const std::string& caption, const std::string& text) override;
    void ShowTaskModalErrorBox(const std::string& caption, const std::string& text) override;
};

class TQtApplication : public QApplication, private TEventLoopHost {
  public:
    // `boxes` must outlive the application. argc and argv as QApplication requires (argc must
    // stay valid for the application's life).
    TQtApplication(int& argc, char** argv, TMessageBoxShower& boxes);
    ~TQtApplication() override;

    TApplication& Application() { return FApplication; }

    // Every event goes through here: an exception escaping its handler is reported by the
    // application object and the event counts as not handled.
    bool notify(QObject* receiver, QEvent* event) override;

    // Runs the loop until it takes the quit request; returns at once if the request was taken
    // already.
    void RunLoop();

  protected:
    bool event(QEvent* event) override;

  private:
    void PostQuitRequest() override;
    void CancelMouseCapture() override;

    TApplication FApplication;
};

}  // namespace varelum::app
