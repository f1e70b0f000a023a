// Where a test stands in for the person and the outside world: it answers modal dialogs and
// records what they showed, holds keys down, and hears what the runtime speaks. Production
// code never looks here; each seam replaces an implementation behind an interface for as long
// as the test's object lives.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/rbframework/gui/dialogs.h"
#include "platform/rbframework/gui/keyboard.h"
#include "platform/rbframework/speech.h"

namespace rb::testing {

// Answers every message box at once and keeps its text; `onShow` runs while the box would be
// up (a test may look at the windows then).
class RecordingDialogs final : public Dialogs {
  public:
    RecordingDialogs() { detail::setDialogs(this); }
    ~RecordingDialogs() override { detail::setDialogs(nullptr); }
    RecordingDialogs(const RecordingDialogs&) = delete;
    RecordingDialogs& operator=(const RecordingDialogs&) = delete;

    void msgBox(const String& text) override {
        messages.push_back(text.toUtf8());
        if (onShow) onShow(messages.back());
    }
    void beep() override { ++beeps; }

    std::vector<std::string> messages;
    int beeps = 0;
    std::function<void(const std::string&)> onShow;
};

// Keys held down by the test, by platform key code (0x33 Delete, 0x38 Shift).
class HeldKeys final : public KeyboardState {
  public:
    HeldKeys() { detail::setKeyboardState(this); }
    ~HeldKeys() override { detail::setKeyboardState(nullptr); }
    HeldKeys(const HeldKeys&) = delete;
    HeldKeys& operator=(const HeldKeys&) = delete;

    bool isDown(int32_t code) override { return held.count(code) > 0; }
    std::set<int32_t> held;
};

// What the runtime's Speak was given, with its interrupt flag, in order.
class RecordingSpeaker final : public Speaker {
  public:
    RecordingSpeaker() { detail::setSpeaker(this); }
    ~RecordingSpeaker() override { detail::setSpeaker(nullptr); }
    RecordingSpeaker(const RecordingSpeaker&) = delete;
    RecordingSpeaker& operator=(const RecordingSpeaker&) = delete;

    void speak(const String& text, bool interrupt) override {
        spoken.emplace_back(text.toUtf8(), interrupt);
    }
    std::vector<std::pair<std::string, bool>> spoken;
};

}  // namespace rb::testing
