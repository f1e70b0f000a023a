#include "platform/rbframework/gui/show_url.h"

#include <QDesktopServices>
#include <QUrl>

namespace rb {

namespace {

class DesktopUrlOpener final : public UrlOpener {
  public:
    // Strict parsing: an address that is not well formed is not guessed at.
    void open(const String& url) override {
        QUrl u(QString::fromStdString(url.toUtf8()), QUrl::StrictMode);
        if (u.isValid() && !u.scheme().isEmpty()) QDesktopServices::openUrl(u);
    }
};

UrlOpener* gReplacement = nullptr;

}  // namespace

namespace detail {
UrlOpener& urlOpener() {
    static DesktopUrlOpener desktop;
    return gReplacement ? *gReplacement : desktop;
}
void setUrlOpener(UrlOpener* replacement) {
    gReplacement = replacement;
}
}  // namespace detail

void ShowURL(const String& url) {
    detail::urlOpener().open(url);
}

}  // namespace rb
