#include "platform/rbframework/gui/spell_marks.h"

#include <QFontInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <utility>

#include "platform/rbframework/gui/accessible_text.h"
#include "platform/rbframework/gui/spelling.h"

namespace rb {

namespace {

// A blank-free run longer than this is no text of words (a pasted line of data, a long link):
// it is left unchecked rather than read whole at every key typed into it.
constexpr int kLongestChunk = 256;

bool isBlank(QChar c) {
    return c.isSpace() || c.isNull();
}

// A wavy line from x1 to x2 whose crests are `y` and `y + height`, drawn at the text's size so
// that it stays visible in very large type.
void drawWave(QPainter& p, qreal x1, qreal x2, qreal y, qreal size) {
    const qreal half = std::max<qreal>(2, size / 10);
    const qreal amplitude = std::max<qreal>(1.5, size / 18);
    QPainterPath path(QPointF(x1, y));
    bool up = true;
    for (qreal x = x1; x < x2; x += half, up = !up) {
        qreal next = std::min(x + half, x2);
        path.quadTo((x + next) / 2, up ? y - 2 * amplitude : y + 2 * amplitude, next, y);
    }
    QPen pen(Qt::red, std::max<qreal>(1, size / 24));
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

}  // namespace

SpellMarks::SpellMarks(QPlainTextEdit* edit, std::shared_ptr<spelling::Dictionary> dict)
    : QObject(edit), edit_(edit), viewport_(edit->viewport()), dict_(std::move(dict)) {
    setObjectName(QStringLiteral("SpellMarks"));
    pass_.setSingleShot(true);
    pass_.setInterval(0);
    connect(&pass_, &QTimer::timeout, this, &SpellMarks::check);
    connect(edit->document(), &QTextDocument::contentsChange, this, &SpellMarks::changed);
    connect(edit, &QPlainTextEdit::cursorPositionChanged, this, &SpellMarks::caretMoved);
    addUnchecked(0, edit->document()->characterCount() - 1);
    AttachTextAccessibility(edit);
    edit->viewport()->update();
}

SpellMarks::SpellMarks(QPlainTextEdit* edit, std::shared_ptr<spelling::Dictionary> (*source)())
    : SpellMarks(edit, std::shared_ptr<spelling::Dictionary>()) {
    source_ = source;
}

// The editor may be going too, its viewport first.
SpellMarks::~SpellMarks() {
    if (viewport_ && !marks_.empty()) viewport_->update();
}

SpellMarks* SpellMarks::of(const QPlainTextEdit* edit) {
    return edit ? edit->findChild<SpellMarks*>(QStringLiteral("SpellMarks"),
                                               Qt::FindDirectChildrenOnly)
                : nullptr;
}

std::optional<SpellMarks::Range> SpellMarks::markAt(int position) const {
    auto it = std::upper_bound(marks_.begin(), marks_.end(), position,
                               [](int p, const Range& r) { return p < r.end; });
    if (it != marks_.end() && it->start <= position) return *it;
    return std::nullopt;
}

// Marks and unchecked parts follow the change; the words it touched are checked again.
void SpellMarks::changed(int position, int removed, int added) {
    if (!removed && !added) return;
    if (typing_) addUnchecked(typing_->start, typing_->end);
    typing_.reset();
    const int delta = added - removed, end = position + removed;
    size_t before = marks_.size();
    std::erase_if(marks_, [&](const Range& r) { return r.start < end && r.end > position; });
    bool dropped = marks_.size() != before;
    for (Range& r : marks_)
        if (r.start >= end) r.start += delta, r.end += delta;
    std::vector<Range> kept;
    kept.reserve(unchecked_.size() + 1);
    for (const Range& r : unchecked_) {
        if (r.end <= position) {
            kept.push_back(r);
        } else if (r.start >= end) {
            kept.push_back({r.start + delta, r.end + delta});
        } else {
            if (r.start < position) kept.push_back({r.start, position});
            if (r.end > end) kept.push_back({position + added, r.end + delta});
        }
    }
    unchecked_ = std::move(kept);
    const int from = chunkStart(position), to = chunkEnd(position + added);
    before = marks_.size();
    dropMarks(from, to);
    if (dropped || marks_.size() != before) edit_->viewport()->update();
    addUnchecked(from, to);
    typedAt_ = removed + added <= 2 ? position + added : -1;
}

// The word being typed is checked once the caret leaves it.
void SpellMarks::caretMoved() {
    if (!typing_) return;
    int caret = edit_->textCursor().position();
    if (caret >= typing_->start && caret <= typing_->end) return;
    addUnchecked(typing_->start, typing_->end);
    typing_.reset();
    schedule();
}

void SpellMarks::schedule() {
    if (!pass_.isActive()) pass_.start();
}

int SpellMarks::chunkStart(int position) const {
    QTextDocument* doc = edit_->document();
    int p = position, floor = std::max(0, position - kLongestChunk);
    while (p > floor && !isBlank(doc->characterAt(p - 1))) --p;
    return p;
}

int SpellMarks::chunkEnd(int position) const {
    QTextDocument* doc = edit_->document();
    int length = doc->characterCount() - 1;
    int p = std::min(position, length), ceiling = std::min(length, position + kLongestChunk);
    while (p < ceiling && !isBlank(doc->characterAt(p))) ++p;
    return p;
}

void SpellMarks::dropMarks(int from, int to) {
    std::erase_if(marks_, [&](const Range& r) { return r.start < to && r.end > from; });
}

void SpellMarks::addUnchecked(int from, int to) {
    if (from >= to) return;
    auto first = std::lower_bound(unchecked_.begin(), unchecked_.end(), from,
                                  [](const Range& r, int p) { return r.end < p; });
    auto last = first;
    Range merged{from, to};
    while (last != unchecked_.end() && last->start <= to) {
        merged.start = std::min(merged.start, last->start);
        merged.end = std::max(merged.end, last->end);
        ++last;
    }
    first = unchecked_.erase(first, last);
    unchecked_.insert(first, merged);
}

// The unchecked parts within [from, to), now counted as checked.
std::vector<SpellMarks::Range> SpellMarks::takeUnchecked(int from, int to) {
    std::vector<Range> taken, kept;
    for (const Range& r : unchecked_) {
        if (r.end <= from || r.start >= to) {
            kept.push_back(r);
            continue;
        }
        taken.push_back({std::max(r.start, from), std::min(r.end, to)});
        if (r.start < from) kept.push_back({r.start, from});
        if (r.end > to) kept.push_back({to, r.end});
    }
    unchecked_ = std::move(kept);
    return taken;
}

// Checks what is unchecked in view, but not the word the caret is in while it is being typed.
void SpellMarks::check() {
    if (source_) dict_ = std::exchange(source_, nullptr)();
    if (!dict_ || edit_->isReadOnly()) return;
    const int caret = edit_->textCursor().position();
    bool found = false;
    for (const Range& piece : takeUnchecked(visible_.start, visible_.end)) {
        const int from = chunkStart(piece.start), to = chunkEnd(piece.end);
        takeUnchecked(from, to);
        QTextCursor c(edit_->document());
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        const QString text = c.selectedText();
        for (const spelling::Word& w : spelling::WordsToCheck(text)) {
            const int start = from + w.start, end = start + w.length;
            if (typedAt_ >= start && typedAt_ <= end && caret >= start && caret <= end) {
                typing_ = Range{start, end};
                continue;
            }
            const QStringView word = QStringView(text).sliced(w.start, w.length);
            if (!dict_->coversScript(word) || !dict_->misspelt(word)) continue;
            dropMarks(start, end);
            auto at = std::lower_bound(marks_.begin(), marks_.end(), start,
                                       [](const Range& r, int p) { return r.start < p; });
            marks_.insert(at, {start, end});
            found = true;
        }
    }
    if (found) edit_->viewport()->update();
}

void SpellMarks::paint(QPainter& painter, QTextBlock block, QPointF offset) {
    if (edit_->isReadOnly() || (!dict_ && !source_)) return;
    const qreal height = edit_->viewport()->height();
    const qreal size = QFontInfo(edit_->font()).pixelSize();
    int first = -1, last = -1;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    bool below = false;  // a line past the bottom was reached: nothing further is in view
    for (; block.isValid() && offset.y() < height && !below; block = block.next()) {
        QTextLayout* layout = block.layout();
        const QPointF at = offset + layout->position();
        const int lines = block.isVisible() ? layout->lineCount() : 0;
        // Lines stand in order from the top: the first one in view is found by halving, which
        // matters in a paragraph of tens of thousands of lines.
        int lo = 0, hi = lines;
        while (lo < hi) {
            int mid = (lo + hi) / 2;
            QTextLine line = layout->lineAt(mid);
            if (at.y() + line.y() + line.height() <= 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        for (int i = lo; i < lines && !below; ++i) {
            QTextLine line = layout->lineAt(i);
            if (at.y() + line.y() >= height) {
                below = true;
                break;
            }
            const int start = block.position() + line.textStart();
            const int end = start + line.textLength();
            if (first < 0) first = start;
            last = end;
            auto m = std::upper_bound(marks_.begin(), marks_.end(), start,
                                      [](int p, const Range& r) { return p < r.end; });
            for (; m != marks_.end() && m->start < end; ++m) {
                qreal x1 = line.cursorToX(std::max(m->start, start) - block.position());
                qreal x2 = line.cursorToX(std::min(m->end, end) - block.position());
                qreal y = at.y() + line.y() + line.ascent() + line.descent() / 2;
                drawWave(painter, at.x() + x1, at.x() + x2, y, size);
            }
        }
        // The block's height sums all its lines: asked only when a further block may show.
        if (!below)
            offset.ry() += edit_->document()->documentLayout()->blockBoundingRect(block).height();
    }
    painter.restore();
    if (first < 0) return;
    visible_ = {first, last};
    for (const Range& r : unchecked_)
        if (r.start < last && r.end > first) {
            schedule();
            break;
        }
}

}  // namespace rb
