#include "platform/rbframework/gui/menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/runtime.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/string_functions.h"

namespace rb {

std::string desktopShortcut(const std::string& shortcut) {
    std::string out = shortcut;
    for (size_t at = out.find("Cmd"); at != std::string::npos; at = out.find("Cmd", at + 4))
        out.replace(at, 3, "Ctrl");
    return out;
}

void MenuItem::setText(const String& text) {
    text_ = text;
    syncActions();
}

void MenuItem::setKeyboardShortcut(const String& shortcut) {
    shortcut_ = shortcut;
    syncActions();
}

void MenuItem::setEnabled(bool on) {
    enabled_ = on;
    syncActions();
}

void MenuItem::Append(const Ref<MenuItem>& item) {
    if (item) children_.push_back(item);
}

Ref<MenuItem> MenuItem::Item(int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return children_[static_cast<size_t>(index)];
}

Ref<MenuItem> MenuItem::Child(const String& name) const {
    for (const auto& c : children_)
        if (c->name_ == name) return c;
    return nullptr;
}

Ref<MenuItem> MenuItem::_Lookup(const String& name) const {
    for (const auto& c : children_) {
        if (c->name_ == name) return c;
        if (auto found = c->_Lookup(name)) return found;
    }
    return nullptr;
}

void MenuItem::syncActions() {
    QString text = QString::fromStdString(text_.toUtf8());
    QKeySequence keys = QKeySequence::fromString(
        QString::fromStdString(desktopShortcut(shortcut_.toUtf8())), QKeySequence::PortableText);
    // Actions of windows that have closed are gone.
    std::erase_if(actions_, [](const QPointer<QAction>& a) { return a.isNull(); });
    for (auto& a : actions_) {
        if (a->isSeparator()) continue;
        a->setText(text);
        a->setShortcut(keys);
        a->setEnabled(enabled_);
    }
}

void MenuItem::renderInto(QMenuBar* bar, Window* window) {
    for (const auto& menu : children_) {
        QMenu* m = bar->addMenu(QString::fromStdString(menu->text_.toUtf8()));
        menu->actions_.emplace_back(m->menuAction());
        menu->syncActions();
        // The application prepares the menus each time one opens.
        QObject::connect(m, &QMenu::aboutToShow, m, [] {
            if (Application* app = Application::current())
                RunGuarded([app] { app->prepareMenus(); });
        });
        menu->renderChildren(m, window);
    }
}

void MenuItem::renderChildren(QMenu* menu, Window* window) {
    for (const auto& item : children_) {
        if (item->text_.toUtf8() == "-") {
            item->actions_.emplace_back(menu->addSeparator());
            continue;
        }
        if (item->Count() > 0) {
            QMenu* sub = menu->addMenu(QString::fromStdString(item->text_.toUtf8()));
            item->actions_.emplace_back(sub->menuAction());
            item->syncActions();
            item->renderChildren(sub, window);
            continue;
        }
        QAction* a = menu->addAction(QString());
        // Shortcuts work in the window that shows the menu bar, menus open or not.
        a->setShortcutContext(Qt::WindowShortcut);
        item->actions_.emplace_back(a);
        item->syncActions();
        Ref<MenuItem> self = item;
        QPointer<QWidget> owner = window->qwindow();
        QObject::connect(a, &QAction::triggered, a, [self, window, owner] {
            if (owner) window->chooseMenuItem(*self);
        });
    }
}

}  // namespace rb
