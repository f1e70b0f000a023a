// ClipboardZRQ loaded by the real host inside a QApplication: the system clipboard, shared
// with the widgets' own copy and paste.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTextEdit>

#include "tests/clipboard/clipboard_helpers.h"

namespace {

using namespace cliptest;

// "Grüße € 👋", two lines.
const QString kSample = QString::fromUtf8(
    "Gr\xC3\xBC\xC3\x9F"
    "e \xE2\x82\xAC\n\xF0\x9F\x91\x8B");

class ClipboardPluginQt : public ClipboardFixture {
  protected:
    static QClipboard* clipboard() { return QGuiApplication::clipboard(); }
};

TEST_F(ClipboardPluginQt, TextCopiedByATextAreaIsSeen) {
    QTextEdit edit;
    edit.setPlainText(kSample);
    edit.selectAll();
    edit.copy();
    ASSERT_EQ(clipboard()->text(), kSample);

    EXPECT_TRUE(clip().TextAvailable());
    EXPECT_TRUE(clip().UnicodeTextAvailable());
    const std::string utf8 = kSample.toStdString();
    EXPECT_EQ(clip().TextSize(), static_cast<int32_t>(utf8.size()));
    EXPECT_EQ(clip().UnicodeTextSize(), kSample.size());
    EXPECT_EQ(bytesOf(clip().GetText()), utf8);
    String unicode = clip().GetUnicodeText();
    EXPECT_EQ(unicode.encoding(), rb::encoding::UTF8);
    EXPECT_EQ(bytesOf(unicode), utf8);
}

TEST_F(ClipboardPluginQt, ClearEmptiesTheSystemClipboard) {
    clipboard()->setText(QStringLiteral("to be cleared"));
    clip().Clear();
    EXPECT_TRUE(clipboard()->text().isEmpty());
    const QMimeData* data = clipboard()->mimeData();
    EXPECT_TRUE(!data || data->formats().isEmpty());
    EXPECT_FALSE(clip().TextAvailable());
}

TEST_F(ClipboardPluginQt, AddedUnicodeTextIsTheClipboardText) {
    clip().AddUnicodeText(String(kSample.toStdString()).convert(rb::encoding::UTF16));
    EXPECT_EQ(clipboard()->text(), kSample);

    // Text in another encoding reaches the clipboard as the same text.
    clip().AddUnicodeText(String("caf\xC3\xA9"));
    EXPECT_EQ(clipboard()->text(), QString::fromUtf8("caf\xC3\xA9"));
    clip().AddText(String::fromBytes("na\x95ve", 5, rb::encoding::MacRoman));
    EXPECT_EQ(clipboard()->text(), QString::fromUtf8("na\xC3\xAFve"));
}

TEST_F(ClipboardPluginQt, AddedTextIsPastedByATextArea) {
    clip().AddText(String(kSample.toStdString()));
    QTextEdit edit;
    edit.paste();
    EXPECT_EQ(edit.toPlainText(), kSample);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
