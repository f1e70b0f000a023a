#include "platform/rbframework/gui/menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

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

namespace {
// The mnemonic a caption marks with "&", lower case; none for "&&" (a literal ampersand).
QChar markedMnemonic(const QString& t) {
    for (qsizetype i = 0; i + 1 < t.size(); ++i) {
        if (t[i] != u'&') continue;
        if (t[i + 1] != u'&') return t[i + 1].toLower();
        ++i;
    }
    return {};
}

// The caption as shown, with `mnemonic` marked at its first occurrence when the caption marks
// none of its own.
QString withMnemonic(const QString& t, QChar mnemonic) {
    if (mnemonic.isNull() || t.contains(u'&')) return t;
    qsizetype at = t.indexOf(mnemonic, 0, Qt::CaseInsensitive);
    return at < 0 ? t : QString(t).insert(at, u'&');
}
}  // namespace

void MenuItem::syncActions() {
    QString text = withMnemonic(QString::fromStdString(text_.toUtf8()), mnemonic_);
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
    // A menu without a mnemonic of its own gets one at its first letter that no other menu of
    // the bar claims, so that Alt with that letter opens it, as every menu on this desktop can
    // be opened; the caption itself stays as it was given.
    std::vector<QChar> taken;
    for (const auto& menu : children_)
        if (QChar m = markedMnemonic(QString::fromStdString(menu->text_.toUtf8())); !m.isNull())
            taken.push_back(m);
    for (const auto& menu : children_) {
        QString title = QString::fromStdString(menu->text_.toUtf8());
        if (!title.contains(u'&')) {
            for (QChar c : title) {
                c = c.toLower();
                if (!c.isLetterOrNumber() ||
                    std::find(taken.begin(), taken.end(), c) != taken.end())
                    continue;
                taken.push_back(c);
                menu->mnemonic_ = c;
                break;
            }
        }
        QMenu* m = bar->addMenu(QString());
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
