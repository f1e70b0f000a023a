// What the tests of the main window's handlers share: the program's state as start-up leaves
// it, the main window opened and closed around each test, and typing into the text area as a
// person would, with real key events.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/entrypoints.h"
#include "editor/MenuBar1.h"
#include "editor/Module1.h"
#include "editor/Window1.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/testing.h"
#include "settings/prefModule.h"
#include "tests/support/env.h"

namespace editor_test {

// The plug-ins bound and the settings read, from a preferences folder of the run's own.
class ProgramState {
  public:
    ProgramState() {
        xdg_.emplace("XDG_CONFIG_HOME", config_.path().toStdString());
        rb::PluginHost::instance().loadBundles({"speech", "clipboard"});
        _InitPluginEntrypoints();
        prefModule::CreateGlobals();
        prefModule::loadPrefs();
    }
    ~ProgramState() { prefModule::ReleaseGlobals(); }
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    std::string prefFile() const { return (config_.path() + "/vellora.txt").toStdString(); }

  private:
    QTemporaryDir config_;
    std::optional<vellora_test::ScopedEnv> xdg_;
};

// Types `text` into `w` one key at a time; "\n" is the Return key. Characters outside Latin-1
// go as the text of their key event, as an input method would hand them over.
inline void type(QWidget* w, const QString& text) {
    for (QChar c : text) {
        if (c == u'\n')
            QTest::keyClick(w, Qt::Key_Return);
        else if (c.unicode() < 0x80)
            QTest::keyClick(w, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Pastes `text` with the paste key, through the system clipboard.
inline void paste(QWidget* w, const QString& text) {
    QApplication::clipboard()->setText(text);
    QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
}

// The main window open, its text area focused, message boxes answered and no key held (the
// timer reads the held keys, not the test's key events). Closing it at the end saves the
// preferences, and no object of the test outlives it.
class OpenMainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        objects_ = rb::Object::liveCount();
        prefModule::InitialLaunch = "False";
        w_ = Window1::Window1_();
        ASSERT_TRUE(w_);
        QApplication::processEvents();
        edit()->setFocus();
        QApplication::setActiveWindow(w_->qwindow());
        ASSERT_EQ(QApplication::focusWidget(), edit());
        dialogs_.messages.clear();
    }
    void TearDown() override {
        w_->Close();
        w_ = nullptr;
        Module1::Release();
        MenuBar1::ReleaseShared();
        QApplication::processEvents();
        EXPECT_EQ(rb::Object::liveCount(), objects_);
    }

    QPlainTextEdit* edit() const { return w_->EditField1()->edit(); }
    std::string text() const { return w_->EditField1()->Text().toUtf8(); }
    // A fresh empty text, as at open.
    void clearText() {
        w_->EditField1()->setText("");
        Module1::StartChar = 0;
    }

    rb::testing::RecordingDialogs dialogs_;
    rb::testing::HeldKeys keys_;
    int64_t objects_ = 0;
    rb::Ref<Window1> w_;
};

}  // namespace editor_test
