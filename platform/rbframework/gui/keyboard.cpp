#include "platform/rbframework/gui/keyboard.h"

#include <QApplication>
#include <QKeyEvent>

#include <set>

namespace rb {

const KeyboardObject Keyboard{};

namespace {

int qtKeyFor(int32_t code) {
    switch (code) {
        case 0x33:
            return Qt::Key_Backspace;
        case 0x75:
            return Qt::Key_Delete;
        default:
            return 0;
    }
}

// Keys are followed from the key events the application receives; a key repeating while held
// stays down until its last release. Shift is asked of the window system, which knows the keys'
// state now, while the application is not active (its key events go elsewhere) and once when it
// becomes active; from then on its events tell. Asking is a round trip to the display server,
// and programs ask from timers many times a second.
class DesktopKeyboard final : public KeyboardState, public QObject {
  public:
    bool isDown(int32_t code) override {
        if (code == 0x38 || code == 0x3C) {
            if (!shiftFollowed_ || QGuiApplication::applicationState() != Qt::ApplicationActive) {
                shiftFollowed_ = QGuiApplication::applicationState() == Qt::ApplicationActive;
                shiftDown_ = QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier;
            }
            return shiftDown_;
        }
        int key = qtKeyFor(code);
        return key && down_.count(key);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (e->type() == QEvent::KeyPress)
                down_.insert(k->key());
            else if (!k->isAutoRepeat())
                down_.erase(k->key());
            if (k->key() != Qt::Key_Shift)
                shiftDown_ = k->modifiers() & Qt::ShiftModifier;
            else if (e->type() == QEvent::KeyPress || !k->isAutoRepeat())
                shiftDown_ = e->type() == QEvent::KeyPress;
        } else if (e->type() == QEvent::ApplicationDeactivate ||
                   e->type() == QEvent::ApplicationActivate) {
            down_.clear();  // releases that go to another program are never seen
            shiftFollowed_ = false;
        }
        return QObject::eventFilter(watched, e);
    }

  private:
    std::set<int> down_;
    bool shiftFollowed_ = false, shiftDown_ = false;
};

DesktopKeyboard& desktop() {
    static DesktopKeyboard* keyboard = new DesktopKeyboard;  // lives as long as the process
    return *keyboard;
}

KeyboardState* gReplacement = nullptr;

}  // namespace

bool KeyboardObject::AsyncKeyDown(int32_t code) const {
    return gReplacement ? gReplacement->isDown(code) : desktop().isDown(code);
}

namespace detail {
void watchKeyboard() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(&desktop());
}
void setKeyboardState(KeyboardState* replacement) {
    gReplacement = replacement;
}
}  // namespace detail

}  // namespace rb
