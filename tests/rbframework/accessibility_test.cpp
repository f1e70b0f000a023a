// What a screen reader is told of the runtime's windows, read through Qt's accessibility
// interfaces of the real widgets offscreen.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QObject>

#include <vector>

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/menu.h"
#include "platform/rbframework/gui/progress_bar.h"
#include "platform/rbframework/gui/window.h"

namespace {

using rb::String;

// A small version window: two labels on one line, filled at Open, and a button.
class Version : public rb::Window {
  public:
    static constexpr const char* kClassName = "Version";
    const char* className() const override { return kClassName; }
    void Layout() override {
        _SetProperties({{"Width", 212},
                        {"Height", 103},
                        {"Title", String("Self Test")},
                        {"Resizeable", false}});
    }
    void CreateControls() override {
        label("Value", 105, 19, "1.1.0 Intel");
        label("Caption", 38, 19, "Version:");
        controlAs<rb::Label>("Value")->_AddEventHandler(
            rb::event::Open, [this] { controlAs<rb::Label>("Value")->setText("2.3.4"); });
        label("Credits", 20, 60, "A speaking\ntext editor");
        _AddControl("Check", rb::make<rb::PushButton>(this));
        controlAs<rb::PushButton>("Check")->_SetProperties(
            {{"Left", 28},
             {"Top", 80},
             {"Width", 157},
             {"Height", 22},
             {"Caption", String("Check for Updates")}});
    }
    void label(const char* name, int left, int top, const char* text) {
        _AddControl(name, rb::make<rb::Label>(this));
        controlAs<rb::Label>(name)->_SetProperties({{"Left", left},
                                                    {"Top", top},
                                                    {"Width", 70},
                                                    {"Height", 20},
                                                    {"Multiline", true},
                                                    {"Text", String(text)}});
    }
};

// A window with a message above a progress bar, which the label also names.
class Waiting : public rb::Window {
  public:
    static constexpr const char* kClassName = "Waiting";
    const char* className() const override { return kClassName; }
    void Layout() override { _SetProperties({{"Title", String("Update")}}); }
    void CreateControls() override {
        _AddControl("Message", rb::make<rb::Label>(this));
        controlAs<rb::Label>("Message")->_SetProperties(
            {{"Left", 20},
             {"Top", 19},
             {"Width", 266},
             {"Height", 20},
             {"Text", String("Checking for updates...")}});
        _AddControl("Bar", rb::make<rb::ProgressBar>(this));
        controlAs<rb::ProgressBar>("Bar")->_SetProperties(
            {{"Left", 20}, {"Top", 46}, {"Width", 260}, {"Height", 12}});
    }
};

// The main window: it has the menu bar, and a label of its own.
class Editor : public rb::Window {
  public:
    static constexpr const char* kClassName = "Editor";
    const char* className() const override { return kClassName; }
    void Layout() override {
        auto bar = rb::make<rb::MenuBar>();
        auto file = rb::make<rb::MenuItem>();
        file->setName("File");
        file->setText("File");
        bar->Append(file);
        setMenuBar(bar);
        _SetProperties({{"Title", String("Vellora")}});
    }
    void CreateControls() override {
        _AddControl("Rate", rb::make<rb::Label>(this));
        controlAs<rb::Label>("Rate")->_SetProperties({{"Left", 10},
                                                      {"Top", 10},
                                                      {"Width", 100},
                                                      {"Height", 20},
                                                      {"Text", String("Speaking Rate")}});
    }
};

QAccessibleInterface* accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

// The windows that an accessible label says it labels.
std::vector<QObject*> labelled(QLabel* label) {
    std::vector<QObject*> objects;
    for (const auto& [iface, relation] : accessible(label)->relations(QAccessible::Label))
        objects.push_back(iface->object());
    return objects;
}

class Accessibility : public ::testing::Test {
  protected:
    void TearDown() override {
        for (auto& w : std::vector<rb::Ref<rb::Window>>(rb::detail::openWindows())) w->Close();
        QApplication::processEvents();
    }
};

TEST_F(Accessibility, AWindowWithoutMenuBarIsADialogDescribedByItsLabelsInReadingOrder) {
    auto w = rb::implicitWindow<Version>();
    QAccessibleInterface* window = accessible(w->qwindow());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->role(), QAccessible::Dialog);
    // Name and captions stay as they are; the description is made of the labels as they are
    // after Open, line breaks read as blanks.
    EXPECT_EQ(window->text(QAccessible::Name), "Self Test");
    EXPECT_EQ(window->text(QAccessible::Description), "Version: 2.3.4 A speaking text editor");
    EXPECT_EQ(accessible(w->controlAs<rb::Label>("Caption")->label())->text(QAccessible::Name),
              "Version:");
}

TEST_F(Accessibility, TheMainWindowStaysAFrameWithoutDescription) {
    auto w = rb::implicitWindow<Editor>();
    QAccessibleInterface* window = accessible(w->qwindow());
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Description), "");
    EXPECT_TRUE(labelled(w->controlAs<rb::Label>("Rate")->label()).empty());
}

// A screen reader reads a dialog's labels of fewer than three words only through its
// description, and the description only when no label seems unrelated to a control.
TEST_F(Accessibility, EveryLabelOfADialogLabelsTheDialogOrItsBuddy) {
    auto version = rb::implicitWindow<Version>();
    for (const char* name : {"Caption", "Value", "Credits"})
        EXPECT_EQ(labelled(version->controlAs<rb::Label>(name)->label()),
                  std::vector<QObject*>{version->qwindow()})
            << name;

    auto waiting = rb::implicitWindow<Waiting>();
    QLabel* message = waiting->controlAs<rb::Label>("Message")->label();
    EXPECT_EQ(labelled(message),
              std::vector<QObject*>{waiting->controlAs<rb::ProgressBar>("Bar")->widget()});
    EXPECT_EQ(accessible(waiting->qwindow())->text(QAccessible::Description),
              "Checking for updates...");
}

// A text set after the window was first read, and a label hidden, are what is read next.
// (Qt sends accessibility events only while a screen reader listens, never offscreen: that
// they reach one is checked on a real desktop by bench/desktop.)
TEST_F(Accessibility, TheDescriptionFollowsLabelsChangedOrHiddenLater) {
    auto w = rb::implicitWindow<Waiting>();
    QAccessibleInterface* window = accessible(w->qwindow());
    EXPECT_EQ(window->text(QAccessible::Description), "Checking for updates...");
    w->controlAs<rb::Label>("Message")->setText("This version is current.");
    w->controlAs<rb::Label>("Message")->Refresh();
    EXPECT_EQ(window->text(QAccessible::Description), "This version is current.");
    w->controlAs<rb::Label>("Message")->setVisible(false);
    EXPECT_EQ(window->text(QAccessible::Description), "");
}

}  // namespace
