#include "platform/rbframework/runtime_yield.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>

namespace rb {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kInterval = std::chrono::milliseconds(10);

detail::YieldClock& clock() {
    static detail::YieldClock c;
    return c;
}
Clock::time_point now() {
    return clock() ? clock()() : Clock::now();
}

// A loop is the work of one handler: it begins with the first yield after the event loop last
// waited for events. Time alone cannot tell two loops apart: a thread descheduled in the
// middle of one loop would seem to have begun another.
bool gLoopBegins = true;
Clock::time_point gLastRun;
QPointer<QAbstractEventDispatcher> gWatched;

void watchEventLoop(QAbstractEventDispatcher* dispatcher) {
    if (!dispatcher || gWatched == dispatcher) return;
    gWatched = dispatcher;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher,
                     [] { gLoopBegins = true; });
    gLoopBegins = true;
}

}  // namespace

void RuntimeYield() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return;
    watchEventLoop(QAbstractEventDispatcher::instance(app->thread()));
    Clock::time_point t = now();
    if (gLoopBegins) {
        // A loop shorter than the interval runs no events at all (a repaint in the middle of
        // a text change is what a short scan must not pay for).
        gLoopBegins = false;
        gLastRun = t;
        return;
    }
    if (t - gLastRun < kInterval) return;
    gLastRun = t;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void RuntimeBackgroundTasks() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

namespace detail {
void setYieldClock(YieldClock c) {
    clock() = std::move(c);
}
}  // namespace detail

}  // namespace rb
