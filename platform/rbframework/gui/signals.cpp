#include "platform/rbframework/gui/signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <cerrno>

#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/runtime.h"

namespace rb::detail {

namespace {

constexpr std::array<int, 3> kQuitSignals = {SIGTERM, SIGINT, SIGHUP};

// A signal handler may do almost nothing: it writes one byte into a pipe, and the GUI thread's
// event loop, watching the other end, does the quitting.
int gPipe[2] = {-1, -1};
QSocketNotifier* gNotifier = nullptr;

extern "C" void onQuitSignal(int) {
    int saved = errno;
    char byte = 1;
    // A full pipe already holds a request; nothing is lost by dropping this one.
    [[maybe_unused]] ssize_t n = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

void drain() {
    char buffer[64];
    while (::read(gPipe[0], buffer, sizeof buffer) > 0) {
    }
}

}  // namespace

void watchQuitSignals() {
    if (gNotifier) return;
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(gNotifier, &QSocketNotifier::activated, gNotifier, [] {
        drain();
        // A second request while quitting finds Quit already under way.
        RunGuarded([] { Quit(0); });
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kQuitSignals) sigaction(s, &action, nullptr);
}

void unwatchQuitSignals() {
    if (!gNotifier) return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s : kQuitSignals) sigaction(s, &action, nullptr);
    delete gNotifier;
    gNotifier = nullptr;
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

}  // namespace rb::detail
