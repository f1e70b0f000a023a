// Where a test stands in for the person and the outside world: it answers modal dialogs and
// records what they showed. Production code never looks here; each seam replaces an
// implementation behind an interface for as long as the test's object lives.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/rbframework/gui/dialogs.h"

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

}  // namespace rb::testing
