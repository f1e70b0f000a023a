// The runtime's Date: a moment in local time, as text in the user's short formats. Where the
// current moment comes from sits behind an interface, so that a test can fix it (testing.h).
#pragma once

#include <QDateTime>

#include "platform/rbframework/object.h"
#include "platform/rbframework/rbstring.h"

namespace rb {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual QDateTime now() = 0;
};

class Date final : public Object {
  public:
    // The current date and time.
    Date();
    explicit Date(QDateTime moment) : moment_(std::move(moment)) {}

    // The time and the date in the short formats of the user's locale.
    String ShortTime() const;
    String ShortDate() const;
    const QDateTime& moment() const noexcept { return moment_; }

  private:
    QDateTime moment_;
};

namespace detail {
// The clock in use: the system's unless a test put another in its place.
Clock& clock();
void setClock(Clock* replacement);  // null restores the system's
}  // namespace detail

}  // namespace rb
