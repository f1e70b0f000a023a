// Print Help end to end in the real runtime: the print dialog answered with a PDF file or a
// cancel, and the PDF read back from outside with poppler's pdfinfo and pdftotext.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

#include "help/Help.h"
#include "help/HelpPrinting.h"
#include "help/MenuBar2.h"
#include "platform/rbframework/date.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/testing.h"
#include "tests/support/file_size_limit.h"

namespace {

using rb::Ref;
using rb::String;

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    return out;
}

int pageCount(const std::string& pdf) {
    std::string info = run("pdfinfo '" + pdf + "' 2>/dev/null");
    size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

std::string pageText(const std::string& pdf, int page) {
    std::string n = std::to_string(page);
    return run("pdftotext -layout -f " + n + " -l " + n + " '" + pdf + "' - 2>/dev/null");
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Numbered lines of the same length, short enough for one printed line each.
std::string numberedLines(int n) {
    std::string text;
    char line[64];
    for (int i = 1; i <= n; ++i) {
        std::snprintf(line, sizeof line, "line %03d of the printed body%s", i, i < n ? "\r" : "");
        text += line;
    }
    return text;
}

const QDateTime kChosen(QDate(2026, 3, 14), QTime(9, 26));

class HelpPrintingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        pdf = QDir(folder.path()).filePath("help.pdf").toStdString();
        // However long the dialog stays up, the footer keeps the moment the command was given.
        dialog.onShow = [this] { clock.moment = kChosen.addSecs(3 * 3600 + 17 * 60); };
    }
    void TearDown() override {
        for (const auto& w : rb::detail::openWindows()) w->Close();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    static std::string timeText() {
        rb::Date d(kChosen);
        return d.ShortTime().toUtf8() + ", " + d.ShortDate().toUtf8();
    }
    static bool helpOpen() { return rb::_GetImplicitWindow("Help") != nullptr; }

    QTemporaryDir folder;
    std::string pdf;
    rb::testing::FixedClock clock{kChosen};
    rb::testing::AnsweringPrintDialog dialog;
    rb::testing::RecordingDialogs messages;
};

struct PrintCase {
    const char* name;
    const char* text;  // nullptr: the help text as it stands; "lines:N": N numbered lines
    bool fromHelpWindow;
    int pages;
};

TEST_F(HelpPrintingTest, PrintsEveryPageWithItsFooter) {
    const PrintCase cases[] = {
        {"help text, from the help window", nullptr, true, 1},
        {"help text, from the main window with no help open", nullptr, false, 1},
        // 130 lines: three pages at any 10-point line height from 11.4 to 14.1 points, whichever
        // face stands for "Courier" here.
        {"three pages", "lines:130", true, 3},
        {"no text: the end before any block", "", true, 1},
    };
    for (const PrintCase& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(QString::fromStdString(pdf));
        clock.moment = kChosen;
        dialog.pdfPath = pdf;
        std::string body = c.text ? c.text : "";
        int lines = 0;
        if (body.rfind("lines:", 0) == 0) body = numberedLines(lines = std::stoi(body.substr(6)));
        bool handled;
        if (c.fromHelpWindow) {
            Ref<Help> help = Help::Help_();
            if (c.text) help->TextArea1()->setText(String(body));
            handled = help->_FilePrintHelp_Action();
        } else {
            ASSERT_FALSE(helpOpen());
            handled = help::PrintHelp();
        }
        EXPECT_TRUE(handled);
        EXPECT_FALSE(helpOpen()) << "the help window is closed afterwards";
        EXPECT_TRUE(messages.messages.empty());

        ASSERT_EQ(pageCount(pdf), c.pages);
        std::string all;
        for (int page = 1; page <= c.pages; ++page) {
            std::string text = pageText(pdf, page);
            SCOPED_TRACE("page " + std::to_string(page));
            for (int other = 1; other <= c.pages + 1; ++other) {
                EXPECT_EQ(count(text, "page " + std::to_string(other) + " "),
                          other == page ? 1u : 0u);
            }
            EXPECT_EQ(count(text, timeText()), 1u) << text;
            all += text;
        }
        if (!c.text) {
            EXPECT_NE(all.find("Vellora was developed for the visually impaired."),
                      std::string::npos);
        } else if (!body.empty()) {
            // Each numbered line whole on one page, once, in order.
            size_t from = 0;
            for (int i = 1; i <= lines; ++i) {
                char line[64];
                std::snprintf(line, sizeof line, "line %03d of the printed body", i);
                size_t at = all.find(line, from);
                ASSERT_NE(at, std::string::npos) << line;
                EXPECT_EQ(all.find(line, at + 1), std::string::npos) << line;
                from = at;
            }
        } else {
            EXPECT_EQ(all.find("line"), std::string::npos);
        }
    }
}

TEST_F(HelpPrintingTest, CancelPrintsNothingAndClosesTheHelpWindow) {
    for (bool helpWasOpen : {true, false}) {
        SCOPED_TRACE(helpWasOpen ? "from the help window" : "from the main window");
        dialog.pdfPath.clear();
        dialog.shown = 0;
        bool handled = helpWasOpen ? Help::Help_()->_FilePrintHelp_Action() : help::PrintHelp();
        EXPECT_TRUE(handled);
        EXPECT_EQ(dialog.shown, 1);
        EXPECT_FALSE(helpOpen());
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_TRUE(QDir(folder.path()).isEmpty());
    }
}

TEST_F(HelpPrintingTest, AFileThatCannotBeWrittenIsReported) {
    // A folder that does not exist.
    dialog.pdfPath = QDir(folder.path()).filePath("missing/help.pdf").toStdString();
    EXPECT_TRUE(help::PrintHelp());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_NE(messages.messages[0].find("missing/help.pdf"), std::string::npos);
    EXPECT_FALSE(helpOpen());

    // A write that fails part way, as on a full disk: the old file stays as it was.
    messages.messages.clear();
    dialog.pdfPath = pdf;
    {
        QFile old(QString::fromStdString(pdf));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the earlier printout");
    }
    Ref<Help> help = Help::Help_();
    help->TextArea1()->setText(String(numberedLines(400)));
    {
        FileSizeLimit limit(4096);
        EXPECT_TRUE(help->_FilePrintHelp_Action());
    }
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_NE(messages.messages[0].find("help.pdf"), std::string::npos);
    QFile kept(QString::fromStdString(pdf));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "the earlier printout");
    EXPECT_FALSE(help->isOpen());
}

TEST_F(HelpPrintingTest, ALongTextLetsOtherEventsRunBetweenPages) {
    dialog.pdfPath = pdf;
    Ref<Help> help = Help::Help_();
    help->TextArea1()->setText(String(numberedLines(59 * 40)));
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(1);
    EXPECT_TRUE(help->_FilePrintHelp_Action());
    timer.stop();
    EXPECT_GT(ticks, 0);
    EXPECT_GE(pageCount(pdf), 40);
    EXPECT_TRUE(messages.messages.empty());
}

}  // namespace

int main(int argc, char** argv) {
    rb::RuntimeInit(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    int status = RUN_ALL_TESTS();
    MenuBar2::ReleaseShared();
    rb::RuntimeExit();
    return status;
}
