// Where a test stands in for the person and the outside world: it answers modal dialogs and
// records what they showed, records the addresses handed to the desktop, holds keys down,
// hears what the runtime speaks, answers the print dialog, fixes the clock and sets the caps
// on HTTP requests. Production
// code never looks here; each seam replaces an implementation behind an interface for as long
// as the test's object lives.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QPrinter>

#include "platform/rbframework/date.h"
#include "platform/rbframework/gui/dialogs.h"
#include "platform/rbframework/gui/keyboard.h"
#include "platform/rbframework/gui/message_dialog.h"
#include "platform/rbframework/gui/printing.h"
#include "platform/rbframework/gui/show_url.h"
#include "platform/rbframework/net/socket_limits.h"
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

// Answers the print dialog as a person choosing "Print to File (PDF)" with `pdfPath`, or
// cancelling while `pdfPath` is empty. `onShow` runs while the dialog would be up.
class AnsweringPrintDialog final : public PrinterDialog {
  public:
    AnsweringPrintDialog() { detail::setPrinterDialog(this); }
    ~AnsweringPrintDialog() override { detail::setPrinterDialog(nullptr); }
    AnsweringPrintDialog(const AnsweringPrintDialog&) = delete;
    AnsweringPrintDialog& operator=(const AnsweringPrintDialog&) = delete;

    bool exec(QPrinter& printer) override {
        ++shown;
        if (onShow) onShow();
        if (pdfPath.empty()) return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdfPath));
        return true;
    }
    std::string pdfPath;
    int shown = 0;
    std::function<void()> onShow;
};

// The current moment as the runtime's Date sees it; the test moves it.
class FixedClock final : public Clock {
  public:
    explicit FixedClock(QDateTime moment) : moment(std::move(moment)) { detail::setClock(this); }
    ~FixedClock() override { detail::setClock(nullptr); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    QDateTime now() override { return moment; }
    QDateTime moment;
};

// Answers every message dialog with `answer` (or what `choose` picks, when set) and keeps what
// each one showed.
class RecordingMessageDialogs final : public MessageDialogPresenter {
  public:
    struct Shown {
        std::string title, message, explanation;
        int32_t icon;
        // Caption and visibility of the action, cancel and alternate buttons, in that order.
        std::vector<std::pair<std::string, bool>> buttons;
    };
    RecordingMessageDialogs() { detail::setMessageDialogPresenter(this); }
    ~RecordingMessageDialogs() override { detail::setMessageDialogPresenter(nullptr); }
    RecordingMessageDialogs(const RecordingMessageDialogs&) = delete;
    RecordingMessageDialogs& operator=(const RecordingMessageDialogs&) = delete;

    DialogChoice present(const MessageDialog& d) override {
        Shown s{d.Title.toUtf8(), d.Message.toUtf8(), d.Explanation.toUtf8(), d.Icon, {}};
        for (const auto& b : {d.ActionButton(), d.CancelButton(), d.AlternateActionButton()})
            s.buttons.emplace_back(b->Caption().toUtf8(), b->Visible());
        shown.push_back(std::move(s));
        return choose ? choose(shown.back()) : answer;
    }
    std::vector<Shown> shown;
    DialogChoice answer = DialogChoice::Cancel;
    std::function<DialogChoice(const Shown&)> choose;
};

// Keeps each address handed to the desktop, in order; opens nothing.
class RecordingURLs final : public UrlOpener {
  public:
    RecordingURLs() { detail::setUrlOpener(this); }
    ~RecordingURLs() override { detail::setUrlOpener(nullptr); }
    RecordingURLs(const RecordingURLs&) = delete;
    RecordingURLs& operator=(const RecordingURLs&) = delete;

    void open(const String& url) override { opened.push_back(url.toUtf8()); }
    std::vector<std::string> opened;
};

// Other caps on HTTP requests for as long as it lives (a short wait, so a server that never
// answers fails a test quickly). Link rbframework_net to use it.
class SocketLimitsFor final {
  public:
    explicit SocketLimitsFor(SocketLimits limits) : saved_(detail::socketLimits()) {
        detail::socketLimits() = limits;
    }
    ~SocketLimitsFor() { detail::socketLimits() = saved_; }
    SocketLimitsFor(const SocketLimitsFor&) = delete;
    SocketLimitsFor& operator=(const SocketLimitsFor&) = delete;

  private:
    SocketLimits saved_;
};

}  // namespace rb::testing
