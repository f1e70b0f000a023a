// Whole starts of the program, as its entry runs them, each in a preferences folder of its own
// test: a start makes a new QApplication, opens the main window, lets the test look at it once
// the event loop runs, closes it as the user would, and deletes the QApplication at exit. The
// speech layer hears a recording synthesizer and plays into a clock that nothing advances.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "editor/Window1.h"
#include "platform/rbframework/testing.h"
#include "platform/speechsynthesis/doubles.h"
#include "tests/support/env.h"

inline constexpr const char* kFirstStartNotice =
    "Please read the Help information before using Vellora!";
inline constexpr const char* kSpeechUnavailable =
    "Speech is not available on this computer configuration.";

// Runs the program once: `whileOpen` runs on the open main window from the event loop, then
// the window is closed. Returns _Main's status.
int StartProgram(const std::function<void(Window1&)>& whileOpen);

class ProgramStarts : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Voices of the synthesizer for the starts that follow; an empty list has no default voice.
    void UseVoices(std::vector<vellora::speech::VoiceEntry> voices);
    void writePrefs(const std::vector<std::string>& lines) const;
    // The lines of the preference file, without their line endings; empty when there is none.
    std::vector<std::string> readPrefs() const;
    // One start; it must end with status 0 and leave no object or string alive.
    void start(const std::function<void(Window1&)>& whileOpen = {});

    QTemporaryDir config_;
    std::optional<vellora_test::ScopedEnv> xdg_;
    rb::testing::RecordingDialogs dialogs_;
};
