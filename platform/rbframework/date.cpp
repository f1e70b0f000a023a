#include "platform/rbframework/date.h"

#include <QLocale>

namespace rb {

namespace {
class SystemClock final : public Clock {
  public:
    QDateTime now() override { return QDateTime::currentDateTime(); }
};
Clock* gReplacement = nullptr;

String fromQ(const QString& s) {
    return String(s.toStdString());
}
}  // namespace

namespace detail {
Clock& clock() {
    static SystemClock system;
    return gReplacement ? *gReplacement : system;
}
void setClock(Clock* replacement) {
    gReplacement = replacement;
}
}  // namespace detail

Date::Date() : moment_(detail::clock().now()) {}

String Date::ShortTime() const {
    return fromQ(QLocale::system().toString(moment_.time(), QLocale::ShortFormat));
}

String Date::ShortDate() const {
    return fromQ(QLocale::system().toString(moment_.date(), QLocale::ShortFormat));
}

}  // namespace rb
