#include "platform/rbframework/gui/window.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include <algorithm>

#include "platform/rbframework/gui/accessible_window.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/progress_bar.h"
#include "platform/rbframework/gui/runtime.h"

namespace rb {

// The content area: controls are placed in it by coordinates, and its resizing applies locks.
class ContentWidget final : public QWidget {
  public:
    ContentWidget(Window* owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    Window* owner_;
};

class WindowWidget final : public QMainWindow {
  public:
    explicit WindowWidget(Window* owner) : owner_(owner) {
        setCentralWidget(new ContentWidget(owner, this));
    }

  protected:
    void closeEvent(QCloseEvent* e) override {
        owner_->closed();
        e->accept();
    }

  private:
    Window* owner_;
};

void ContentWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    owner_->contentResized(e->size());
}

namespace detail {
std::vector<Ref<Window>>& openWindows() {
    static std::vector<Ref<Window>> windows;
    return windows;
}
}  // namespace detail

Window* _GetImplicitWindow(std::string_view className) {
    for (const auto& w : detail::openWindows())
        if (w->isOpen() && className == w->className()) return w.get();
    return nullptr;
}

Window::Window() : widget_(new WindowWidget(this)) {
    InstallWindowAccessibility();
    widget_->setAttribute(Qt::WA_DeleteOnClose, false);
    applySize();
}

Window::~Window() {
    // Widgets first: their signals reach into the controls.
    delete widget_.data();
    controls_.clear();
}

QMainWindow* Window::qwindow() const {
    return widget_;
}
QWidget* Window::content() const {
    return widget_ ? widget_->centralWidget() : nullptr;
}

void Window::Constructor() {
    Layout();
    CreateControls();
    AddMenuHandlers();
    arrangeFocusAndNames();
    addLeavingKeys();
    built_ = true;
    applySize();
    open_ = true;
    detail::openWindows().push_back(Ref<Window>::retain(this));
    if (visibleAtOpen_) Show();
    Ref<Window> self = Ref<Window>::retain(this);
    for (const auto& c : controls_) c->raise(event::Open);
    RunGuarded([this] { Event_Open(); });
}

// Tab order follows TabIndex; a control without a caption of its own (a slider, a progress
// bar) is named, for screen readers, by the label just above it.
void Window::arrangeFocusAndNames() {
    std::vector<Control*> order;
    for (const auto& c : controls_) {
        if (!c->widget()) continue;
        if (!c->TabStop)
            c->widget()->setFocusPolicy(Qt::NoFocus);
        else
            order.push_back(c.get());
    }
    // TabIndex counts within the control's parent: a group box's controls follow the box.
    auto path = [](Control* c) {
        std::vector<int32_t> indices;
        for (; c; c = c->parentControl()) indices.insert(indices.begin(), c->TabIndex);
        return indices;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](Control* a, Control* b) { return path(a) < path(b); });
    for (size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1]->widget(), order[i]->widget());
    // A window opens with the focus on its default button, so that the button a screen reader
    // names first is the one Return presses.
    for (Control* c : order)
        if (auto* b = dynamic_cast<PushButton*>(c);
            b && b->Default() && b->Visible() && b->Enabled()) {
            b->button()->setFocus(Qt::OtherFocusReason);
            break;
        }

    for (const auto& c : controls_) {
        bool uncaptioned = dynamic_cast<Slider*>(c.get()) || dynamic_cast<ProgressBar*>(c.get());
        if (!uncaptioned || !c->widget()->accessibleName().isEmpty()) continue;
        Label* best = nullptr;
        for (const auto& l : controls_) {
            auto* label = dynamic_cast<Label*>(l.get());
            if (!label || label->Top() + label->Height() > c->Top() + 1) continue;
            bool overlaps = label->Left() < c->Left() + c->Width() &&
                            c->Left() < label->Left() + label->Width();
            if (overlaps && (!best || label->Top() > best->Top())) best = label;
        }
        if (best) {
            c->widget()->setAccessibleName(best->label()->text());
            best->label()->setBuddy(c->widget());
        }
    }
}

bool Window::isMainWindow() const {
    Application* app = Application::current();
    return menuBar_ && app && app->menuBar() == menuBar_;
}

namespace {
bool claimsShortcut(const MenuItem& item, const std::string& keys) {
    for (int32_t i = 0; i < item.Count(); ++i) {
        Ref<MenuItem> child = item.Item(i);
        if (child->KeyboardShortcut().toUtf8() == keys || claimsShortcut(*child, keys)) return true;
    }
    return false;
}
}  // namespace

// Escape and Ctrl+W leave a window from inside it as its close box does; without them a user
// who cannot see the frame's buttons is left with the window manager's keys. The main window
// holds the user's work, so neither closes it. A Cancel button takes Escape for its window.
void Window::addLeavingKeys() {
    if (!widget_) return;
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), widget_, [this] {
        for (const auto& c : controls_) {
            auto* b = dynamic_cast<PushButton*>(c.get());
            if (b && b->Cancel() && b->button()->isVisible() && b->button()->isEnabled()) {
                b->button()->click();
                return;
            }
        }
        if (closeButton_ && !isMainWindow() && widget_) widget_->close();
    });
    escape->setContext(Qt::WindowShortcut);
    // A menu item of the window's own that has the keys keeps them.
    if (menuBar_ && claimsShortcut(*menuBar_, "Cmd+W")) return;
    auto* closeKeys = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), widget_, [this] {
        if (closeButton_ && !isMainWindow() && widget_) widget_->close();
    });
    closeKeys->setContext(Qt::WindowShortcut);
}

void Window::_SetProperties(PropertySet properties) {
    for (const auto& property : properties) {
        std::string_view n = property.first;
        const PropertyValue& v = property.second;
        auto i = [&] { return propertyAs<int32_t>(n, v); };
        auto b = [&] { return propertyAs<bool>(n, v); };
        if (n == "Width")
            setWidth(i());
        else if (n == "Height")
            setHeight(i());
        else if (n == "Left")
            setLeft(i());
        else if (n == "Top")
            setTop(i());
        else if (n == "MinWidth")
            setMinWidth(i());
        else if (n == "MinHeight")
            setMinHeight(i());
        else if (n == "MaxWidth")
            setMaxWidth(i());
        else if (n == "MaxHeight")
            setMaxHeight(i());
        else if (n == "Title")
            setTitle(propertyAs<String>(n, v));
        else if (n == "Resizeable")
            setResizeable(b());
        else if (n == "CloseButton")
            closeButton_ = b(), applyFlags();
        else if (n == "MinimizeButton")
            minimizeButton_ = b(), applyFlags();
        else if (n == "MaximizeButton")
            maximizeButton_ = b(), applyFlags();
        else if (n == "Visible")
            visibleAtOpen_ = b();
        else if (n == "MenuBarVisible") {
            // Asking a main window for its bar makes one: a window without menus would show
            // screen readers an empty menu bar.
            menuBarVisible_ = b();
            if (widget_ && menuBar_) widget_->menuBar()->setVisible(menuBarVisible_);
        }
        // Design values with no counterpart on this desktop, or that keep the default look.
        else if (n == "LiveResize" || n == "FullScreen" || n == "Composite" ||
                 n == "HasBackColor" || n == "BackColor" || n == "Frame" || n == "Placement" ||
                 n == "MacProcID") {
        } else {
            throw UnknownPropertyError(className(), n);
        }
    }
}

int Window::menuHeight() const {
    if (!widget_ || !menuBar_ || !widget_->menuBar()->isVisibleTo(widget_)) return 0;
    return widget_->menuBar()->sizeHint().height();
}

void Window::applySize() {
    if (!widget_) return;
    content()->setMinimumSize(min_);
    content()->setMaximumSize(max_);
    const QSize frame(size_.width(), size_.height() + menuHeight());
    if (!resizeable_) {
        content()->setMinimumSize(size_);
        content()->setMaximumSize(size_);
    }
    // The window manager reads the top-level's size hints: equal bounds are what keeps it from
    // resizing or maximising the window. Set once the window is built, and only when they
    // change: each setting is a message to the window system.
    const QSize fixed = resizeable_ || !built_ ? QSize() : frame;
    if (fixed != fixedFrame_) {
        if (fixed.isValid()) {
            widget_->setFixedSize(fixed);
        } else {
            widget_->setMinimumSize(0, 0);  // the content's minimum holds again
            widget_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        }
        fixedFrame_ = fixed;
    }
    widget_->resize(frame);
    content()->resize(size_);
}

void Window::applyFlags() {
    if (!widget_) return;
    Qt::WindowFlags f = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (closeButton_) f |= Qt::WindowCloseButtonHint;
    if (minimizeButton_) f |= Qt::WindowMinimizeButtonHint;
    if (maximizeButton_ && resizeable_) f |= Qt::WindowMaximizeButtonHint;
    bool shown = widget_->isVisible();
    widget_->setWindowFlags(f);
    if (shown) widget_->show();
}

void Window::setWidth(int32_t w) {
    size_.setWidth(std::clamp(w, min_.width(), std::max(min_.width(), max_.width())));
    applySize();
}
void Window::setHeight(int32_t h) {
    size_.setHeight(std::clamp(h, min_.height(), std::max(min_.height(), max_.height())));
    applySize();
}
void Window::setMinWidth(int32_t v) {
    min_.setWidth(std::max(v, 0));
    setWidth(size_.width());
}
void Window::setMinHeight(int32_t v) {
    min_.setHeight(std::max(v, 0));
    setHeight(size_.height());
}
void Window::setMaxWidth(int32_t v) {
    max_.setWidth(std::max(v, 0));
    setWidth(size_.width());
}
void Window::setMaxHeight(int32_t v) {
    max_.setHeight(std::max(v, 0));
    setHeight(size_.height());
}

// The place of the window's own area, not of the frame the window manager adds: what is read
// is what was set, so a saved place does not creep by the frame from one start to the next.
int32_t Window::Left() const {
    return widget_ ? widget_->geometry().x() : 0;
}
int32_t Window::Top() const {
    return widget_ ? widget_->geometry().y() : 0;
}
// Places far beyond any desktop are held to a distance at which the geometry's arithmetic
// cannot overflow; KeepOnScreen brings such a window back.
constexpr int32_t kFarthestPlace = 1 << 24;

void Window::setLeft(int32_t x) {
    if (!widget_) return;
    placeAt(QPoint(std::clamp(x, -kFarthestPlace, kFarthestPlace), widget_->geometry().y()));
}
void Window::setTop(int32_t y) {
    if (!widget_) return;
    placeAt(QPoint(widget_->geometry().x(), std::clamp(y, -kFarthestPlace, kFarthestPlace)));
}

void Window::placeAt(QPoint at) {
    QRect g = widget_->geometry();
    // A window just shown reads the place Qt gave it (0, 0) until the window manager has put it
    // where it likes; that same place set again would be no move at all, and the manager's
    // placement would stand. Moved away and back, the window goes where it was asked to.
    if (g.topLeft() == at && widget_->isVisible() && !placed_)
        widget_->setGeometry(g.translated(1, 1));
    g.moveTopLeft(at);
    widget_->setGeometry(g);
    placed_ = true;
}

String Window::Title() const {
    return widget_ ? String(widget_->windowTitle().toStdString()) : String("");
}
void Window::setTitle(const String& title) {
    if (!widget_) return;
    widget_->setWindowTitle(QString::fromStdString(title.toUtf8()));
    widget_->setAccessibleName(widget_->windowTitle());
}

void Window::setResizeable(bool on) {
    resizeable_ = on;
    applySize();
    applyFlags();
}

bool Window::Visible() const {
    return widget_ && widget_->isVisible();
}

void Window::KeepOnScreen() {
    if (!widget_) return;
    // In 64 bits: stored places may be at the ends of the integers' range.
    const int64_t left = Left(), top = Top(), right = left + Width(),
                  bottom = top + Height() + menuHeight();
    QScreen* screen = nullptr;
    int64_t best = 0;
    for (QScreen* s : QGuiApplication::screens()) {
        QRect r = s->availableGeometry();
        int64_t w =
            std::min<int64_t>(right, int64_t(r.x()) + r.width()) - std::max<int64_t>(left, r.x());
        int64_t h =
            std::min<int64_t>(bottom, int64_t(r.y()) + r.height()) - std::max<int64_t>(top, r.y());
        if (w > 0 && h > 0 && w * h > best) best = w * h, screen = s;
    }
    const bool offEveryScreen = !screen;
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect room = screen->availableGeometry();
    if (Width() > room.width()) setWidth(std::max(room.width(), MinWidth()));
    if (Height() + menuHeight() > room.height())
        setHeight(std::max(room.height() - menuHeight(), MinHeight()));
    if (offEveryScreen) {
        setLeft(room.left());
        setTop(room.top());
    }
}

void Window::Show() {
    if (!widget_) return;
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
}

void Window::ShowModal() {
    if (!widget_ || !open_) return;
    widget_->setWindowModality(Qt::ApplicationModal);
    Show();
    QEventLoop loop;
    modalLoop_ = &loop;
    Ref<Window> self = Ref<Window>::retain(this);
    if (open_) loop.exec();
    modalLoop_ = nullptr;
}

void Window::Hide() {
    if (widget_) widget_->hide();
}

void Window::Close() {
    closed();
    Hide();
}

void Window::closed() {
    if (closing_ || !open_) return;
    closing_ = true;
    Ref<Window> self = Ref<Window>::retain(this);
    RunGuarded([this] { Event_Close(); });
    open_ = false;
    for (const auto& c : controls_) c->windowClosed();
    if (modalLoop_) modalLoop_->quit();
    if (widget_) widget_->hide();
    auto& list = detail::openWindows();
    auto it = std::find(list.begin(), list.end(), self);
    if (it != list.end()) {
        // Dropped once the event that closed the window is over: its widget may be on the stack.
        Ref<Window> keep = *it;
        list.erase(it);
        QTimer::singleShot(0, qApp, [keep] {});
    }
}

void Window::contentResized(QSize size) {
    // The content area follows the window when the user resizes it.
    if (widget_ && widget_->isVisible()) size_ = size;
    for (const auto& c : controls_) c->relayout(size);
}

void Window::_AddControl(const std::string& name, const Ref<Control>& control) {
    if (!control) throw NilObjectException();
    control->name_ = name;
    controls_.push_back(control);
    byName_[name] = control.get();
}

Ref<Control> Window::_ControlByName(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : Ref<Control>::retain(it->second);
}

void Window::setMenuBar(const Ref<MenuBar>& bar) {
    menuBar_ = bar;
    if (!widget_) return;
    if (!bar) {
        widget_->setMenuWidget(nullptr);  // the old bar goes with it
        applySize();
        return;
    }
    QMenuBar* qbar = new QMenuBar(widget_);
    qbar->setNativeMenuBar(false);
    bar->renderInto(qbar, this);
    // F10 opens the first menu with its first item active, as Alt and the menu's letter do:
    // a menu open with nothing active says nothing to a screen reader.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), qbar, [qbar] {
        auto usable = [](QAction* a) { return a->isVisible() && a->isEnabled(); };
        for (QAction* menu : qbar->actions()) {
            if (!usable(menu)) continue;
            qbar->setActiveAction(menu);  // opens it, and the application prepares its items
            if (QMenu* popup = menu->menu(); popup && popup->isVisible())
                for (QAction* item : popup->actions())
                    if (!item->isSeparator() && usable(item)) {
                        popup->setActiveAction(item);
                        break;
                    }
            return;
        }
    });
    f10->setContext(Qt::WindowShortcut);
    if (!menuBarVisible_) qbar->setVisible(false);
    widget_->setMenuBar(qbar);  // the old bar goes with it
    applySize();
}

void Window::_AddMenuHandler(const std::string& itemName, std::function<bool()> handler) {
    menuHandlers_[itemName] = std::move(handler);
}

namespace {
// The standard editing commands act on whatever holds the keyboard focus.
bool standardCommand(const std::string& name) {
    static const std::map<std::string, const char*> commands = {
        {"EditCopy", "copy"}, {"EditPaste", "paste"}, {"EditSelectAll", "selectAll"},
        {"EditCut", "cut"},   {"EditUndo", "undo"},   {"EditRedo", "redo"},
    };
    QWidget* focus = QApplication::focusWidget();
    if (name == "EditClear" && focus) {
        if (auto* edit = qobject_cast<QPlainTextEdit*>(focus)) {
            if (!edit->isReadOnly()) edit->textCursor().removeSelectedText();
            return true;
        }
    }
    auto it = commands.find(name);
    if (it == commands.end() || !focus) return false;
    return QMetaObject::invokeMethod(focus, it->second);
}
}  // namespace

void Window::chooseMenuItem(const MenuItem& item) {
    Ref<Window> self = Ref<Window>::retain(this);
    std::string name = item.Name().toUtf8();
    bool quits = item.quits();
    RunGuarded([this, name, quits] {
        auto it = menuHandlers_.find(name);
        if (it != menuHandlers_.end() && it->second && it->second()) return;
        if (Application* app = Application::current(); app && app->handleMenu(name)) return;
        if (quits) {
            Quit();
            return;
        }
        standardCommand(name);
    });
}

}  // namespace rb
