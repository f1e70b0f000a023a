#include "platform/rbframework/gui/dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace rb {

namespace {

class DesktopDialogs final : public Dialogs {
  public:
    void msgBox(const String& text) override {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(),
                        QString::fromStdString(text.toUtf8()), QMessageBox::Ok,
                        QApplication::activeWindow());
        box.setAccessibleName(box.text());
        box.exec();
    }
    void beep() override { QApplication::beep(); }
};

Dialogs* gReplacement = nullptr;

}  // namespace

namespace detail {
Dialogs& dialogs() {
    static DesktopDialogs desktop;
    return gReplacement ? *gReplacement : desktop;
}
void setDialogs(Dialogs* replacement) {
    gReplacement = replacement;
}
}  // namespace detail

void MsgBox(const String& text) {
    detail::dialogs().msgBox(text);
}
void Beep() {
    detail::dialogs().beep();
}

}  // namespace rb
