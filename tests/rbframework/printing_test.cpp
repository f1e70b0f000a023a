// The runtime's printing and dates: text laid out block by block onto a real PDF (read back
// with poppler's pdftotext), and Date's short formats from a fixed clock.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

#include "platform/rbframework/date.h"
#include "platform/rbframework/gui/printing.h"
#include "platform/rbframework/testing.h"
#include "tests/support/file_size_limit.h"

namespace {

std::string pdfText(const std::string& pdf) {
    std::string out;
    FILE* pipe = popen(("pdftotext '" + pdf + "' - 2>/dev/null").c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    return out;
}

TEST(Date, GivesTheClocksMomentInTheShortFormats) {
    const QDateTime moment(QDate(2026, 12, 31), QTime(23, 59, 58));
    rb::testing::FixedClock clock(moment);
    auto d = rb::make<rb::Date>();
    EXPECT_EQ(d->ShortTime().toUtf8(),
              QLocale::system().toString(moment.time(), QLocale::ShortFormat).toStdString());
    EXPECT_EQ(d->ShortDate().toUtf8(),
              QLocale::system().toString(moment.date(), QLocale::ShortFormat).toStdString());
    clock.moment = moment.addDays(1);
    EXPECT_EQ(d->ShortDate().toUtf8(),
              QLocale::system().toString(moment.date(), QLocale::ShortFormat).toStdString())
        << "a Date keeps the moment it was made";
}

// Words "w0001".."wNNNN" in one paragraph, and a word longer than any line.
std::string words(int n) {
    std::string text;
    char word[16];
    for (int i = 1; i <= n; ++i) {
        std::snprintf(word, sizeof word, "w%04d ", i);
        text += word;
    }
    return text + "\n" + std::string(200, 'x');
}

struct BlockCase {
    const char* name;
    double height;  // points
};

TEST(StyledTextPrinter, DrawsEveryLineOnceWholeInOrderWhateverTheBlockHeight) {
    QTemporaryDir folder;
    rb::testing::AnsweringPrintDialog dialog;
    rb::testing::RecordingDialogs messages;
    const BlockCase cases[] = {
        {"a full page", 672},
        {"a few lines", 40},
        {"lower than one line: one line a block", 1},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.name);
        dialog.pdfPath =
            QDir(folder.path()).filePath(QString("%1.pdf").arg(c.height)).toStdString();
        int blocks = 0;
        {
            rb::Ref<rb::Graphics> g = rb::OpenPrinterDialog();
            ASSERT_TRUE(g);
            g->setTextFont("Courier");
            g->setTextSize(10);
            auto printer =
                rb::make<rb::StyledTextPrinter>(g, QString::fromStdString(words(600)), 200);
            while (!printer->EOF_()) {
                if (blocks) g->NextPage();
                printer->DrawBlock(36, 36, c.height);
                ASSERT_LT(++blocks, 2000);
            }
            EXPECT_TRUE(g->finish().isNil());
        }
        EXPECT_TRUE(messages.messages.empty());
        std::string text = pdfText(dialog.pdfPath);
        size_t from = 0;
        for (int i = 1; i <= 600; ++i) {
            char word[16];
            std::snprintf(word, sizeof word, "w%04d", i);
            size_t at = text.find(word, from);
            ASSERT_NE(at, std::string::npos) << word;
            EXPECT_EQ(text.find(word, at + 1), std::string::npos) << word;
            from = at;
        }
        // The long word is broken across lines but nothing of it is lost.
        size_t xs = 0;
        for (char ch : text) xs += ch == 'x';
        EXPECT_EQ(xs, 200u);
        if (c.height == 1) {
            // One line a block: 200 points hold fewer than six of the words.
            EXPECT_GT(blocks, 600 / 6);
        }
    }
}

TEST(StyledTextPrinter, AnEmptyTextIsAtItsEndAtOnce) {
    QTemporaryDir folder;
    rb::testing::AnsweringPrintDialog dialog;
    dialog.pdfPath = QDir(folder.path()).filePath("empty.pdf").toStdString();
    rb::Ref<rb::Graphics> g = rb::OpenPrinterDialog();
    ASSERT_TRUE(g);
    EXPECT_TRUE(rb::make<rb::StyledTextPrinter>(g, QString(), 492)->EOF_());
    EXPECT_FALSE(rb::make<rb::StyledTextPrinter>(g, QString("\n"), 492)->EOF_());
}

// The runtime tells its caller why the pages did not go out; showing it is the caller's. The
// disk fills between pages or only in the last write, which comes up short without an error.
TEST(Graphics, FinishReturnsTheFailureAndShowsNothing) {
    QTemporaryDir folder;
    rb::testing::AnsweringPrintDialog dialog;
    rb::testing::RecordingDialogs messages;
    for (int pages : {20, 1}) {
        SCOPED_TRACE(pages);
        dialog.pdfPath = QDir(folder.path()).filePath("full.pdf").toStdString();
        {
            QFile old(QString::fromStdString(dialog.pdfPath));
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("the earlier printout");
        }
        rb::Ref<rb::Graphics> g = rb::OpenPrinterDialog();
        ASSERT_TRUE(g);
        rb::String failure;
        {
            FileSizeLimit limit(1024);
            for (int page = 0; page < pages; ++page) {
                if (page) g->NextPage();
                g->DrawString(rb::String(words(600)), 36, 36, 468);
            }
            failure = g->finish();
        }
        EXPECT_NE(failure.toUtf8().find("full.pdf"), std::string::npos) << failure.toUtf8();
        EXPECT_EQ(g->finish().toUtf8(), failure.toUtf8());
        g = nullptr;
        EXPECT_TRUE(messages.messages.empty());
        QFile kept(QString::fromStdString(dialog.pdfPath));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "the earlier printout");
    }
}

TEST(OpenPrinterDialog, CancelGivesNil) {
    rb::testing::AnsweringPrintDialog dialog;
    EXPECT_FALSE(rb::OpenPrinterDialog());
    EXPECT_EQ(dialog.shown, 1);
}

}  // namespace
