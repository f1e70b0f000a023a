// A plain-text label whose lines break between words and, where one word is wider than the
// line, inside that word, so that no text makes it wider than the room it is given. It sizes
// itself as a word-wrapping QLabel does. Its text stays as set: a screen reader reads exactly
// the characters it was given, with nothing inserted to make the breaks.
#pragma once

#include <QFont>
#include <QLabel>
#include <QString>
#include <QTextLayout>

#include <memory>
#include <optional>

namespace rb::detail {

class WrappingLabel final : public QLabel {
  public:
    WrappingLabel(const QString& text, QWidget* parent);
    ~WrappingLabel() override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;
    // The width of its longest line, were no line broken.
    int unbrokenWidth() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Extent {
        int width = 0, height = 0;
    };
    // The text laid out in lines of at most `width` pixels; the layout is kept for painting.
    Extent layOut(int width) const;
    // The label's whole size for a given width, or (at -1) for a width it picks itself.
    QSize sizeForWidth(int width) const;
    // Starts again when the text, the font or the direction changed since the last layout.
    void refresh() const;

    mutable std::unique_ptr<QTextLayout> layout_;
    mutable QString laidText_;
    mutable QFont laidFont_;
    mutable Qt::LayoutDirection laidDirection_ = Qt::LeftToRight;
    mutable int laidWidth_ = -1;
    mutable Extent laid_;
    mutable std::optional<QSize> hint_, minimumHint_;
};

}  // namespace rb::detail
