// The program's answer to the signals that ask a process to end (SIGTERM, SIGINT from the
// terminal's Ctrl+C, SIGHUP when the terminal goes): each becomes a request to close the main
// window, handled by the main loop like a click on the window's close button. So the program
// ends the ordinary way (its count's close rules apply, its modules are finalised, its
// connections closed); with reads in the window the close is refused with the usual notice.
//
// The signal handler only writes a byte to a pipe (all it may safely do); the loop reads it.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace varelum::app {

class TTerminationSignals final : public QObject {
  public:
    // Installs the handlers; `onSignal` runs on the loop's thread, once for all the signals
    // received since it last ran.
    // One instance at a time. REQUIRES: a QCoreApplication exists.
    explicit TTerminationSignals(std::function<void()> onSignal);
    // Restores the default actions.
    ~TTerminationSignals() override;

    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

  private:
    void ReadSignals();

    std::function<void()> FOnSignal;
    std::unique_ptr<QSocketNotifier> FNotifier;
};

}  // namespace varelum::app
