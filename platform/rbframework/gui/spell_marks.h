// The spelling underline of a plain text editor: misspelt words of the part of the text in
// view, and of what the user has just typed, each checked once it is finished. The marks are
// kept beside the document, never in it: the text, its formats and its undo history stay as
// the user made them, and a long paragraph is not laid out again for a mark.
#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QTextBlock>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QPlainTextEdit;
class QRect;

namespace rb {

namespace spelling {
class Dictionary;
}

class SpellMarks final : public QObject {
  public:
    // Marks the words of `edit` that `dict` rejects; a null `dict` marks none. Owned by `edit`
    // (its child); deleting it takes the marks away. [main]
    SpellMarks(QPlainTextEdit* edit, std::shared_ptr<spelling::Dictionary> dict);
    // The same, with the dictionary asked of `source` only when the first words are checked,
    // after the text has first been drawn: loading one takes tens of milliseconds, which a
    // window being opened should not wait for. [main]
    SpellMarks(QPlainTextEdit* edit, std::shared_ptr<spelling::Dictionary> (*source)());
    ~SpellMarks() override;

    // The marks of `edit`, or null when its spelling is not checked. [main]
    static SpellMarks* of(const QPlainTextEdit* edit);

    struct Range {
        int start, end;  // document positions, end exclusive
    };
    // Misspelt words, ascending, never overlapping. [main]
    const std::vector<Range>& marks() const { return marks_; }
    // The mark holding the character at `position`. [main]
    std::optional<Range> markAt(int position) const;

    // Draws the marks of the lines in view, after the editor has drawn its text, and notes
    // which part of the text is in view. `first` and `offset` are the editor's first visible
    // block and its content offset, as its own painting uses them. [main]
    void paint(QPainter& painter, QTextBlock first, QPointF offset);

  private:
    void changed(int position, int removed, int added);
    void caretMoved();
    void check();
    void schedule();
    int chunkStart(int position) const;
    int chunkEnd(int position) const;
    void dropMarks(int from, int to);
    void addUnchecked(int from, int to);
    std::vector<Range> takeUnchecked(int from, int to);

    QPlainTextEdit* edit_;
    QPointer<QWidget> viewport_;
    std::shared_ptr<spelling::Dictionary> dict_;
    std::shared_ptr<spelling::Dictionary> (*source_)() = nullptr;  // asked once, then cleared
    std::vector<Range> marks_;
    std::vector<Range> unchecked_;  // not yet checked, ascending, merged
    std::optional<Range> typing_;   // the word under the caret that the user is typing
    int typedAt_ = -1;              // the end of the last small edit, until the next change
    Range visible_{0, 0};
    QTimer pass_;
};

}  // namespace rb
