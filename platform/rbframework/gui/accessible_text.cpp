#include "platform/rbframework/gui/accessible_text.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

#include "platform/rbframework/gui/spell_marks.h"

namespace rb {

namespace {

QString withLineFeeds(QString s) {
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    s.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return s;
}

// Qt's own interface for a plain text editor cannot be extended (it is private to Qt), so this
// one gives what it gives, in the same terms (offsets are the document's positions, lines the
// lines as shown), and adds the spelling to the attributes.
class TextAccessible final : public QAccessibleWidget,
                             public QAccessibleTextInterface,
                             public QAccessibleEditableTextInterface {
  public:
    explicit TextAccessible(QPlainTextEdit* edit)
        : QAccessibleWidget(edit, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        if (t == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.multiLine = true;
        s.selectableText = true;
        s.readOnly = edit()->isReadOnly();
        s.editable = !s.readOnly;
        return s;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return withLineFeeds(edit()->document()->toRawText());
        return QAccessibleWidget::text(t);
    }

    void setText(QAccessible::Text t, const QString& text) override {
        if (t != QAccessible::Value) return QAccessibleWidget::setText(t, text);
        if (!edit()->isReadOnly()) edit()->setPlainText(text);
    }

    // ---- text
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        QTextCursor c = edit()->textCursor();
        if (index == 0 && c.hasSelection()) *start = c.selectionStart(), *end = c.selectionEnd();
    }
    int selectionCount() const override { return edit()->textCursor().hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index != 0) return;
        QTextCursor c = edit()->textCursor();
        c.clearSelection();
        edit()->setTextCursor(c);
    }
    void setSelection(int index, int start, int end) override {
        if (index != 0) return;
        QTextCursor c = edit()->textCursor();
        c.setPosition(clamp(start));
        c.setPosition(clamp(end), QTextCursor::KeepAnchor);
        edit()->setTextCursor(c);
    }
    int cursorPosition() const override { return edit()->textCursor().position(); }
    void setCursorPosition(int position) override {
        QTextCursor c = edit()->textCursor();
        c.setPosition(clamp(position));
        edit()->setTextCursor(c);
    }
    QString text(int start, int end) const override {
        QTextCursor c(edit()->document());
        c.setPosition(clamp(start));
        c.setPosition(clamp(end), QTextCursor::KeepAnchor);
        return withLineFeeds(c.selectedText());
    }
    int characterCount() const override { return edit()->document()->characterCount() - 1; }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                         int* end) const override {
        std::tie(*start, *end) = boundaries(offset, type);
        return text(*start, *end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                             int* end) const override {
        int first = boundaries(offset, type).first;
        if (first <= 0) {
            *start = *end = 0;
            return {};
        }
        return textAtOffset(first - 1, type, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                            int* end) const override {
        int last = boundaries(offset, type).second;
        if (last >= characterCount()) {
            *start = *end = characterCount();
            return {};
        }
        return textAtOffset(last, type, start, end);
    }

    QRect characterRect(int offset) const override {
        QTextCursor c(edit()->document());
        c.setPosition(clamp(offset));
        QRect r = edit()->cursorRect(c);
        QChar ch = edit()->document()->characterAt(c.position());
        r.setWidth(std::max(1, QFontMetrics(edit()->font()).horizontalAdvance(ch)));
        return QRect(edit()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        QPoint at = edit()->viewport()->mapFromGlobal(point);
        if (!edit()->viewport()->rect().contains(at)) return -1;
        return edit()->cursorForPosition(at).position();
    }
    // Showing a part of the text would move the caret, which belongs to the user.
    void scrollToSubstring(int, int) override {}

    // The text's one style, and "invalid:spelling" over a misspelt word; the run reported is
    // the word, or the stretch between two marks.
    QString attributes(int offset, int* start, int* end) const override {
        const int count = characterCount();
        if (offset == -2) offset = cursorPosition();
        if (offset == -1 || offset == count) offset = count - 1;
        if (offset < 0 || offset > count) {
            *start = *end = -1;
            return {};
        }
        const QFont f = edit()->font();
        const QColor fg = edit()->palette().color(QPalette::Text);
        const QColor bg = edit()->palette().color(QPalette::Base);
        auto rgb = [](const QColor& c) {
            return QStringLiteral("rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
        };
        QString attrs = QStringLiteral(
                            "font-family:\"%1\";font-size:%2pt;font-weight:%3;"
                            "color:%4;background-color:%5;")
                            .arg(f.family())
                            .arg(QFontInfo(f).pointSizeF())
                            .arg(f.bold() ? 700 : 400)
                            .arg(rgb(fg), rgb(bg));
        *start = 0;
        *end = count;
        const SpellMarks* marks = SpellMarks::of(edit());
        if (!marks || edit()->isReadOnly()) return attrs;
        if (auto m = marks->markAt(offset)) {
            *start = m->start;
            *end = m->end;
            return attrs + QStringLiteral("invalid:spelling;");
        }
        for (const SpellMarks::Range& r : marks->marks()) {
            if (r.end <= offset) *start = r.end;
            if (r.start > offset) {
                *end = r.start;
                break;
            }
        }
        return attrs;
    }

    // ---- editable text
    void deleteText(int start, int end) override { replaceText(start, end, {}); }
    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
    void replaceText(int start, int end, const QString& text) override {
        if (edit()->isReadOnly()) return;
        QTextCursor c(edit()->document());
        c.setPosition(clamp(start));
        c.setPosition(clamp(end), QTextCursor::KeepAnchor);
        c.insertText(text);
    }

  private:
    QPlainTextEdit* edit() const { return static_cast<QPlainTextEdit*>(widget()); }
    int clamp(int position) const { return std::clamp(position, 0, characterCount()); }

    std::pair<int, int> boundaries(int offset, QAccessible::TextBoundaryType type) const {
        const int count = characterCount();
        if (offset >= count) return {count, count};
        if (offset < 0) return {0, 0};
        QTextCursor c(edit()->document());
        c.setPosition(offset);
        auto span = [&](QTextCursor::MoveOperation from, QTextCursor::MoveOperation to) {
            c.movePosition(from);
            int first = c.position();
            c.movePosition(to, QTextCursor::KeepAnchor);
            return std::pair{first, c.position()};
        };
        switch (type) {
            case QAccessible::CharBoundary:
                return {offset, c.movePosition(QTextCursor::NextCharacter) ? c.position() : count};
            case QAccessible::WordBoundary:
                return span(QTextCursor::StartOfWord, QTextCursor::EndOfWord);
            case QAccessible::LineBoundary:
                return span(QTextCursor::StartOfLine, QTextCursor::EndOfLine);
            case QAccessible::ParagraphBoundary:
                return span(QTextCursor::StartOfBlock, QTextCursor::EndOfBlock);
            case QAccessible::SentenceBoundary: {
                QTextBlock block = c.block();
                const QString text = block.text();
                QTextBoundaryFinder finder(QTextBoundaryFinder::Sentence, text);
                finder.setPosition(offset - block.position());
                int from = finder.isAtBoundary() ? finder.position() : finder.toPreviousBoundary();
                int to = finder.toNextBoundary();
                if (from < 0) from = 0;
                if (to < 0) to = int(text.size());
                return {block.position() + from, block.position() + to};
            }
            case QAccessible::NoBoundary:
                break;
        }
        return {0, count};
    }
};

QAccessibleInterface* factory(const QString& /*className*/, QObject* object) {
    auto* edit = qobject_cast<QPlainTextEdit*>(object);
    if (!edit || !SpellMarks::of(edit)) return nullptr;
    return new TextAccessible(edit);
}

}  // namespace

void AttachTextAccessibility(QPlainTextEdit* edit) {
    QAccessible::removeFactory(factory);
    QAccessible::installFactory(factory);
    // Qt may have made its own interface for the editor already (while it was being set up):
    // that one goes, and the next question is answered by this one.
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(edit);
    if (made && !dynamic_cast<TextAccessible*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

}  // namespace rb
