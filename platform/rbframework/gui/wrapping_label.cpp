#include "platform/rbframework/gui/wrapping_label.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QTextBoundaryFinder>
#include <QTextLine>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace rb::detail {

namespace {

// Longer than this, a stretch of text with no break chance could not fit any line the label
// picks for itself, so it may break between any two characters.
constexpr qsizetype kLongestUnbroken = 80;

// What is drawn for `text`: line ends as a label draws them, and a zero-width break chance
// between the characters of each overlong unbreakable stretch. Without those, the layout
// looks for each line's end up to the end of the stretch, which is slow for a long one.
QString shownText(const QString& text) {
    QString lines = text;
    for (QChar& c : lines) {
        if (c == u'\n')
            c = QChar::LineSeparator;
        else if (c == u'\r')
            c = u' ';
    }
    if (lines.size() <= kLongestUnbroken) return lines;

    QString shown;
    shown.reserve(lines.size());
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, lines);
    qsizetype from = 0;
    for (qsizetype to = breaks.toNextBoundary(); to != -1; to = breaks.toNextBoundary()) {
        const QStringView stretch = QStringView(lines).mid(from, to - from);
        from = to;
        if (stretch.size() <= kLongestUnbroken) {
            shown += stretch;
            continue;
        }
        // Between whole characters only, so no accent or surrogate half is parted from its base.
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, stretch.data(),
                                       stretch.size());
        qsizetype start = 0;
        for (qsizetype end = characters.toNextBoundary(); end != -1;
             end = characters.toNextBoundary()) {
            if (start > 0) shown += QChar(0x200B);  // zero-width space
            shown += stretch.mid(start, end - start);
            start = end;
        }
    }
    return shown;
}

}  // namespace

WrappingLabel::WrappingLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);  // what gives the label its height-for-width size policy
    setTextInteractionFlags(Qt::NoTextInteraction);
    setText(text);
}

WrappingLabel::~WrappingLabel() = default;

void WrappingLabel::refresh() const {
    if (layout_ && laidFont_ == font() && laidDirection_ == layoutDirection() &&
        laidText_ == text())
        return;
    laidText_ = text();
    laidFont_ = font();
    laidDirection_ = layoutDirection();
    layout_ = std::make_unique<QTextLayout>(shownText(laidText_), laidFont_, this);
    laidWidth_ = -1;
    hint_.reset();
    minimumHint_.reset();
}

WrappingLabel::Extent WrappingLabel::layOut(int width) const {
    refresh();
    width = std::max(width, 0);
    if (width == laidWidth_) return laid_;
    QTextOption option(QStyle::visualAlignment(laidDirection_, alignment()) &
                       Qt::AlignHorizontal_Mask);
    option.setTextDirection(laidDirection_);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout_->setTextOption(option);

    const qreal leading = fontMetrics().leading();
    qreal y = 0, widest = 0;
    layout_->beginLayout();
    for (QTextLine line = layout_->createLine(); line.isValid(); line = layout_->createLine()) {
        line.setLineWidth(width);
        if (line.lineNumber() > 0) y += leading;
        y = std::ceil(y);  // whole pixels, as a label places its lines
        line.setPosition(QPointF(0, y));
        y += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout_->endLayout();
    laidWidth_ = width;
    laid_ = {static_cast<int>(std::ceil(widest)), static_cast<int>(std::ceil(y))};
    return laid_;
}

QSize WrappingLabel::sizeForWidth(int width) const {
    if (minimumWidth() > 0) width = std::max(width, minimumWidth());
    const QMargins m = contentsMargins();
    const int extraWidth = 2 * margin() + m.left() + m.right();
    const int extraHeight = 2 * margin() + m.top() + m.bottom();
    const QFontMetrics metrics = fontMetrics();
    Extent e{metrics.averageCharWidth(), metrics.lineSpacing()};
    if (!text().isEmpty()) {
        // Left to itself, a label takes some 80 characters a line, and narrower lines for a
        // short text, so that a few words do not stretch into one long line.
        const bool pick = width < 0;
        if (pick) width = std::min(metrics.averageCharWidth() * 80, maximumWidth());
        width -= extraWidth;
        e = layOut(width);
        if (pick && e.height < 4 * metrics.lineSpacing() && e.width > width / 2)
            e = layOut(width / 2);
        if (pick && e.height < 2 * metrics.lineSpacing() && e.width > width / 4)
            e = layOut(width / 4);
    }
    return QSize(e.width + extraWidth, e.height + extraHeight).expandedTo(minimumSize());
}

QSize WrappingLabel::sizeHint() const {
    ensurePolished();
    refresh();
    if (!hint_) hint_ = sizeForWidth(-1);
    return *hint_;
}

QSize WrappingLabel::minimumSizeHint() const {
    QSize hint = sizeHint();
    if (!minimumHint_) {
        // Any word may break, so it could narrow to one character a line; it stops at a few,
        // which still read as words and spare a long text as many lines as it has characters.
        const int fewCharacters = fontMetrics().averageCharWidth() * 12;
        minimumHint_ = QSize(std::max(minimumWidth(), std::min(hint.width(), fewCharacters)),
                             std::min(hint.height(), sizeForWidth(QWIDGETSIZE_MAX).height()));
    }
    return *minimumHint_;
}

int WrappingLabel::heightForWidth(int width) const {
    return sizeForWidth(width).height();
}

int WrappingLabel::unbrokenWidth() const {
    const QMargins m = contentsMargins();
    return layOut(QWIDGETSIZE_MAX).width + 2 * margin() + m.left() + m.right();
}

void WrappingLabel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    drawFrame(&painter);
    if (text().isEmpty()) return;
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const Extent e = layOut(room.width());
    int top = room.top();
    if (alignment() & Qt::AlignBottom)
        top = room.bottom() + 1 - e.height;
    else if (alignment() & Qt::AlignVCenter)
        top += (room.height() - e.height) / 2;
    painter.setPen(palette().color(foregroundRole()));
    layout_->draw(&painter, QPointF(room.left(), top), {}, event->rect());
}

}  // namespace rb::detail
