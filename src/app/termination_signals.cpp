// Ending signals through a self-pipe into the main loop.
#include "app/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <system_error>

namespace varelum::app {

namespace {

constexpr std::array<int, 3> EndingSignals = {SIGTERM, SIGINT, SIGHUP};

// The pipe's ends; -1 while no instance exists. Read by the handler, hence plain ints.
int gSignalPipeRead = -1;
volatile sig_atomic_t gSignalPipeWrite = -1;

void OnEndingSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds an unread request; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t written = write(gSignalPipeWrite, &byte, 1);
    errno = savedErrno;
}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

}  // namespace

TTerminationSignals::TTerminationSignals(std::function<void()> onSignal)
    : FOnSignal(std::move(onSignal)) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create the signal pipe");
    }
    gSignalPipeRead = ends[0];
    gSignalPipeWrite = ends[1];
    FNotifier = std::make_unique<QSocketNotifier>(gSignalPipeRead, QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] { ReadSignals(); });
    for (const int signal : EndingSignals) {
        SetHandler(signal, OnEndingSignal);
    }
}

TTerminationSignals::~TTerminationSignals() {
    for (const int signal : EndingSignals) {
        SetHandler(signal, SIG_DFL);
    }
    FNotifier.reset();
    close(gSignalPipeWrite);
    close(gSignalPipeRead);
    gSignalPipeWrite = -1;
    gSignalPipeRead = -1;
}

void TTerminationSignals::ReadSignals() {
    // Signals that came together make one request: a refused close would otherwise be
    // refused (with its notice) once per signal.
    char bytes[16];
    bool received = false;
    while (read(gSignalPipeRead, bytes, sizeof bytes) > 0) {
        received = true;
    }
    if (received) {
        FOnSignal();
    }
}

}  // namespace varelum::app
