#include "platform/rbframework/speech.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <deque>
#include <string>

#include "platform/speechsynthesis/Notify.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"

namespace rb {

namespace {

// One channel, and the texts waiting for it. The synthesizer replaces a channel's speech when
// given more, so queueing is done here: the next text goes out when the synthesizer reports
// the channel's speech over, through an event on the program's loop.
class SynthesizerSpeaker final : public Speaker {
  public:
    void speak(const String& text, bool interrupt) override {
        if (!open()) return;
        if (interrupt) {
            waiting_.clear();
            StopSpeech(channel_);
        }
        // The one conversion on the way to the synthesizer, which keeps UTF-8 as it is.
        waiting_.push_back(text.toUtf8());
        pump();
    }

  private:
    bool open() {
        if (channel_) return true;
        if (NewSpeechChannel(nullptr, &channel_) != noErr) {
            channel_ = nullptr;
            return false;
        }
        // The speaker lives as long as the process, so the handler may keep it.
        vellora::speech::SetSpeechDoneHandler(channel_, [this] {
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(
                    app, [this] { pump(); }, Qt::QueuedConnection);
        });
        return true;
    }
    bool busy() const {
        SpeechStatusInfo status{};
        return GetSpeechInfo(channel_, kSpeechStatusSelector, &status) == noErr &&
               status.outputBusy;
    }
    void pump() {
        if (waiting_.empty()) return;
        if (!busy()) {
            std::string text = std::move(waiting_.front());
            waiting_.pop_front();
            vellora::speech::SpeakUtf8(channel_, std::move(text));
        }
        // What is said now is followed by what waits after a short pause, not a full stop.
        if (!waiting_.empty()) vellora::speech::MoreSpeechFollows(channel_);
    }

    SpeechChannel channel_ = nullptr;
    std::deque<std::string> waiting_;
};

Speaker* gReplacement = nullptr;

Speaker& speaker() {
    // Kept for the life of the process: the synthesizer's channel outlives every window.
    static SynthesizerSpeaker* synthesizer = new SynthesizerSpeaker;
    return gReplacement ? *gReplacement : *synthesizer;
}

}  // namespace

void Speak(const String& text, bool interrupt) {
    speaker().speak(text, interrupt);
}
void RuntimeSpeak(const String& text, bool interrupt) {
    Speak(text, interrupt);
}

namespace detail {
void setSpeaker(Speaker* replacement) {
    gReplacement = replacement;
}
}  // namespace detail

}  // namespace rb
