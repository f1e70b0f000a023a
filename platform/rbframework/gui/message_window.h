// The window of every modal message the runtime shows (MsgBox, MessageDialog): an optional
// icon beside a main text and an explanation, and the buttons below them. Whatever the texts
// hold, it stays within the available area of its screen: a word too long for a line breaks,
// a text too long for the screen scrolls (and can be scrolled from the keyboard), and the
// buttons stay in view. The texts are shown and read out exactly as given.
#pragma once

#include <QDialog>
#include <QString>
#include <QStyle>

#include <optional>

class QDialogButtonBox;
class QScrollArea;

namespace rb::detail {

class MessageWindow final : public QDialog {
  public:
    static constexpr int kOneLine = -1;

    struct Content {
        QString title;  // empty: the application's name
        QString message;
        QString explanation;  // empty: none
        bool boldMessage = false;
        // The least width of the message in pixels; 0: as the text asks; kOneLine: as wide as
        // its longest line up to half the screen (500 pixels at most), as message boxes are.
        int messageMinimumWidth = 0;
        std::optional<QStyle::StandardPixmap> icon;
        // Announced to a screen reader as an alert when it appears, as a message box is.
        bool alert = false;
    };

    MessageWindow(const Content& content, QWidget* parent);

    // Where the caller adds the buttons; the window does not close by itself but on Escape.
    QDialogButtonBox* buttons() const { return buttons_; }
    bool isAlert() const { return alert_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void fitToScreen();

    QScrollArea* texts_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    bool alert_ = false;
};

}  // namespace rb::detail
