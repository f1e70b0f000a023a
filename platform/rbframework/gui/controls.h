// The runtime's controls over Qt widgets.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <vector>

#include "platform/rbframework/gui/control.h"

namespace rb {

class Graphics;
class StyledTextPrinter;

// A control that shows text in one font: family, size, weight, slant, underline, colour.
class TextControl : public Control {
  public:
    String TextFont() const;
    void setTextFont(const String& family);  // "System" is the desktop's own font
    double TextSize() const;
    void setTextSize(double pixels);  // 0 is the desktop's own size
    bool Bold() const;
    void setBold(bool on);
    bool Italic() const;
    void setItalic(bool on);
    bool Underline() const;
    void setUnderline(bool on);
    Color TextColor() const;
    void setTextColor(Color c);
    // The unit of TextSize: 0, the desktop's points, is the only one this runtime offers.
    int32_t TextUnit() const { return 0; }
    void setTextUnit(int32_t) {}

  protected:
    using Control::Control;
    bool setProperty(std::string_view name, const PropertyValue& value) override;
};

// Positions count characters as the runtime's Len does (a character outside the Basic
// Multilingual Plane is one, not Qt's two units). Line ends given as CR, LF or CRLF are all
// shown as line breaks and read back as LF. Positions, lengths and pieces of the text cost the
// piece's length, not the whole text's: a handler that runs on every key can use them on a
// text of any size.
class TextArea final : public TextControl {
  public:
    explicit TextArea(Window* window);
    const char* className() const override { return "TextArea"; }

    String Text() const;
    void setText(const String& text);
    int32_t TextLength() const;  // Len(Text())
    // Mid(Text(), start, count): 1-based, as the runtime's Mid.
    String TextMid(int32_t start, int32_t count) const;
    int32_t SelStart() const;
    void setSelStart(int32_t pos);
    int32_t SelLength() const;
    void setSelLength(int32_t length);
    String SelText() const;
    void setSelText(const String& text);  // replaces the selection
    void SelectAll();
    void Copy();  // the selection to the system clipboard
    bool ReadOnly() const;
    void setReadOnly(bool on);
    // Misspelt words are underlined once finished (never in a read-only text); off by default.
    bool AutomaticallyCheckSpelling() const;
    void setAutomaticallyCheckSpelling(bool on);
    void Refresh();
    // The text's latest change, in characters: where it began, how many it took away and how
    // many it put there. Setting the text counts as one change of all of it. Read it in the
    // TextChange handler, which runs once for each change.
    struct Change {
        int32_t position = 0, removed = 0, added = 0;
    };
    Change LastChange() const { return lastChange_; }
    // Kept for the program; lines are set at the font's own spacing.
    double LineSpacing() const { return lineSpacing_; }
    void setLineSpacing(double v) { lineSpacing_ = v; }
    QPlainTextEdit* edit() const { return static_cast<QPlainTextEdit*>(widget()); }
    // The text laid out at `width` points for printing on `g` (printing.h).
    Ref<rb::StyledTextPrinter> StyledTextPrinter(const Ref<Graphics>& g, double width) const;

  protected:
    bool setProperty(std::string_view name, const PropertyValue& value) override;

  private:
    QString plainText() const;
    // Runtime character positions against the document's UTF-16 positions.
    int32_t charsAt(int units) const;
    int unitsAt(int32_t chars) const;
    void noteChange(int position, int removed, int added);
    double lineSpacing_ = 1.0;
    bool settingText_ = false;
    Change lastChange_;
    std::vector<int> lowSurrogates_;  // the document's positions of them, ascending
};

class PushButton final : public TextControl {
  public:
    explicit PushButton(Window* window);
    const char* className() const override { return "PushButton"; }

    String Caption() const;
    void setCaption(const String& caption);
    bool Default() const;
    void setDefault(bool on);  // Return and Enter push it
    bool Cancel() const { return cancel_; }
    void setCancel(bool on);  // Escape pushes it
    void Push();              // as a click
    QPushButton* button() const { return static_cast<QPushButton*>(widget()); }

  protected:
    bool setProperty(std::string_view name, const PropertyValue& value) override;

  private:
    bool cancel_ = false;
    QPointer<QObject> returnKey_, enterKey_;  // shortcuts of the window while Default
};

class Label final : public TextControl {
  public:
    explicit Label(Window* window);
    const char* className() const override { return "Label"; }

    String Text() const;
    void setText(const String& text);
    int32_t TextAlign() const { return align_; }  // 0 left, 1 centre, 2 right
    void setTextAlign(int32_t align);
    // Redraws now, not at the next turn of the event loop (the label is always erased first).
    void Refresh(bool eraseBackground = true);
    QLabel* label() const { return static_cast<QLabel*>(widget()); }

  protected:
    bool setProperty(std::string_view name, const PropertyValue& value) override;

  private:
    int32_t align_ = 0;
};

class Slider final : public Control {
  public:
    explicit Slider(Window* window);
    const char* className() const override { return "Slider"; }

    int32_t Minimum() const;
    void setMinimum(int32_t v);
    int32_t Maximum() const;
    void setMaximum(int32_t v);
    int32_t Value() const;
    void setValue(int32_t v);  // clamped to the range; raises ValueChanged, changed or not
    int32_t LineStep() const;
    void setLineStep(int32_t v);
    int32_t PageStep() const;
    void setPageStep(int32_t v);
    bool LiveScroll() const;
    void setLiveScroll(bool on);
    QSlider* slider() const { return static_cast<QSlider*>(widget()); }

  protected:
    bool setProperty(std::string_view name, const PropertyValue& value) override;

  private:
    int32_t wanted_ = 0;
};

// Non-visual: fires Action every Period milliseconds (Mode 2), once (Mode 1), or not (Mode 0).
class Timer final : public Control {
  public:
    explicit Timer(Window* window);
    ~Timer() override;
    const char* className() const override { return "Timer"; }

    int32_t Mode() const { return mode_; }
    void setMode(int32_t mode);
    int32_t Period() const { return period_; }
    void setPeriod(int32_t ms);
    void Reset();  // starts the period anew

  protected:
    bool setProperty(std::string_view name, const PropertyValue& value) override;

  private:
    void apply();
    QPointer<QTimer> timer_;
    int32_t mode_ = 2;
    int32_t period_ = 1000;
};

}  // namespace rb
