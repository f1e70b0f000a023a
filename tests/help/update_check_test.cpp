// The update check, the version window and the about box in the real runtime, against a real
// HTTP server on 127.0.0.1 that serves each case: replies of every shape, and servers that
// refuse, never answer, drip, flood, send garbage or hang up mid-body. Message boxes, the offer
// dialog and the links handed to the desktop are answered and recorded through the seams.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "help/AboutBox.h"
#include "help/links.h"
#include "help/selfTest.h"
#include "help/updateWindow.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/runtime.h"
#include "platform/rbframework/testing.h"
#include "tests/support/env.h"

namespace {

using rb::DialogChoice;
using rb::Ref;

// What the server does with each connection once the request has come.
using Behaviour = std::function<void(QTcpSocket*)>;

class TestServer {
  public:
    explicit TestServer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                auto* got = new QByteArray;
                QObject::connect(s, &QObject::destroyed, [got] { delete got; });
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, got] {
                    if (got->contains("\r\n\r\n")) return;
                    *got += s->readAll();
                    if (got->contains("\r\n\r\n")) {
                        requests.push_back(got->toStdString());
                        behaviour_(s);
                    }
                });
            }
        });
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(server_.serverPort()); }
    std::vector<std::string> requests;

  private:
    QTcpServer server_;
    Behaviour behaviour_;
};

Behaviour replyWith(std::string raw) {
    return [raw](QTcpSocket* s) {
        s->write(raw.data(), static_cast<qint64>(raw.size()));
        s->disconnectFromHost();
    };
}
std::string page(const std::string& body, int status = 200) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}
std::string description(const std::string& version, const std::string& text,
                        const std::string& free) {
    return "<?xml version=\"1.0\"?><Update><CurrentVersion>" + version +
           "</CurrentVersion><Description>" + text + "</Description><Free>" + free +
           "</Free></Update>";
}

// A literal's bytes, NULs included.
template <size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

// A server on its own thread with blocking sockets, so a flood comes as fast as loopback
// allows and not at the pace of the event loop the client shares with a TestServer. `send`
// writes the reply and returns when it is done or `put` fails (the client has hung up).
using Sender = std::function<void(const std::function<bool(const std::string&)>& put)>;

class FloodServer {
  public:
    explicit FloodServer(Sender send) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        EXPECT_EQ(::bind(listen_, reinterpret_cast<sockaddr*>(&a), len), 0);
        EXPECT_EQ(::listen(listen_, 4), 0);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, send = std::move(send)] { serve(send); });
    }
    ~FloodServer() {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    void serve(const Sender& send) {
        pollfd p{listen_, POLLIN, 0};
        while (!stop_ && ::poll(&p, 1, 50) == 0) {
        }
        if (stop_) return;
        int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0) return;
        timeval slice{0, 100 * 1000};  // so a blocked send still sees `stop_`
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
        std::string got;
        char buf[4096];
        while (!stop_ && got.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n == 0) break;
            if (n > 0) got.append(buf, static_cast<size_t>(n));
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        send([&](const std::string& bytes) {
            if (stop_ || std::chrono::steady_clock::now() > deadline) return false;
            size_t at = 0;
            while (at < bytes.size()) {
                if (stop_ || std::chrono::steady_clock::now() > deadline) return false;
                ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    return false;
                if (n > 0) at += static_cast<size_t>(n);
            }
            return true;
        });
        ::close(fd);
    }

    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// `head`, then `piece` again and again, each after `pause`, until the client hangs up.
Sender endless(std::string head, std::string piece,
               std::chrono::milliseconds pause = std::chrono::milliseconds(0)) {
    return [head, piece, pause](const auto& put) {
        if (!put(head)) return;
        while (put(piece))
            if (pause.count()) std::this_thread::sleep_for(pause);
    };
}
Sender once(std::string raw) {
    return [raw](const auto& put) { put(raw); };
}

// This process's peak resident size in kB, and its reset to the current size (Linux 4.0 on).
long peakKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

class VersionApp : public rb::Application {};

const std::string kError =
    "There was a communication error with the website. Please try again "
    "later. (Code: ";

class UpdateCheck : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { rb::RuntimeRegisterAppObject(rb::make<VersionApp>()); }
    void SetUp() override {
        dialogs.onShow = [this](const std::string&) { beepsAtMessage.push_back(dialogs.beeps); };
    }
    void TearDown() override {
        updateHost.reset();
        std::vector<Ref<rb::Window>> open = rb::detail::openWindows();
        for (const auto& w : open) w->Close();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Opens the version window and presses "Check for Updates"; returns once the update
    // window has closed.
    void check(const std::string& host) {
        updateHost.emplace("VELLORA_UPDATE_HOST", host);
        Ref<selfTest> version = selfTest::selfTest_();
        version->PushButton1()->Push();
        EXPECT_EQ(rb::_GetImplicitWindow("selfTest"), nullptr);
        EXPECT_EQ(rb::_GetImplicitWindow("updateWindow"), nullptr);
    }
    void checkAgainst(TestServer& server) { check(server.host()); }
    // Presses the update window's Cancel after `ms`.
    static void cancelAfter(int ms) {
        QTimer::singleShot(ms, [] {
            if (auto* w = static_cast<updateWindow*>(rb::_GetImplicitWindow("updateWindow")))
                w->PushButton1()->Push();
        });
    }
    void expectError(int code) {
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0], kError + std::to_string(code) + ")");
        EXPECT_EQ(beepsAtMessage, std::vector<int>{1});
        EXPECT_TRUE(offers.shown.empty());
        EXPECT_TRUE(urls.opened.empty());
    }

    rb::testing::RecordingDialogs dialogs;
    rb::testing::RecordingMessageDialogs offers;
    rb::testing::RecordingURLs urls;
    std::vector<int> beepsAtMessage;
    std::optional<vellora_test::ScopedEnv> updateHost;
};

TEST_F(UpdateCheck, SendsOneGetWithTheHeadersTheServerNeeds) {
    TestServer server(replyWith(page(description("1.0.0", "", "Yes"))));
    checkAgainst(server);
    ASSERT_EQ(server.requests.size(), 1u);
    const std::string& r = server.requests[0];
    EXPECT_EQ(r.rfind("GET /Updates/vellora.xml HTTP/1.1\r\n", 0), 0u) << r;
    EXPECT_NE(r.find("Host: " + server.host() + "\r\n"), std::string::npos) << r;
    EXPECT_NE(r.find("Accept: */*\r\n"), std::string::npos) << r;
    EXPECT_NE(r.find("Accept-Language: en\r\n"), std::string::npos) << r;
}

// Each reply and what the user meets: the current-version box, or the offer's message.
struct ReplyCase {
    const char* name;
    std::string body;
    bool current;
    std::string message;  // the offer's message, when one is shown
    std::string explanation;
};

TEST_F(UpdateCheck, RepliesLeadToTheCurrentBoxOrTheOfferWordForWord) {
    const std::string free =
        " is now available. (You are using version 1.0.0.) This is a free "
        "upgrade. Would you like to automatically download this update "
        "(using your web browser)?";
    const std::string paid =
        " is now available. (You are using version 1.0.0.) This is a paid "
        "upgrade. Would you like to automatically download the trial version "
        "(using your web browser)?";
    const std::string sentences = "Faster speech. Fewer crashes!\nA new voice: try it.";
    const ReplyCase cases[] = {
        {"equal", description("1.0.0", "x", "Yes"), true, "", ""},
        {"missing third field", description("1.0", "x", "Yes"), true, "", ""},
        {"leading zeros", description("01.00.000", "x", "Yes"), true, "", ""},
        {"one below", description("0.9.9", "Older.", "Yes"), false, "Version 0.9.9" + free,
         "Older."},
        {"newer, yes in lower case", description("1.0.1", sentences, "yes"), false,
         "Version 1.0.1" + free, sentences},
        {"paid", description("2.0.0", "", "No"), false, "Version 2.0.0" + paid, ""},
        {"no Free element", "<CurrentVersion>1.1.0</CurrentVersion>", false, "Version 1.1.0" + paid,
         ""},
        {"two versions: the first counts",
         "<CurrentVersion>1.2.0</CurrentVersion><CurrentVersion>1.0.0</CurrentVersion>", false,
         "Version 1.2.0" + paid, ""},
        {"markup is text", description("9", "<b>bold</b> &amp; <a href=\"http://x\">x</a>", "Yes"),
         false, "Version 9" + free, "<b>bold</b> &amp; <a href=\"http://x\">x</a>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.messages.clear();
        offers.shown.clear();
        TestServer server(replyWith(page(c.body)));
        checkAgainst(server);
        if (c.current) {
            EXPECT_EQ(dialogs.messages,
                      std::vector<std::string>{
                          "You are using the current version. No update is available."});
            EXPECT_TRUE(offers.shown.empty());
            continue;
        }
        EXPECT_TRUE(dialogs.messages.empty());
        ASSERT_EQ(offers.shown.size(), 1u);
        const auto& shown = offers.shown[0];
        EXPECT_EQ(shown.title, "New version available!");
        EXPECT_EQ(shown.message, c.message);
        EXPECT_EQ(shown.explanation, c.explanation);
        EXPECT_EQ(shown.icon, 3);
        EXPECT_EQ(shown.buttons[0], (std::pair<std::string, bool>{"OK", true}));
        EXPECT_EQ(shown.buttons[1], (std::pair<std::string, bool>{"Cancel", true}));
        EXPECT_EQ(shown.buttons[2], (std::pair<std::string, bool>{"Go to Website", true}));
    }
    EXPECT_TRUE(urls.opened.empty());
    EXPECT_EQ(dialogs.beeps, 0);
}

TEST_F(UpdateCheck, TheCurrentLabelShowsWhileTheBoxIsUp) {
    std::string label;
    dialogs.onShow = [&](const std::string&) {
        auto* w = static_cast<updateWindow*>(rb::_GetImplicitWindow("updateWindow"));
        label = w->StaticText1()->Text().toUtf8();
        EXPECT_FALSE(w->ProgressBar1()->Visible());
    };
    TestServer server(replyWith(page(description("1.0.0", "", ""))));
    checkAgainst(server);
    EXPECT_EQ(label, "This version is current.");
}

TEST_F(UpdateCheck, TheOffersButtonsLeadOnlyToTheConfiguredAddresses) {
    TestServer server(replyWith(page(description("2.0.0", "http://evil.example/", "Yes"))));
    offers.answer = DialogChoice::Action;
    checkAgainst(server);
    EXPECT_EQ(urls.opened, std::vector<std::string>{help::links::kDownload});

    urls.opened.clear();
    offers.answer = DialogChoice::Cancel;
    checkAgainst(server);
    EXPECT_TRUE(urls.opened.empty());
}

TEST_F(UpdateCheck, GoToWebsiteLeavesTheWindowOpenUntilCancel) {
    TestServer server(replyWith(page(description("2.0.0", "", "Yes"))));
    bool openAfter = false;
    std::string label;
    offers.choose = [&](const auto&) {
        QTimer::singleShot(100, [&] {
            auto* w = static_cast<updateWindow*>(rb::_GetImplicitWindow("updateWindow"));
            openAfter = w != nullptr;
            if (w) {
                label = w->StaticText1()->Text().toUtf8();
                w->PushButton1()->Push();
            }
        });
        return DialogChoice::Alternate;
    };
    checkAgainst(server);
    EXPECT_TRUE(openAfter);
    EXPECT_EQ(label, "Checking for updates...");
    EXPECT_EQ(urls.opened, std::vector<std::string>{help::links::kWebSite});
    EXPECT_TRUE(dialogs.messages.empty());
}

// A successful reply that names no version is not the update description: the check has
// failed, and says so as any failed check does, with a code of its own.
TEST_F(UpdateCheck, RepliesWithoutAVersionBeepOnceThenGiveTheirCode) {
    const std::string loginPage =
        "<!DOCTYPE html><html><head><title>Welcome to the Guest Network</title></head><body>"
        "<form action=\"/login\" method=\"post\"><input name=\"room\"><input name=\"name\">"
        "<button>Connect</button></form></body></html>";
    const struct {
        const char* name;
        std::string reply;
    } cases[] = {
        {"empty", page("")},
        {"no content", "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n"},
        {"blanks", page("  \r\n\t \n  ")},
        {"a login page", page(loginPage)},
        {"garbage without tags", page("garbage without tags")},
        {"an empty version alone", page("<CurrentVersion></CurrentVersion>")},
        {"empty elements", page(description("", "", ""))},
        {"a version of blanks", page(description(" \t\r\n ", "New!", "Yes"))},
        {"an unclosed version", page("<CurrentVersion>1.0.0")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.messages.clear();
        dialogs.beeps = 0;
        beepsAtMessage.clear();
        TestServer server(replyWith(c.reply));
        checkAgainst(server);
        expectError(updateWindow::kNoVersionCode);
    }
}

TEST_F(UpdateCheck, ARefusedConnectionBeepsOnceThenGivesItsCode) {
    quint16 port;
    {
        QTcpServer gone;
        ASSERT_TRUE(gone.listen(QHostAddress::LocalHost, 0));
        port = gone.serverPort();
    }
    check("127.0.0.1:" + std::to_string(port));
    expectError(rb::socketerror::ConnectionRefused);
}

TEST_F(UpdateCheck, CancelWhileWaitingEndsTheCheckWithNothingAfter) {
    // The server holds its answer until the user has cancelled, then sends it down the same
    // connection: the check has let go of it by then, so the answer reaches no one.
    QPointer<QTcpSocket> held;
    bool letGo = false;
    TestServer server([&](QTcpSocket* s) {
        held = s;
        QObject::connect(s, &QTcpSocket::disconnected, [&] { letGo = true; });
        cancelAfter(0);
    });
    checkAgainst(server);  // back once the update window has closed
    ASSERT_EQ(server.requests.size(), 1u);
    if (held) {
        std::string raw = page(description("2.0.0", "", "Yes"));
        held->write(raw.data(), static_cast<qint64>(raw.size()));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return letGo; }, 5000)) << "the connection stays open";
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(offers.shown.empty());
    EXPECT_EQ(dialogs.beeps, 0);
}

TEST_F(UpdateCheck, TheCloseBoxWhileWaitingEndsTheCheckToo) {
    TestServer server([](QTcpSocket*) {});
    QTimer::singleShot(150, [] {
        if (rb::Window* w = rb::_GetImplicitWindow("updateWindow")) w->qwindow()->close();
    });
    checkAgainst(server);
    EXPECT_TRUE(dialogs.messages.empty());
}

// Escape is the waiting window's Cancel, and it cannot be resized or maximised.
TEST_F(UpdateCheck, EscapeWhileWaitingIsCancel) {
    TestServer server([](QTcpSocket*) {});
    bool fixed = false;
    QTimer::singleShot(150, [&] {
        rb::Window* w = rb::_GetImplicitWindow("updateWindow");
        ASSERT_NE(w, nullptr);
        fixed = w->qwindow()->minimumSize() == w->qwindow()->maximumSize();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w->qwindow()->windowHandle()));
        QTest::keyClick(w->qwindow()->windowHandle(), Qt::Key_Escape);
    });
    checkAgainst(server);
    EXPECT_TRUE(fixed);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.beeps, 0);
}

// Hostile servers: each ends in the error box with its code, within the caps, holding little
// of what was sent. One that breaks a cap ends at once, not on the wait cap.
struct HostileCase {
    const char* name;
    Behaviour behaviour;  // a server on the event loop, or
    Sender sender;        // one on its own thread, for floods
    int code;
    bool atOnce;  // ends well before the wait cap
};

// 32 MB of zeros deflated to a few tens of kilobytes: under the body cap as sent.
std::string deflateBomb() {
    QByteArray zlib = qCompress(QByteArray(32 << 20, '\0'), 9).mid(4);
    return "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nContent-Length: " +
           std::to_string(zlib.size()) + "\r\n\r\n" + zlib.toStdString();
}

TEST_F(UpdateCheck, HostileServersEndInTheErrorBoxWithTheirCode) {
    constexpr int kWaitMs = 2500;
    constexpr long kMaxGrowthKb = 32 * 1024;  // the caps are 64 KB; first windows and fonts on top
    rb::testing::SocketLimitsFor limits({64 * 1024, kWaitMs});
    using std::chrono::milliseconds;
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::string tenGbChunk = ok + "Transfer-Encoding: chunked\r\n\r\n2540BE400\r\n";
    const std::string mb(1 << 20, 'z');
    const HostileCase cases[] = {
        {"never answers", [](QTcpSocket*) {}, {}, rb::socketerror::TimedOut, false},
        {"drips a whole reply a byte at a time",
         [](QTcpSocket* s) {
             auto* t = new QTimer(s);
             auto* at = new size_t(0);
             QObject::connect(t, &QObject::destroyed, [at] { delete at; });
             QObject::connect(t, &QTimer::timeout, s, [s, at] {
                 static const std::string reply = page(description("2.0.0", "", "Yes"));
                 if (*at < reply.size()) s->write(&reply[(*at)++], 1);
             });
             t->start(100);
         },
         {},
         rb::socketerror::TimedOut,
         false},
        {"slowloris: a header line that never ends",
         {},
         endless(ok + "X-Slow: ", "a", milliseconds(50)),
         rb::socketerror::TimedOut,
         false},
        {"declares 100 MB",
         replyWith("HTTP/1.1 200 OK\r\nContent-Length: 104857600\r\n\r\n" + std::string(1000, 'x')),
         {},
         rb::socketerror::TooLarge,
         true},
        {"declares 2 GB and floods",
         {},
         endless(ok + "Content-Length: 2147483648\r\n\r\n", mb),
         rb::socketerror::TooLarge,
         true},
        {"streams 100 MB without a length",
         [](QTcpSocket* s) {
             s->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
             auto* sent = new qint64(0);
             QObject::connect(s, &QObject::destroyed, [sent] { delete sent; });
             auto more = [s, sent] {
                 if (*sent >= 100 * 1024 * 1024 || s->bytesToWrite() > 256 * 1024) return;
                 QByteArray chunk(64 * 1024, 'z');
                 *sent += s->write(chunk);
             };
             QObject::connect(s, &QTcpSocket::bytesWritten, s, more);
             more();
         },
         {},
         rb::socketerror::TooLarge,
         true},
        {"floods an endless body without a length",
         {},
         endless(ok + "\r\n", mb),
         rb::socketerror::TooLarge,
         true},
        {"endless one-byte chunks",
         {},
         endless(ok + "Transfer-Encoding: chunked\r\n\r\n",
                 [] {
                     std::string s;
                     for (int i = 0; i < 4096; ++i) s += "1\r\nx\r\n";
                     return s;
                 }()),
         rb::socketerror::TooLarge,
         true},
        {"one 10 GB chunk, fast", {}, endless(tenGbChunk, mb), rb::socketerror::TooLarge, true},
        {"one 10 GB chunk, throttled",
         {},
         endless(tenGbChunk, std::string(64 * 1024, 'z'), milliseconds(1)),
         rb::socketerror::TooLarge,
         true},
        {"a deflate bomb", {}, once(deflateBomb()), rb::socketerror::ProtocolError, true},
        {"100,000 header lines",
         {},
         [&](const auto& put) {
             if (!put(ok)) return;
             for (int i = 0; i < 100000; ++i)
                 if (!put("X-" + std::to_string(i) + ": y\r\n")) return;
         },
         rb::socketerror::TooLarge,
         true},
        {"a header line of 10 MB",
         {},
         [&](const auto& put) {
             if (!put(ok + "X-Big: ")) return;
             for (int i = 0; i < 10 && put(mb); ++i) {
             }
         },
         rb::socketerror::TooLarge,
         true},
        {"one element of 1 MB",
         replyWith(page(description("2.0.0", std::string(1 << 20, 'd'), "Yes"))),
         {},
         rb::socketerror::TooLarge,
         true},
        {"closes mid-body",
         replyWith("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n<CurrentVersion>2."),
         {},
         rb::socketerror::ConnectionLost,
         true},
        {"closes after the headers",
         replyWith(ok + "Content-Length: 1000\r\n\r\n"),
         {},
         rb::socketerror::ConnectionLost,
         true},
        {"closes after the headers of a chunked reply",
         replyWith(ok + "Transfer-Encoding: chunked\r\n\r\n"),
         {},
         rb::socketerror::ConnectionLost,
         true},
        {"closes inside the headers",
         replyWith(ok + "Content-Le"),
         {},
         rb::socketerror::ConnectionLost,
         true},
        {"binary garbage instead of HTTP",
         replyWith(bytes("\x00\xff\x13\x37garbage\r\n\r\n")),
         {},
         rb::socketerror::ProtocolError,
         true},
        // A TLS server's alert to a plaintext request, and then it holds the line open.
        {"TLS on the plain port",
         {},
         endless(bytes("\x15\x03\x01\x00\x02\x02\x46"), "", milliseconds(50)),
         rb::socketerror::ProtocolError,
         true},
        {"redirects to another host",
         replyWith("HTTP/1.1 302 Found\r\nLocation: http://evil.example/x\r\nContent-Length: "
                   "0\r\n\r\n"),
         {},
         302,
         true},
        {"not found with a body",
         replyWith(page(description("9.9.9", "", "Yes"), 404)),
         {},
         404,
         true},
        {"server error with a body", replyWith(page("<html>oops</html>", 500)), {}, 500, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.messages.clear();
        dialogs.beeps = 0;
        beepsAtMessage.clear();
        std::optional<TestServer> plain;
        std::optional<FloodServer> flood;
        if (c.sender)
            flood.emplace(c.sender);
        else
            plain.emplace(c.behaviour);
        resetPeak();
        long before = peakKb();
        QElapsedTimer took;
        took.start();
        check(flood ? flood->host() : plain->host());
        qint64 ms = took.elapsed();
        long growth = peakKb() - before;
        expectError(c.code);
        EXPECT_LT(growth, kMaxGrowthKb);
        if (c.atOnce)
            EXPECT_LT(ms, kWaitMs / 2);
        else
            EXPECT_GE(ms, kWaitMs * 9 / 10);  // a coarse timer may fire 5% early
        std::printf("hostile: %-45s code %d  %5lld ms  peak +%ld kB\n", c.name, c.code,
                    static_cast<long long>(ms), growth);
    }
}

TEST_F(UpdateCheck, BinaryGarbageAsABodyIsSearchedLikeText) {
    std::string body = bytes("\x00\xc3\x28\xff<CurrentVersion>1.0.0</CurrentVersion>\x80");
    TestServer server(replyWith(page(body)));
    checkAgainst(server);
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{
                                    "You are using the current version. No update is available."});
}

TEST_F(UpdateCheck, AMalformedHostOverrideFailsTheCheckInsteadOfAskingAnotherHost) {
    check("evil.example/steal?x=");
    expectError(rb::socketerror::InvalidAddress);
}

// ---- the version window ---------------------------------------------------------------

TEST_F(UpdateCheck, TheVersionWindowShowsTheLongVersionAndIsOneWindow) {
    Ref<selfTest> a = selfTest::selfTest_();
    Ref<selfTest> b = selfTest::selfTest_();
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(a->StaticText2()->Text().toUtf8(),
              rb::Application::current()->LongVersion().toUtf8());
    EXPECT_NE(a->StaticText2()->Text().toUtf8(), "1.1.0 Intel");
    EXPECT_EQ(a->Title().toUtf8(), "Self Test");
    EXPECT_FALSE(a->Resizeable());
    a->Close();
    Ref<selfTest> c = selfTest::selfTest_();
    EXPECT_NE(c.get(), a.get());
    EXPECT_EQ(c->StaticText2()->Text().toUtf8(),
              rb::Application::current()->LongVersion().toUtf8());
}

TEST_F(UpdateCheck, ReturnInTheVersionWindowRunsTheCheck) {
    TestServer server(replyWith(page(description("1.0.0", "", ""))));
    updateHost.emplace("VELLORA_UPDATE_HOST", server.host());
    Ref<selfTest> version = selfTest::selfTest_();
    ASSERT_TRUE(QTest::qWaitForWindowActive(version->qwindow()->windowHandle()));
    QTest::keyClick(version->qwindow()->windowHandle(), Qt::Key_Return);
    EXPECT_EQ(server.requests.size(), 1u);
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(rb::_GetImplicitWindow("selfTest"), nullptr);
}

// ---- the about box --------------------------------------------------------------------

TEST_F(UpdateCheck, TheAboutBoxShowsTheVersionAndHandsOverItsThreeLinks) {
    Ref<AboutBox> box = AboutBox::AboutBox_();
    EXPECT_EQ(AboutBox::AboutBox_().get(), box.get());
    EXPECT_EQ(box->Title().toUtf8(), "About...");
    EXPECT_EQ(box->StaticText4()->Text().toUtf8(),
              rb::Application::current()->LongVersion().toUtf8());
    box->PushButton1()->Push();
    box->PushButton2()->Push();
    box->OrderButton()->Push();
    EXPECT_EQ(urls.opened,
              (std::vector<std::string>{help::links::kAuthorMail, help::links::kWebSite,
                                        help::links::kOrderPage}));
    EXPECT_TRUE(box->isOpen());
    ASSERT_TRUE(QTest::qWaitForWindowActive(box->qwindow()->windowHandle()));
    QTest::keyClick(box->qwindow()->windowHandle(), Qt::Key_Return);
    ASSERT_EQ(urls.opened.size(), 4u);
    EXPECT_EQ(urls.opened[3], help::links::kOrderPage);
    EXPECT_TRUE(std::string(help::links::kAuthorMail).rfind("mailto:", 0) == 0);
    EXPECT_NE(std::string(help::links::kOrderPage).find("lang=en"), std::string::npos);
}

// The version window and the about box are left from inside with Escape or Ctrl+W, as with
// their close box, and keep their size on the desktop.
TEST_F(UpdateCheck, TheVersionWindowAndTheAboutBoxLeaveWithEscapeOrCtrlW) {
    const std::function<Ref<rb::Window>()> windows[] = {
        [] { return Ref<rb::Window>(selfTest::selfTest_()); },
        [] { return Ref<rb::Window>(AboutBox::AboutBox_()); },
    };
    for (const auto& make : windows)
        for (QKeyCombination keys : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
            Ref<rb::Window> w = make();
            SCOPED_TRACE(w->className());
            QMainWindow* top = w->qwindow();
            EXPECT_EQ(top->minimumSize(), top->maximumSize());
            EXPECT_EQ(top->size(), top->minimumSize());
            EXPECT_FALSE(top->windowFlags() & Qt::WindowMaximizeButtonHint);
            ASSERT_TRUE(QTest::qWaitForWindowActive(top->windowHandle()));
            QTest::keyClick(top->windowHandle(), keys.key(), keys.keyboardModifiers());
            EXPECT_FALSE(w->isOpen());
            EXPECT_FALSE(top->isVisible());
            EXPECT_EQ(rb::_GetImplicitWindow(w->className()), nullptr);
        }
    EXPECT_TRUE(urls.opened.empty());
    EXPECT_TRUE(dialogs.messages.empty());
}

// The about box opens on its default button, the one Return presses; once the user has moved to
// another button, Return presses that one, as the screen reader has just named it.
TEST_F(UpdateCheck, ReturnInTheAboutBoxPressesTheButtonThatHasTheFocus) {
    Ref<AboutBox> box = AboutBox::AboutBox_();
    QWindow* window = box->qwindow()->windowHandle();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(QApplication::focusWidget(), box->OrderButton()->widget());
    QTest::keyClick(window, Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), box->PushButton1()->widget()) << "Tab goes round";
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(urls.opened,
              (std::vector<std::string>{help::links::kOrderPage, help::links::kAuthorMail}));
}

// Every button and label of the three windows: named by its caption for a screen reader, and
// each button reached by Tab.
void expectNamedAndReachable(rb::Window& w, const std::vector<std::string>& labels,
                             const std::vector<std::string>& buttons) {
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(w.qwindow());
    std::vector<std::string> named;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* i) {
        if (!i) return;
        if (i->role() == QAccessible::StaticText || i->role() == QAccessible::Button)
            named.push_back(i->text(QAccessible::Name).toStdString());
        for (int k = 0; k < i->childCount(); ++k) walk(i->child(k));
    };
    walk(root);
    for (const auto& l : labels)
        EXPECT_NE(std::find(named.begin(), named.end(), l), named.end()) << l;
    for (const auto& b : buttons)
        EXPECT_NE(std::find(named.begin(), named.end(), b), named.end()) << b;

    ASSERT_TRUE(QTest::qWaitForWindowActive(w.qwindow()->windowHandle()));
    std::vector<std::string> reached;
    for (size_t k = 0; k < buttons.size() * 2; ++k) {
        if (auto* b = qobject_cast<QPushButton*>(QApplication::focusWidget()))
            reached.push_back(b->text().toStdString());
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget()
                                                    : static_cast<QWidget*>(w.qwindow()),
                        Qt::Key_Tab);
    }
    for (const auto& b : buttons)
        EXPECT_NE(std::find(reached.begin(), reached.end(), b), reached.end()) << b;
}

TEST_F(UpdateCheck, EveryButtonAndLabelIsNamedAndReachable) {
    std::string version = rb::Application::current()->LongVersion().toUtf8();
    {
        Ref<AboutBox> box = AboutBox::AboutBox_();
        expectNamedAndReachable(*box, {"Vellora", "Version:", version},
                                {"Email Author", "Visit Web Site", "Support Norvale"});
        box->Close();
    }
    {
        Ref<selfTest> st = selfTest::selfTest_();
        expectNamedAndReachable(*st, {"Version:", version}, {"Check for Updates"});
        st->Close();
    }
    TestServer server([](QTcpSocket*) {});
    bool looked = false;
    QTimer::singleShot(100, [&] {
        auto* w = static_cast<updateWindow*>(rb::_GetImplicitWindow("updateWindow"));
        ASSERT_NE(w, nullptr);
        expectNamedAndReachable(*w, {"Checking for updates..."}, {"Cancel"});
        EXPECT_EQ(w->ProgressBar1()->bar()->accessibleName().toStdString(),
                  "Checking for updates...");
        looked = true;
        w->PushButton1()->Push();
    });
    checkAgainst(server);
    EXPECT_TRUE(looked);
}

}  // namespace
