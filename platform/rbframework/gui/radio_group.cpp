#include "platform/rbframework/gui/radio_group.h"

#include <QButtonGroup>
#include <QEvent>
#include <QKeyEvent>

#include <QScopedValueRollback>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/rbframework/gui/window.h"

namespace rb {

namespace {

QString toQ(const String& s) {
    return QString::fromStdString(s.toUtf8());
}

constexpr const char* kGroupName = "rb-radio-group";

}  // namespace

// The radio button's widget. Its group is a QButtonGroup kept on the parent widget, so that
// only direct siblings are exclusive (Qt's own rule would also take in the buttons inside a
// group box of the same window).
class RadioWidget final : public QRadioButton {
  public:
    RadioWidget(RadioButton* owner, QWidget* parent) : QRadioButton(parent), owner_(owner) {
        QObject::connect(this, &QAbstractButton::toggled, this, [this] { updateTabStops(); });
    }

    RadioButton* owner_;          // cleared when the control goes first
    bool settingValue_ = false;   // the program sets the value: no Action
    bool clickSelected_ = false;  // the click under way has selected the button already

    // The group's buttons in TabIndex order; creation order among equals.
    std::vector<RadioWidget*> members() const {
        std::vector<RadioWidget*> list;
        if (QButtonGroup* g = group())
            for (QAbstractButton* b : g->buttons())
                if (auto* r = dynamic_cast<RadioWidget*>(b); r && r->owner_) list.push_back(r);
        std::stable_sort(list.begin(), list.end(), [](RadioWidget* a, RadioWidget* b) {
            return a->owner_->TabIndex < b->owner_->TabIndex;
        });
        return list;
    }

    void join() {
        QWidget* parent = parentWidget();
        if (!parent) return;
        auto* g = parent->findChild<QButtonGroup*>(kGroupName, Qt::FindDirectChildrenOnly);
        if (!g) {
            g = new QButtonGroup(parent);
            g->setObjectName(kGroupName);
            g->setExclusive(true);
        }
        // A selected button joining a group with a selection of its own gives way.
        if (isChecked() && g->checkedButton()) setChecked(false);
        g->addButton(this);
        updateTabStops();
    }

    // One Tab stop per group: the selected button, or the first when none is.
    void updateTabStops() const {
        std::vector<RadioWidget*> list = members();
        RadioWidget* stop = nullptr;
        for (RadioWidget* r : list) {
            if (!r->owner_->TabStop) continue;
            if (r->isChecked()) {
                stop = r;
                break;
            }
            if (!stop) stop = r;
        }
        for (RadioWidget* r : list) {
            if (!r->owner_->TabStop)
                r->setFocusPolicy(Qt::NoFocus);
            else
                r->setFocusPolicy(r == stop ? Qt::StrongFocus : Qt::ClickFocus);
        }
    }

  protected:
    // Every click (the mouse, Space, the arrows) passes here before Qt raises `clicked`.
    void nextCheckState() override {
        bool was = isChecked();
        QRadioButton::nextCheckState();
        clickSelected_ = isChecked() && !was;
    }

    bool event(QEvent* e) override {
        if (e->type() == QEvent::ParentAboutToChange) {
            leave();
        } else if (e->type() == QEvent::ParentChange) {
            join();
        }
        return QRadioButton::event(e);
    }

    void keyPressEvent(QKeyEvent* e) override {
        int step = 0;
        if (!(e->modifiers() & ~Qt::KeypadModifier)) {
            if (e->key() == Qt::Key_Down || e->key() == Qt::Key_Right) step = 1;
            if (e->key() == Qt::Key_Up || e->key() == Qt::Key_Left) step = -1;
        }
        if (!step) {
            QRadioButton::keyPressEvent(e);
            return;
        }
        std::vector<RadioWidget*> list;
        for (RadioWidget* r : members())
            if (r == this || (r->isEnabled() && !r->isHidden())) list.push_back(r);
        auto at = std::find(list.begin(), list.end(), this);
        if (list.size() < 2 || at == list.end()) {
            e->ignore();
            return;
        }
        int n = static_cast<int>(list.size());
        RadioWidget* next = list[((at - list.begin()) + step + n) % n];
        next->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        next->click();  // selects it and raises its Action, as a click would
    }

  private:
    void leave() {
        QButtonGroup* g = group();
        if (!g) return;
        g->removeButton(this);
        for (QAbstractButton* b : g->buttons())
            if (auto* r = dynamic_cast<RadioWidget*>(b); r && r->owner_) {
                r->updateTabStops();
                break;
            }
    }
};

// ---- GroupBox -------------------------------------------------------------------------

GroupBox::GroupBox(Window* window) : TextControl(window, new QGroupBox(window->content())) {
    box()->setFocusPolicy(Qt::NoFocus);
    // The box's own font is its caption's; what it holds keeps the desktop's plain font.
    setBold(false);
}

String GroupBox::Caption() const {
    return String(box()->title().toStdString());
}

void GroupBox::setCaption(const String& caption) {
    box()->setTitle(toQ(caption));
    box()->setAccessibleName(toQ(caption));
}

bool GroupBox::setProperty(std::string_view name, const PropertyValue& v) {
    if (name == "Caption")
        setCaption(propertyAs<String>(name, v));
    else
        return TextControl::setProperty(name, v);
    return true;
}

// ---- RadioButton ----------------------------------------------------------------------

RadioButton::RadioButton(Window* window)
    : TextControl(window, new RadioWidget(this, window->content())) {
    // Its own weight, slant and underline: a bold group box around it leaves it as it is.
    setBold(false);
    setItalic(false);
    setUnderline(false);
    auto* r = static_cast<RadioWidget*>(widget());
    r->join();
    // A selection raises Action once, however the user made it: a click (which also toggles),
    // or the accessibility interface's toggle, which switch access and voice control use and
    // which never clicks. A click on the button already selected raises it too, as it always has.
    QObject::connect(r, &QAbstractButton::toggled, r, [this, r](bool on) {
        if (on && !r->settingValue_) raise(event::Action);
    });
    QObject::connect(r, &QAbstractButton::clicked, r, [this, r] {
        if (std::exchange(r->clickSelected_, false)) return;
        raise(event::Action);
    });
}

RadioButton::~RadioButton() {
    if (auto* r = dynamic_cast<RadioWidget*>(widget())) r->owner_ = nullptr;
}

QRadioButton* RadioButton::radio() const {
    return static_cast<QRadioButton*>(widget());
}

String RadioButton::Caption() const {
    return String(radio()->text().toStdString());
}

void RadioButton::setCaption(const String& caption) {
    radio()->setText(toQ(caption));
    radio()->setAccessibleName(toQ(caption));
}

bool RadioButton::Value() const {
    return radio() && radio()->isChecked();
}

void RadioButton::setValue(bool on) {
    auto* r = dynamic_cast<RadioWidget*>(widget());
    if (!r || r->isChecked() == on) return;
    QScopedValueRollback quiet(r->settingValue_, true);
    QButtonGroup* g = r->group();
    if (on || !g) {
        r->setChecked(on);
        return;
    }
    // An exclusive group keeps its selected button; clearing it in code is allowed here.
    g->setExclusive(false);
    r->setChecked(false);
    g->setExclusive(true);
}

bool RadioButton::setProperty(std::string_view name, const PropertyValue& v) {
    bool known = true;
    if (name == "Caption")
        setCaption(propertyAs<String>(name, v));
    else if (name == "Value")
        setValue(propertyAs<bool>(name, v));
    else
        known = TextControl::setProperty(name, v);
    // TabIndex and TabStop decide the group's Tab stop.
    if (auto* r = dynamic_cast<RadioWidget*>(widget())) r->updateTabStops();
    return known;
}

}  // namespace rb
