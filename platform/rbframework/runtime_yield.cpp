#include "platform/rbframework/runtime_yield.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <chrono>

namespace rb {

void RuntimeYield() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return;
    using Clock = std::chrono::steady_clock;
    constexpr auto kInterval = std::chrono::milliseconds(10);
    static Clock::time_point lastRun, lastCall;
    Clock::time_point now = Clock::now();
    // A call long after the one before begins a new loop: its interval starts now, so a loop
    // shorter than that runs no events at all (a repaint in the middle of a text change is
    // what a short scan must not pay for).
    if (now - lastCall > kInterval) lastRun = now;
    lastCall = now;
    if (now - lastRun < kInterval) return;
    lastRun = now;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void RuntimeBackgroundTasks() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace rb
