#include "platform/rbframework/gui/controls.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include "platform/rbframework/gui/dialogs.h"
#include "platform/rbframework/gui/spell_marks.h"
#include "platform/rbframework/gui/spelling.h"
#include "platform/rbframework/gui/window.h"
#include "platform/scrap/SelectionReader.h"

namespace rb {

namespace {

QString toQ(const String& s) {
    return QString::fromStdString(s.toUtf8());
}
String fromQ(const QString& s) {
    return String(s.toStdString());
}

// A document's text as the runtime reads it: paragraph and line breaks are LF.
QString withLineFeeds(QString s) {
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    s.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return s;
}

// A document's text (paragraph and line breaks still Qt's separators) as the runtime's string.
// Speaking a whole book starts here, on the main thread: the text goes across in Qt's own
// encoder, and what the string functions need to know of it is known on the way (Qt writes
// well-formed UTF-8 whatever the units, a lone surrogate included; one byte a unit is ASCII).
String runtimeText(QString s) {
    s = withLineFeeds(std::move(s));
    QByteArray utf8 = s.toUtf8();
    const bool ascii = utf8.size() == s.size();
    return String::fromBytes(utf8.constData(), static_cast<size_t>(utf8.size()), encoding::UTF8,
                             {ascii ? int64_t{utf8.size()} : -1, ascii, true});
}

QString normaliseLineEnds(QString s) {
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

// The most text one paste brings in: more would make every key in the text area slow.
constexpr int64_t kMaxPasteBytes = 8 << 20;

// Another program's clipboard (or X selection) as Qt hands it over: a stand-in whose every
// question waits on the GUI thread for that program to answer. Data of our own, a drop, and
// every other platform's clipboard are not (Wayland's reads are bounded by Qt itself).
std::optional<vellora::scrap::Selection> foreignSelection(const QMimeData* source) {
    if (!source || QGuiApplication::platformName() != QLatin1String("xcb")) return std::nullopt;
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Asks the X server, not the owner, who holds each selection: no wait on anyone.
    if (!clipboard->ownsClipboard() && source == clipboard->mimeData(QClipboard::Clipboard))
        return vellora::scrap::Selection::Clipboard;
    if (clipboard->supportsSelection() && !clipboard->ownsSelection() &&
        source == clipboard->mimeData(QClipboard::Selection))
        return vellora::scrap::Selection::Primary;
    return std::nullopt;
}

// Qt's own paste reads the first format of whatever the clipboard holds without asking whether
// there is one, and an empty clipboard on X11 holds none: it crashed, and the user's text went
// with the program. Only text is ever inserted here (the text area has one style throughout),
// and only when there is some.
//
// Another program's clipboard is read off the GUI thread with a deadline (SelectionReader.h):
// an owner that never answers, trickles or dies held the window for up to 10 s. The paste
// lands at the caret when its text arrives; keys typed meanwhile are held and then typed after
// it, in order, so they wait at most the deadline and never end up before the pasted text.
class PlainTextEdit final : public QPlainTextEdit {
  public:
    using QPlainTextEdit::QPlainTextEdit;
    ~PlainTextEdit() override { paste_.reset(); }  // cancels the read before the widget goes

    // Without the focus the selection is drawn in the palette's inactive colours: with those
    // made the text's own, a text area that hides its selection shows none, though it keeps it.
    void setHideSelection(bool on) {
        hideSelection_ = on;
        syncSelectionColours();
    }

  protected:
    bool event(QEvent* e) override {
        if (paste_ && (e->type() == QEvent::KeyPress || e->type() == QEvent::InputMethod)) {
            held_.push_back({std::unique_ptr<QEvent>(e->clone()), {}});
            return true;
        }
        return QPlainTextEdit::event(e);
    }
    void changeEvent(QEvent* e) override {
        QPlainTextEdit::changeEvent(e);
        if (e->type() == QEvent::PaletteChange) syncSelectionColours();
    }
    // A text set before the widget had its size was wrapped at the old width, and the view kept
    // its line offset into the first paragraph when the text was wrapped again at the shown
    // width: it opened a line or more below the caret. The first show puts the caret in view
    // from the top.
    void showEvent(QShowEvent* e) override {
        QPlainTextEdit::showEvent(e);
        if (shown_ || e->spontaneous()) return;
        shown_ = true;
        verticalScrollBar()->setValue(verticalScrollBar()->minimum());
        ensureCursorVisible();
    }
    // The spelling underline is drawn over the text, for the lines in view only: marks kept in
    // the document would lay a long paragraph out again.
    void paintEvent(QPaintEvent* e) override {
        QPlainTextEdit::paintEvent(e);
        if (SpellMarks* marks = SpellMarks::of(this)) {
            QPainter p(viewport());
            marks->paint(p, firstVisibleBlock(), contentOffset());
        }
    }
    // Qt asks this to enable Paste: another program's clipboard is offered without asking it,
    // and a paste from it finds out whether there is text.
    bool canInsertFromMimeData(const QMimeData* source) const override {
        if (foreignSelection(source)) return true;
        return source && source->hasText();
    }
    void insertFromMimeData(const QMimeData* source) override {
        if (isReadOnly() || !source) return;
        if (auto selection = foreignSelection(source)) {
            if (paste_)  // a second paste waits its turn behind the keys held so far
                held_.push_back({nullptr, selection});
            else
                startPaste(*selection);
            return;
        }
        if (source->hasText()) insertText(source->text());
    }

  private:
    struct Held {
        std::unique_ptr<QEvent> key;                     // a key typed while a paste waited
        std::optional<vellora::scrap::Selection> paste;  // or a paste asked for meanwhile
    };

    void insertText(const QString& text) {
        if (isReadOnly() || text.isEmpty()) return;
        insertPlainText(normaliseLineEnds(text));
        ensureCursorVisible();
    }

    void startPaste(vellora::scrap::Selection selection) {
        vellora::scrap::ReadRequest request;
        request.selection = selection;
        request.targets = vellora::scrap::textTargets();
        request.deadline = std::chrono::milliseconds(1000);
        request.maxBytes = kMaxPasteBytes;
        // The result comes back through the event loop; gone with the widget if it goes first.
        paste_ = std::make_unique<vellora::scrap::SelectionRead>(
            std::move(request), [this](vellora::scrap::ReadResult result) {
                QMetaObject::invokeMethod(
                    this, [this, result = std::move(result)] { finishPaste(result); },
                    Qt::QueuedConnection);
            });
    }

    void finishPaste(const vellora::scrap::ReadResult& result) {
        paste_.reset();  // its thread has handed over the result: it ends at once
        using vellora::scrap::ReadStatus;
        if (result.status == ReadStatus::Ok) insertText(vellora::scrap::resultText(result));
        // The program holding the clipboard did not hand its text over.
        if (result.status == ReadStatus::TimedOut || result.status == ReadStatus::OwnerGone) Beep();
        // Typed as they came; a paste among them waits again, and the keys after it with it.
        while (!paste_ && !held_.empty()) {
            Held next = std::move(held_.front());
            held_.pop_front();
            if (next.key)
                QCoreApplication::sendEvent(this, next.key.get());
            else if (next.paste && !isReadOnly())
                startPaste(*next.paste);
        }
        // After the keys, so none waits behind the box.
        if (result.status == ReadStatus::TooLarge)
            MsgBox(String("The clipboard holds too much text to paste here (more than " +
                          std::to_string(kMaxPasteBytes >> 20) + " MB)."));
    }

  private:
    void syncSelectionColours() {
        QPalette p = palette();
        if (hideSelection_) {
            p.setColor(QPalette::Inactive, QPalette::Highlight, Qt::transparent);
            p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                       p.color(QPalette::Inactive, QPalette::Text));
        } else {
            p.setColor(QPalette::Inactive, QPalette::Highlight,
                       QApplication::palette(this).color(QPalette::Inactive, QPalette::Highlight));
            p.setColor(
                QPalette::Inactive, QPalette::HighlightedText,
                QApplication::palette(this).color(QPalette::Inactive, QPalette::HighlightedText));
        }
        if (p != palette()) setPalette(p);  // the change comes back here, and then matches
    }
    bool shown_ = false, hideSelection_ = false;
    std::deque<Held> held_;
    std::unique_ptr<vellora::scrap::SelectionRead> paste_;  // the paste waiting, if any
};

// A paragraph's layout keeps its glyphs and character data only when asked to. Without them a
// long paragraph rebuilds its character data (tens of megabytes for a million characters) at
// every blink of the caret, every paint and every move of the caret, not only when it changes.
// Short paragraphs rebuild theirs in microseconds and are left without, to spare memory.
class ParagraphLayout final : public QPlainTextDocumentLayout {
  public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;
    static constexpr int kLong = 4096;

  protected:
    void documentChanged(int from, int removed, int added) override {
        for (QTextBlock b = document()->findBlock(from);
             b.isValid() && b.position() <= from + added; b = b.next())
            if (b.length() > kLong) b.layout()->setCacheEnabled(true);
        QPlainTextDocumentLayout::documentChanged(from, removed, added);
    }
};

}  // namespace

// ---- TextControl ----------------------------------------------------------------------

String TextControl::TextFont() const {
    return fromQ(widget()->font().family());
}

void TextControl::setTextFont(const String& family) {
    QFont f = widget()->font();
    std::string name = family.toUtf8();
    if (name.empty() || name == "System") {
        f.setFamily(QApplication::font().family());
    } else {
        f.setFamilies({QString::fromStdString(name)});
    }
    widget()->setFont(f);
}

// Sizes are in pixels, as the window's coordinates are: a layout drawn with 14-pixel captions
// keeps its proportions on a screen of any resolution.
double TextControl::TextSize() const {
    QFont f = widget()->font();
    return f.pixelSize() > 0 ? f.pixelSize() : QFontInfo(f).pixelSize();
}

void TextControl::setTextSize(double size) {
    // Sizes come from the preference file too: anything past a size no screen can show is held
    // to it (and NaN is no size at all), so the conversion stays defined and the text drawable.
    constexpr double kLargest = 1000;
    QFont f = widget()->font();
    if (size >= 1)
        f.setPixelSize(static_cast<int>(std::min(size, kLargest) + 0.5));
    else
        f.setPointSizeF(QApplication::font().pointSizeF());
    widget()->setFont(f);
}

bool TextControl::Bold() const {
    return widget()->font().bold();
}
void TextControl::setBold(bool on) {
    QFont f = widget()->font();
    f.setBold(on);
    widget()->setFont(f);
}
bool TextControl::Italic() const {
    return widget()->font().italic();
}
void TextControl::setItalic(bool on) {
    QFont f = widget()->font();
    f.setItalic(on);
    widget()->setFont(f);
}
bool TextControl::Underline() const {
    return widget()->font().underline();
}
void TextControl::setUnderline(bool on) {
    QFont f = widget()->font();
    f.setUnderline(on);
    widget()->setFont(f);
}

Color TextControl::TextColor() const {
    QColor c = widget()->palette().color(QPalette::Text);
    return RGB(c.red(), c.green(), c.blue());
}

void TextControl::setTextColor(Color c) {
    QPalette p = widget()->palette();
    QColor q(c.red, c.green, c.blue);
    p.setColor(QPalette::Text, q);
    p.setColor(QPalette::WindowText, q);
    p.setColor(QPalette::ButtonText, q);
    widget()->setPalette(p);
}

bool TextControl::setProperty(std::string_view name, const PropertyValue& v) {
    if (name == "TextFont")
        setTextFont(propertyAs<String>(name, v));
    else if (name == "TextSize")
        setTextSize(propertyAs<double>(name, v));
    else if (name == "Bold")
        setBold(propertyAs<bool>(name, v));
    else if (name == "Italic")
        setItalic(propertyAs<bool>(name, v));
    else if (name == "Underline")
        setUnderline(propertyAs<bool>(name, v));
    else if (name == "TextColor")
        setTextColor(propertyAs<Color>(name, v));
    else
        return Control::setProperty(name, v);
    return true;
}

// ---- TextArea -------------------------------------------------------------------------

TextArea::TextArea(Window* window) : TextControl(window, new PlainTextEdit(window->content())) {
    auto* doc = new QTextDocument(edit());
    doc->setDocumentLayout(new ParagraphLayout(doc));
    edit()->setDocument(doc);
    // Kerning and ligatures are left out where the script does not need them (Latin, for one):
    // a paragraph is laid out again at each key, and shaping was most of that time.
    QFont f = edit()->font();
    f.setStyleStrategy(QFont::PreferNoShaping);
    edit()->setFont(f);
    edit()->setTabChangesFocus(true);
    edit()->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Every change of the text, typed or set, and only those (not a change of format).
    QObject::connect(edit()->document(), &QTextDocument::contentsChange, edit(),
                     [this](int position, int removed, int added) {
                         noteChange(position, removed, added);
                         if ((removed || added) && !settingText_) raise(event::TextChange);
                     });
}

// The positions of low surrogates follow each change, so that a character position is had
// without reading the text before it. Qt may report a change wider than it was (a whole
// document for its first edit); the reported span is read again, which is right either way.
void TextArea::noteChange(int position, int removed, int added) {
    QTextDocument* doc = edit()->document();
    int length = doc->characterCount() - 1;
    auto first = std::lower_bound(lowSurrogates_.begin(), lowSurrogates_.end(), position);
    auto last = std::lower_bound(first, lowSurrogates_.end(), position + removed);
    lastChange_ = {charsAt(position), removed - static_cast<int32_t>(last - first), 0};
    first = lowSurrogates_.erase(first, last);
    for (auto it = first; it != lowSurrogates_.end(); ++it) *it += added - removed;
    int end = std::min(position + added, length);
    if (end <= position) return;
    QTextCursor c(doc);
    c.setPosition(position);
    c.setPosition(end, QTextCursor::KeepAnchor);
    QString text = c.selectedText();
    std::vector<int> found;
    for (int i = 0; i < text.size(); ++i)
        if (text.at(i).isLowSurrogate()) found.push_back(position + i);
    lowSurrogates_.insert(first, found.begin(), found.end());
    lastChange_.added = end - position - static_cast<int32_t>(found.size());
}

int32_t TextArea::charsAt(int units) const {
    auto before = std::lower_bound(lowSurrogates_.begin(), lowSurrogates_.end(), units);
    return units - static_cast<int32_t>(before - lowSurrogates_.begin());
}

// Where the character after the first `chars` begins (never inside a pair). The j-th low
// surrogate (0-based) has as many characters before it as its position less j, and comes
// before that character when those are at most `chars`.
int TextArea::unitsAt(int32_t chars) const {
    int64_t c = std::max(chars, 0);
    size_t lo = 0, hi = lowSurrogates_.size();
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (int64_t{lowSurrogates_[mid]} - int64_t(mid) <= c)
            lo = mid + 1;
        else
            hi = mid;
    }
    int length = edit()->document()->characterCount() - 1;
    return static_cast<int>(std::min<int64_t>(c + int64_t(lo), length));
}

// The raw text keeps what the plain text would turn into blanks (non-breaking spaces).
QString TextArea::plainText() const {
    return withLineFeeds(edit()->document()->toRawText());
}

String TextArea::Text() const {
    // The separators are made LF on the way; the raw text keeps non-breaking spaces.
    return runtimeText(edit()->document()->toRawText());
}

int32_t TextArea::TextLength() const {
    return charsAt(edit()->document()->characterCount() - 1);
}

String TextArea::TextMid(int32_t start, int32_t count) const {
    if (start < 1) start = 1;
    if (count <= 0) return String("");
    int64_t from = int64_t{start} - 1;
    int64_t to = std::min<int64_t>(from + count, std::numeric_limits<int32_t>::max());
    const int first = unitsAt(static_cast<int32_t>(from));
    const int last = unitsAt(static_cast<int32_t>(to));
    QTextCursor c(edit()->document());
    c.setPosition(first);
    c.setPosition(last, QTextCursor::KeepAnchor);
    return runtimeText(c.selectedText());
}

// Qt replaces a document's text in more than one step; the program sees one change.
void TextArea::setText(const String& text) {
    QString next = normaliseLineEnds(toQ(text));
    if (next == plainText()) return;
    int32_t before = TextLength();
    settingText_ = true;
    if (edit()->isReadOnly()) {
        edit()->setPlainText(next);
    } else {
        // One edit of the user's text, as deleting a selection is: Undo brings the old text back
        // (Clear All would otherwise wipe it for good).
        QTextCursor all(edit()->document());
        all.select(QTextCursor::Document);
        all.insertText(next);
        QTextCursor start(edit()->document());
        edit()->setTextCursor(start);
    }
    settingText_ = false;
    lastChange_ = {0, before, TextLength()};
    raise(event::TextChange);
}

int32_t TextArea::SelStart() const {
    return charsAt(edit()->textCursor().selectionStart());
}

void TextArea::setSelStart(int32_t pos) {
    QTextCursor c = edit()->textCursor();
    c.setPosition(unitsAt(std::max(pos, 0)));
    edit()->setTextCursor(c);
}

int32_t TextArea::SelLength() const {
    QTextCursor c = edit()->textCursor();
    return charsAt(c.selectionEnd()) - charsAt(c.selectionStart());
}

void TextArea::setSelLength(int32_t length) {
    QTextCursor c = edit()->textCursor();
    int32_t start = charsAt(c.selectionStart());
    int64_t end = std::min<int64_t>(int64_t{start} + std::max(length, 0),
                                    std::numeric_limits<int32_t>::max());
    c.setPosition(unitsAt(start));
    c.setPosition(unitsAt(static_cast<int32_t>(end)), QTextCursor::KeepAnchor);
    edit()->setTextCursor(c);
}

String TextArea::SelText() const {
    // The selection's own text, with its line and paragraph breaks as LF, as Text() reads them.
    QTextCursor c = edit()->textCursor();
    return runtimeText(c.selectedText());
}

void TextArea::setSelText(const String& text) {
    edit()->textCursor().insertText(normaliseLineEnds(toQ(text)));
}

void TextArea::SelectAll() {
    edit()->selectAll();
}

void TextArea::Copy() {
    edit()->copy();
}

bool TextArea::ReadOnly() const {
    return edit()->isReadOnly();
}
void TextArea::setReadOnly(bool on) {
    edit()->setReadOnly(on);
    // Read-only text keeps its keyboard caret, so that a screen reader following the caret
    // can read it line by line.
    if (on)
        edit()->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

bool TextArea::AutomaticallyCheckSpelling() const {
    return SpellMarks::of(edit()) != nullptr;
}
void TextArea::setAutomaticallyCheckSpelling(bool on) {
    if (on == AutomaticallyCheckSpelling()) return;
    if (on)
        new SpellMarks(edit(), &spelling::UserDictionary);
    else
        delete SpellMarks::of(edit());
}

void TextArea::Refresh() {
    edit()->viewport()->repaint();
}

bool TextArea::setProperty(std::string_view name, const PropertyValue& v) {
    auto b = [&] { return propertyAs<bool>(name, v); };
    if (name == "Text")
        setText(propertyAs<String>(name, v));
    else if (name == "ReadOnly")
        setReadOnly(b());
    else if (name == "ScrollbarVertical")
        edit()->setVerticalScrollBarPolicy(b() ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    else if (name == "ScrollbarHorizontal") {
        edit()->setHorizontalScrollBarPolicy(b() ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        edit()->setLineWrapMode(b() ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    } else if (name == "Border")
        edit()->setFrameShape(b() ? QFrame::StyledPanel : QFrame::NoFrame);
    else if (name == "AcceptTabs")
        edit()->setTabChangesFocus(!b());
    else if (name == "BackColor") {
        Color c = propertyAs<Color>(name, v);
        QPalette p = edit()->palette();
        p.setColor(QPalette::Base, QColor(c.red, c.green, c.blue));
        edit()->setPalette(p);
    }
    // One font, colour and weight for the whole text either way; the rest are design values
    // without a counterpart in this widget.
    else if (name == "HideSelection")
        static_cast<PlainTextEdit*>(edit())->setHideSelection(b());
    else if (name == "AutomaticallyCheckSpelling")
        setAutomaticallyCheckSpelling(b());
    else if (name == "Multiline" || name == "Styled" || name == "LimitText" ||
             name == "Alignment" || name == "Format" || name == "Mask" || name == "LineSpacing") {
    } else
        return TextControl::setProperty(name, v);
    return true;
}

// ---- PushButton -----------------------------------------------------------------------

PushButton::PushButton(Window* window) : TextControl(window, new QPushButton(window->content())) {
    button()->setAutoDefault(false);
    QObject::connect(button(), &QPushButton::clicked, button(), [this] { raise(event::Action); });
}

String PushButton::Caption() const {
    return fromQ(button()->text());
}

// Programs set captions from timers many times a second; the same caption again is no change, and
// no news for a screen reader either.
void PushButton::setCaption(const String& caption) {
    QString text = toQ(caption);
    if (text == button()->text() && text == button()->accessibleName()) return;
    button()->setText(text);
    button()->setAccessibleName(text);
}

bool PushButton::Default() const {
    return button()->isDefault();
}
// A push button's default property acts only inside a dialog; the runtime's windows are not
// dialogs, so Return and Enter are shortcuts of the button's window.
void PushButton::setDefault(bool on) {
    button()->setDefault(on);
    delete returnKey_.data();
    delete enterKey_.data();
    if (!on) return;
    for (auto [key, kept] :
         {std::pair{Qt::Key_Return, &returnKey_}, std::pair{Qt::Key_Enter, &enterKey_}}) {
        auto* shortcut =
            new QShortcut(QKeySequence(key), button(), nullptr, nullptr, Qt::WindowShortcut);
        *kept = shortcut;
        QObject::connect(shortcut, &QShortcut::activated, button(), [this] {
            // Return presses the button that has the focus, as in the desktop's dialogs: the one
            // a screen reader has just named.
            auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
            if (focused && focused != button() && focused->window() == button()->window()) {
                if (focused->isEnabled()) focused->click();
                return;
            }
            if (button()->isVisible() && button()->isEnabled()) button()->click();
        });
    }
}

// The window's Escape presses it (Window): one shortcut for the key, so that it is never
// ambiguous between the button and the window.
void PushButton::setCancel(bool on) {
    cancel_ = on;
}

void PushButton::Push() {
    button()->click();
}

bool PushButton::setProperty(std::string_view name, const PropertyValue& v) {
    if (name == "Caption")
        setCaption(propertyAs<String>(name, v));
    else if (name == "Default")
        setDefault(propertyAs<bool>(name, v));
    else if (name == "Cancel")
        setCancel(propertyAs<bool>(name, v));
    else if (name == "ButtonStyle") {
    } else
        return TextControl::setProperty(name, v);
    return true;
}

// ---- Label ----------------------------------------------------------------------------

Label::Label(Window* window) : TextControl(window, new QLabel(window->content())) {
    TabStop = false;
    label()->setFocusPolicy(Qt::NoFocus);
}

String Label::Text() const {
    return fromQ(label()->text());
}
void Label::setText(const String& text) {
    label()->setTextFormat(Qt::PlainText);
    label()->setText(toQ(text));
}

void Label::Refresh(bool /*eraseBackground*/) {
    label()->repaint();
}

void Label::setTextAlign(int32_t align) {
    align_ = align;
    Qt::Alignment h = align == 1 ? Qt::AlignHCenter : align == 2 ? Qt::AlignRight : Qt::AlignLeft;
    label()->setAlignment(h | Qt::AlignVCenter);
}

bool Label::setProperty(std::string_view name, const PropertyValue& v) {
    if (name == "Text")
        setText(propertyAs<String>(name, v));
    else if (name == "TextAlign")
        setTextAlign(propertyAs<int32_t>(name, v));
    else if (name == "Multiline")
        label()->setWordWrap(propertyAs<bool>(name, v));
    else if (name == "Selectable")
        label()->setTextInteractionFlags(propertyAs<bool>(name, v) ? Qt::TextSelectableByMouse
                                                                   : Qt::NoTextInteraction);
    else
        return TextControl::setProperty(name, v);
    return true;
}

// ---- Slider ---------------------------------------------------------------------------

Slider::Slider(Window* window) : Control(window, new QSlider(Qt::Horizontal, window->content())) {
    QObject::connect(slider(), &QSlider::valueChanged, slider(),
                     [this](int) { raise(event::ValueChanged); });
}

// A value set before its range holds it (a design set may give Value before Maximum) is
// kept and applied once the range allows it.
int32_t Slider::Minimum() const {
    return slider()->minimum();
}
void Slider::setMinimum(int32_t v) {
    slider()->setMinimum(v);
    slider()->setValue(wanted_);
}
int32_t Slider::Maximum() const {
    return slider()->maximum();
}
void Slider::setMaximum(int32_t v) {
    slider()->setMaximum(v);
    slider()->setValue(wanted_);
}
int32_t Slider::Value() const {
    return slider()->value();
}
// A value set by the program raises ValueChanged even when the slider already shows it: what
// follows the slider (a channel's rate) may not have been told yet.
void Slider::setValue(int32_t v) {
    wanted_ = v;
    int before = slider()->value();
    slider()->setValue(v);
    if (slider()->value() == before) raise(event::ValueChanged);
}
int32_t Slider::LineStep() const {
    return slider()->singleStep();
}
void Slider::setLineStep(int32_t v) {
    slider()->setSingleStep(v);
}
int32_t Slider::PageStep() const {
    return slider()->pageStep();
}
void Slider::setPageStep(int32_t v) {
    slider()->setPageStep(v);
}
bool Slider::LiveScroll() const {
    return slider()->hasTracking();
}
void Slider::setLiveScroll(bool on) {
    slider()->setTracking(on);
}

bool Slider::setProperty(std::string_view name, const PropertyValue& v) {
    auto i = [&] { return propertyAs<int32_t>(name, v); };
    if (name == "Minimum")
        setMinimum(i());
    else if (name == "Maximum")
        setMaximum(i());
    else if (name == "Value")
        setValue(i());
    else if (name == "LineStep")
        setLineStep(i());
    else if (name == "PageStep")
        setPageStep(i());
    else if (name == "LiveScroll")
        setLiveScroll(propertyAs<bool>(name, v));
    else if (name == "TickStyle") {
    } else
        return Control::setProperty(name, v);
    return true;
}

// ---- Timer ----------------------------------------------------------------------------

Timer::Timer(Window* window) : Control(window, nullptr), timer_(new QTimer(window->content())) {
    TabStop = false;
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] {
        if (mode_ == 1) mode_ = 0;
        raise(event::TimerAction);
    });
    apply();
}

// The timer's ticks call back into this object, so the timer goes with it.
Timer::~Timer() {
    delete timer_.data();
}

void Timer::setMode(int32_t mode) {
    mode_ = mode;
    apply();
}

void Timer::setPeriod(int32_t ms) {
    period_ = std::max(ms, 1);
    apply();
}

void Timer::Reset() {
    apply();
}

void Timer::apply() {
    if (!timer_) return;
    timer_->stop();
    if (mode_ == 0) return;
    timer_->setSingleShot(mode_ == 1);
    timer_->start(period_);
}

bool Timer::setProperty(std::string_view name, const PropertyValue& v) {
    if (name == "Mode")
        setMode(propertyAs<int32_t>(name, v));
    else if (name == "Period")
        setPeriod(propertyAs<int32_t>(name, v));
    else
        return Control::setProperty(name, v);
    return true;
}

}  // namespace rb
