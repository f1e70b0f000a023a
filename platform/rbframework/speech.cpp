#include "platform/rbframework/speech.h"

#include <QTimer>

#include <deque>
#include <string>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"

namespace rb {

namespace {

// One channel, and the texts waiting for it. The synthesizer replaces a channel's speech when
// given more, so queueing is done here: the next text goes out as soon as the channel is idle.
class SynthesizerSpeaker final : public Speaker {
  public:
    void speak(const String& text, bool interrupt) override {
        if (!open()) return;
        if (interrupt) {
            waiting_.clear();
            StopSpeech(channel_);
        }
        waiting_.push_back(text.toUtf8());
        pump();
    }

  private:
    bool open() {
        if (!channel_ && NewSpeechChannel(nullptr, &channel_) != noErr) channel_ = nullptr;
        return channel_ != nullptr;
    }
    bool busy() const {
        SpeechStatusInfo status{};
        return GetSpeechInfo(channel_, kSpeechStatusSelector, &status) == noErr &&
               status.outputBusy;
    }
    void pump() {
        if (waiting_.empty()) return;
        if (!busy()) {
            std::u16string units = QString::fromStdString(waiting_.front()).toStdU16String();
            waiting_.pop_front();
            CFStringRef s = CFStringCreateWithCharacters(
                nullptr, reinterpret_cast<const UniChar*>(units.data()), CFIndex(units.size()));
            if (s) {
                SpeakCFString(channel_, s, nullptr);
                CFRelease(s);
            }
        }
        // Still waiting: look again soon; a gap this short between words is not heard.
        if (!waiting_.empty() && !polling_) {
            polling_ = true;
            QTimer::singleShot(5, [this] {
                polling_ = false;
                pump();
            });
        }
    }

    SpeechChannel channel_ = nullptr;
    std::deque<std::string> waiting_;
    bool polling_ = false;
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
