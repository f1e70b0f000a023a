// The main window's control handlers: the word echo, the key timer and the commands.
#include <algorithm>
#include <array>

#include "editor/Module1.h"
#include "editor/Window1.h"
#include "platform/rbframework/gui/dialogs.h"
#include "platform/rbframework/gui/keyboard.h"
#include "platform/rbframework/runtime_yield.h"
#include "platform/rbframework/speech.h"
#include "platform/rbframework/string_functions.h"
#include "settings/prefModule.h"

using rb::Len;
using rb::String;

namespace {

// What ends a word, in the order they are tested.
const std::array<const char*, 7> WordDelimiters = {" ", ".", ",", "!", ":", ";", "?"};

bool isDelimiter(const String& c) {
    for (const char* d : WordDelimiters)
        if (rb::RuntimeStringCompare(c, d) == 0) return true;
    return false;
}

// The length of the text up to and including its last delimiter at a position from 1 to
// `last`, or 0 when there is none: where a word that goes on past `last` begins.
int32_t wordStart(const rb::TextArea& field, int32_t last) {
    for (int32_t i = last; i > 0; --i) {
        if (isDelimiter(field.TextMid(i, 1))) return i;
        rb::RuntimeYield();
    }
    return 0;
}

// StartChar counts from the start of the text, so it has to follow a change made before the
// unheard text, or it lags behind that text and the echo speaks words twice.
void followChange(const rb::TextArea& field, int32_t n) {
    rb::TextArea::Change ch = field.LastChange();
    int64_t start = Module1::StartChar;
    int64_t changeEnd = int64_t{ch.position} + ch.added;  // in the new text
    if (ch.position < start) {
        if (int64_t{ch.position} + ch.removed <= start && changeEnd < n) {
            start += ch.added - ch.removed;  // wholly before: the unheard text stays the same
        } else if (ch.added > 0 || ch.position < n) {
            // Heard text replaced, or cut away together with unheard text: the word it changed
            // counts as unheard, so the corrected word is spoken whole, as after Backspace held.
            start = wordStart(field, ch.position);
        }
        // Otherwise heard text was deleted from the end: as with Backspace held, below.
    }
    // A deletion that no tick saw (a quick tap of Backspace) leaves the count past the end,
    // where the echo would stay silent until the text grew past it again.
    if (start > n) start = n == 0 ? 0 : wordStart(field, n - 1);
    Module1::StartChar = static_cast<int32_t>(start);
}

constexpr int32_t kDeleteKey = 0x33;
constexpr int32_t kShiftKey = 0x38;

// The reading channel. Without one (no voice, or none could be made) the commands say so
// instead of failing on a nil channel.
SpeechChannelZRQ* channel() {
    if (!Module1::sc) rb::MsgBox("Speech is not available on this computer configuration.");
    return Module1::sc.get();
}

constexpr int32_t kNoAudioOutput = -241;

void speakOnChannel(const String& s) {
    SpeechChannelZRQ* sc = channel();
    if (!sc || sc->Speak(s)) return;
    // No sound output yet (a sound server that has not started): the text is not at fault.
    if (sc->Lasterror() == kNoAudioOutput)
        rb::MsgBox("Speech is not available on this computer configuration.");
    else
        rb::MsgBox("I can't speak that text.");
}

}  // namespace

// The text is read a character or a word at a time, never whole: this runs on every key, and
// the text may be a book.
void Window1::EditField1_TextChange() {
    auto field = EditField1();
    int32_t n = field->TextLength();
    followChange(*field, n);
    if (field->SelStart() != n) return;  // the caret is not at the end, or text is selected
    // u, the unheard text, is Right(text, n - StartChar): its m characters follow `from`.
    // followChange has brought StartChar within the text.
    int32_t m = static_cast<int32_t>(std::clamp<int64_t>(int64_t{n} - Module1::StartChar, 0, n));
    int32_t from = n - m;
    if (m == 0 || !isDelimiter(field->TextMid(n, 1))) return;
    // The character just before the typed delimiter is never examined: the scan starts one
    // further back, so "two,!" is spoken whole.
    for (int32_t i = m - 2; i >= 0; --i) {
        String piece;
        if (i == 0) {
            piece = field->TextMid(from + 1, m);
        } else if (isDelimiter(field->TextMid(from + i, 1))) {
            piece = field->TextMid(from + i + 1, m - i);  // Right(u, m - i)
        } else {
            rb::RuntimeYield();
            continue;
        }
        rb::Speak(piece, false);
        Module1::StartChar += Len(piece);
        return;
    }
}

void Window1::Timer1_Action() {
    if (rb::Keyboard.AsyncKeyDown(kDeleteKey)) {
        auto field = EditField1();
        int32_t n = field->TextLength();
        // The last character is never examined, so a delimiter at the very end does not count.
        if (n > 0) Module1::StartChar = wordStart(*field, n - 1);
    }
    SpeakToEnd()->setCaption(rb::Keyboard.AsyncKeyDown(kShiftKey) ? "Speak All" : "Speak to End");
}

// Right(text, n - caret), read from the text area itself: the text before the caret is never
// copied, and the length is known without reading the text.
void Window1::SpeakToEnd_Action() {
    auto field = EditField1();
    int32_t n = field->TextLength();
    String s;
    if (SpeakToEnd()->Caption() == String("Speak to End")) {
        int32_t caret = std::clamp(field->SelStart(), 0, n);
        s = field->TextMid(caret + 1, n - caret);
    } else {
        s = field->Text();
    }
    if (Len(s) == 0) s = "There is no text to speak!";
    speakOnChannel(s);
}

void Window1::SpeakSelected_Action() {
    String s = EditField1()->SelText();
    if (Len(s) == 0) s = "No text has been selected!";
    speakOnChannel(s);
}

void Window1::StopSpeaking_Action() {
    SpeechChannelZRQ* sc = channel();
    if (sc && !sc->PauseImmediate()) rb::MsgBox("Can't Pause immediate.");
}

void Window1::ClearAll_Action() {
    auto field = EditField1();
    field->setText("");
    field->Refresh();
    Module1::StartChar = 0;
    if (!Module1::C) throw rb::NilObjectException();
    Module1::C->Clear();
}

void Window1::TextToClipboard_Action() {
    auto field = EditField1();
    field->SelectAll();
    field->Copy();
    field->setSelStart(Len(field->Text()));
}

void Window1::RateSlider_ValueChanged() {
    SpeechChannelZRQ* sc = channel();
    if (!sc) return;
    double v = RateSlider()->Value();
    sc->Rate(v);
    prefModule::SpeakingRate = rb::DoubleToInt32(sc->Rate());
}
