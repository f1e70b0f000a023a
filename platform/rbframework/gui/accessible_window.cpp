#include "platform/rbframework/gui/accessible_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QHash>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>

#include <algorithm>
#include <vector>

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/window.h"

namespace rb {

namespace {

// The runtime's window shown in `top`, or null (a window being built, or one of Qt's own).
Window* ownerOf(const QWidget* top) {
    if (!top) return nullptr;
    for (const auto& w : detail::openWindows())
        if (w->qwindow() == top) return w.get();
    return nullptr;
}

std::vector<Label*> shownLabels(const Window& window) {
    std::vector<Label*> labels;
    for (const auto& c : window.controls()) {
        auto* label = dynamic_cast<Label*>(c.get());
        if (label && label->label() && label->label()->isVisibleTo(window.qwindow()))
            labels.push_back(label);
    }
    std::stable_sort(labels.begin(), labels.end(), [](Label* a, Label* b) {
        return a->Top() != b->Top() ? a->Top() < b->Top() : a->Left() < b->Left();
    });
    return labels;
}

// Tells screen readers when a dialog's description changes: a label's text set after the
// window opened (the version filled in at Open, a status line), or a label shown or hidden.
// A new text repaints a shown label, and showing the window shows its labels, so those events
// are enough to look again.
class DescriptionWatcher final : public QObject {
  public:
    static DescriptionWatcher& instance() {
        static auto* watcher = new DescriptionWatcher;
        return *watcher;
    }

    void watch(QWidget* label) { label->installEventFilter(this); }

    // Returns the description now, remembering it as the one screen readers were given.
    QString current(QWidget* top) {
        Window* owner = ownerOf(top);
        QString now = owner ? AccessibleWindowDescription(*owner) : QString();
        if (!sent_.contains(top))
            connect(top, &QObject::destroyed, this, [this, top] { sent_.remove(top); });
        sent_[top] = now;
        return now;
    }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        const auto type = event->type();
        if (type == QEvent::Paint || type == QEvent::Show || type == QEvent::Hide ||
            type == QEvent::ShowToParent || type == QEvent::HideToParent) {
            if (auto* widget = qobject_cast<QWidget*>(object)) lookAgain(widget->window());
        }
        return false;
    }

  private:
    void lookAgain(QWidget* top) {
        auto it = sent_.find(top);
        if (it == sent_.end()) return;  // not read yet: it is made when it is asked for
        Window* owner = ownerOf(top);
        QString now = owner ? AccessibleWindowDescription(*owner) : QString();
        if (now == *it) return;
        *it = now;
        QAccessibleEvent changed(top, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
    }

    QHash<QObject*, QString> sent_;
};

void watchLabels(const Window& window) {
    for (const auto& c : window.controls())
        if (auto* label = dynamic_cast<Label*>(c.get()); label && label->label())
            DescriptionWatcher::instance().watch(label->label());
}

class WindowAccessible final : public QAccessibleWidget {
  public:
    explicit WindowAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Window) {}

    QAccessible::Role role() const override {
        Window* owner = ownerOf(widget());
        return owner && IsAccessibleDialog(*owner) ? QAccessible::Dialog : QAccessible::Window;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty()) {
            if (Window* owner = ownerOf(widget()); owner && IsAccessibleDialog(*owner)) {
                watchLabels(*owner);
                return DescriptionWatcher::instance().current(widget());
            }
        }
        return QAccessibleWidget::text(t);
    }
};

// A label as Qt shows it (static text named by its text, labelling its buddy), that in a
// dialog also labels the dialog: a screen reader then reads the dialog's description, which
// holds every label, rather than only the labels it guesses are not a control's.
class LabelAccessible final : public QAccessibleWidget {
  public:
    explicit LabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return label()->text();
        return QAccessibleWidget::text(t);
    }

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
        QAccessible::Relation match) const override {
        auto rels = QAccessibleWidget::relations(match);
        if (!(match & QAccessible::Label)) return rels;
        QWidget* labelled = label()->buddy();
        if (!labelled) {
            Window* owner = ownerOf(widget()->window());
            if (owner && IsAccessibleDialog(*owner)) labelled = widget()->window();
        }
        if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(labelled))
            rels.append({iface, QAccessible::Label});
        return rels;
    }

  private:
    QLabel* label() const { return static_cast<QLabel*>(widget()); }
};

QAccessibleInterface* factory(const QString& /*className*/, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    // Only the runtime's windows are main windows; Qt's own dialogs keep Qt's interfaces.
    if (auto* window = qobject_cast<QMainWindow*>(widget)) return new WindowAccessible(window);
    if (auto* label = qobject_cast<QLabel*>(widget);
        label && qobject_cast<QMainWindow*>(label->window())) {
        DescriptionWatcher::instance().watch(label);
        return new LabelAccessible(label);
    }
    return nullptr;
}

}  // namespace

// Qt tries the factory installed last first, and installs its own for widgets when the
// application starts: put again at the end, this one comes before Qt's.
void InstallWindowAccessibility() {
    QAccessible::removeFactory(factory);
    QAccessible::installFactory(factory);
}

bool IsAccessibleDialog(const Window& window) {
    // A window with menus is read as a document (the main window, the help window); the others
    // show a message or a few settings.
    return !window.menuBar();
}

QString AccessibleWindowDescription(const Window& window) {
    if (!IsAccessibleDialog(window)) return {};
    QStringList texts;
    for (Label* label : shownLabels(window)) {
        QString text = label->label()->text().simplified();
        if (!text.isEmpty()) texts << text;
    }
    return texts.join(QLatin1Char(' '));
}

}  // namespace rb
