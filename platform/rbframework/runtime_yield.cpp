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
    static Clock::time_point last;
    Clock::time_point now = Clock::now();
    if (now - last < std::chrono::milliseconds(10)) return;
    last = now;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace rb
