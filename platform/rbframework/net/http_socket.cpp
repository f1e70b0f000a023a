#include "platform/rbframework/net/http_socket.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cctype>

#include "platform/rbframework/gui/runtime.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/string_functions.h"

namespace rb {

namespace detail {
SocketLimits& socketLimits() {
    static SocketLimits limits;
    return limits;
}
}  // namespace detail

namespace {

// How much Qt may hold unread, and how much is taken off the socket in one read: a flood
// waits in the kernel's buffers, not in memory of ours, and the caps are checked between reads.
constexpr qint64 kReadPiece = 16 * 1024;
// A chunk-size line is a few hex digits; extensions are not worth more than this.
constexpr qsizetype kMaxChunkLine = 1024;

String textOf(const QByteArray& bytes) {
    // Text as it came when it is UTF-8; any other bytes kept one for one, never lost.
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)utf8.decode(bytes);
    return String::fromBytes(bytes.constData(), static_cast<size_t>(bytes.size()),
                             utf8.hasError() ? encoding::Raw : encoding::UTF8);
}

// A plain http address with a host; the port, when given, in range.
bool acceptable(const QUrl& url) {
    return url.isValid() && url.scheme() == QLatin1String("http") && !url.host().isEmpty() &&
           url.port(80) >= 1 && url.port(80) <= 65535;
}

QByteArray requestFor(const QUrl& url) {
    QByteArray target =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty()) target = "/";
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':')) host = '[' + host + ']';
    if (url.port() != -1) host += ':' + QByteArray::number(url.port());
    return "GET " + target + " HTTP/1.1\r\nHost: " + host +
           "\r\nAccept: */*\r\nAccept-Language: en\r\nConnection: close\r\n\r\n";
}

// "HTTP/1.x NNN reason"; the status, or -1 when the line is not one.
int statusOf(const QByteArray& line) {
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || line[8] != ' ') return -1;
    if (line.size() > 12 && line[12] != ' ') return -1;
    int status = 0;
    for (int i = 9; i < 12; ++i) {
        if (line[i] < '0' || line[i] > '9') return -1;
        status = status * 10 + (line[i] - '0');
    }
    return status >= 100 ? status : -1;
}

// Whether what came so far can still begin a status line: a reply that is no HTTP (TLS on the
// plain port, garbage) is seen on its first bytes, not after it has filled the header cap.
bool couldBeStatus(const QByteArray& head) {
    static const QByteArray prefix = "HTTP/1.";
    qsizetype n = std::min(head.size(), prefix.size());
    return head.first(n) == prefix.first(n);
}

bool isToken(const QByteArray& name) {
    if (name.isEmpty()) return false;
    for (char c : name)
        if (c <= ' ' || c >= 127 || QByteArray("()<>@,;:\\\"/[]?={}").contains(c)) return false;
    return true;
}

}  // namespace

// One GET at a time, read off a QTcpSocket by the state machine below. All of it hangs from an
// anchor object inside the window's widgets, so it goes with the window at the latest.
struct HTTPSocket::Client {
    enum class Phase { Head, Sized, ChunkSize, ChunkData, ChunkEnd, Trailers, UntilClose };

    explicit Client(HTTPSocket* owner, QWidget* parent)
        : owner(owner), anchor(new QObject(parent)) {
        deadline = new QTimer(anchor);
        deadline->setSingleShot(true);
        QObject::connect(deadline, &QTimer::timeout, anchor,
                         [this] { fail(socketerror::TimedOut); });
    }
    ~Client() {
        abandon();
        delete anchor.data();
    }

    void start(const QUrl& url) {
        requested = url;
        const SocketLimits& caps = detail::socketLimits();
        limits = caps;
        socket = new QTcpSocket(anchor);
        socket->setReadBufferSize(kReadPiece);
        QTcpSocket* s = socket;
        QObject::connect(s, &QTcpSocket::connected, anchor, [this, s] {
            if (s == socket) socket->write(requestFor(requested));
        });
        QObject::connect(s, &QTcpSocket::readyRead, anchor, [this, s] {
            if (s == socket) feed();
        });
        QObject::connect(s, &QTcpSocket::errorOccurred, anchor,
                         [this, s](QAbstractSocket::SocketError e) {
                             if (s == socket) failed(e);
                         });
        QObject::connect(s, &QTcpSocket::disconnected, anchor, [this, s] {
            if (s == socket) closed();
        });
        elapsed.start();
        deadline->start(std::max(limits.maxWaitMs, 1));
        socket->connectToHost(url.host(), static_cast<quint16>(url.port(80)));
    }

    bool late() const { return elapsed.hasExpired(std::max(limits.maxWaitMs, 1)); }

    // Takes what Qt holds in bounded pieces, parsing each before the next; the clock and the
    // caps are checked after every piece, so a socket that always has data cannot outrun them.
    void feed() {
        QTcpSocket* s = socket;
        char piece[kReadPiece];
        while (socket == s && s->bytesAvailable() > 0) {
            if (late()) return fail(socketerror::TimedOut);
            qint64 n = s->read(piece, sizeof piece);
            if (n <= 0) break;
            pending.append(piece, static_cast<qsizetype>(n));
            parse();
        }
    }

    // Runs the state machine over `pending` as far as it goes; stops at an outcome.
    void parse() {
        QTcpSocket* s = socket;
        while (socket == s && !pending.isEmpty()) {
            qsizetype before = pending.size();
            Phase was = phase;
            step();
            if (socket == s && pending.size() == before && phase == was) return;  // needs more
        }
        // A reply framed by its length or its chunks ends when they do, even with no bytes left.
        if (socket == s && phase == Phase::Sized && remaining == 0) return complete();
    }

    void step() {
        switch (phase) {
            case Phase::Head:
            case Phase::Trailers:
                return headLine();
            case Phase::Sized:
                if (takeCounted()) complete();
                return;
            case Phase::UntilClose:
                if (!addBody(pending)) return;
                pending.clear();
                return;
            case Phase::ChunkSize:
                return chunkSize();
            case Phase::ChunkData:
                if (takeCounted()) phase = Phase::ChunkEnd;
                return;
            case Phase::ChunkEnd: {
                if (pending.size() < 2 && pending != "\r") return;
                if (pending.startsWith("\r\n"))
                    pending.remove(0, 2);
                else if (pending.startsWith('\n'))
                    pending.remove(0, 1);
                else if (pending.size() >= 2)
                    return fail(socketerror::ProtocolError);
                else
                    return;
                phase = Phase::ChunkSize;
                return;
            }
        }
    }

    // Takes one line of the head (or of the trailers) when it is whole; the caps count every
    // byte of it before its end comes, so a line without an end fails at the cap.
    void headLine() {
        if (phase == Phase::Head && !sawStatus && !couldBeStatus(pending))
            return fail(socketerror::ProtocolError);
        qsizetype end = pending.indexOf('\n');
        if (end < 0) {
            if (headBytes + pending.size() > limits.maxHeaderBytes)
                return fail(socketerror::TooLarge);
            return;
        }
        headBytes += end + 1;
        if (headBytes > limits.maxHeaderBytes) return fail(socketerror::TooLarge);
        QByteArray line = pending.first(end);
        pending.remove(0, end + 1);
        if (line.endsWith('\r')) line.chop(1);
        if (!sawStatus) {
            status = statusOf(line);
            if (status < 0) return fail(socketerror::ProtocolError);
            sawStatus = true;
            return;
        }
        if (!line.isEmpty()) {
            qsizetype colon = line.indexOf(':');
            QByteArray name = colon > 0 ? line.first(colon) : QByteArray();
            if (!isToken(name)) return fail(socketerror::ProtocolError);
            if (++headLines > limits.maxHeaderLines) return fail(socketerror::TooLarge);
            if (phase == Phase::Head) headers.emplace_back(name, line.sliced(colon + 1).trimmed());
            return;
        }
        if (phase == Phase::Trailers) return complete();
        headEnded();
    }

    QByteArray header(const char* name, int* count = nullptr) const {
        QByteArray value;
        int n = 0;
        for (const auto& [h, v] : headers)
            if (h.compare(name, Qt::CaseInsensitive) == 0) {
                if (n++ == 0)
                    value = v;
                else if (v != value)
                    value = "\x01";  // differing copies; never a valid value
            }
        if (count) *count = n;
        return value;
    }

    // Chooses how the body is framed, and refuses what this client cannot read as sent.
    void headEnded() {
        if (status < 200 && status != 101) {
            // An interim reply; the real one follows, under the same header caps.
            sawStatus = false;
            headers.clear();
            return;
        }
        QByteArray coding = header("Content-Encoding").trimmed().toLower();
        if (!coding.isEmpty() && coding != "identity") return fail(socketerror::ProtocolError);
        int lengths = 0;
        QByteArray length = header("Content-Length", &lengths);
        QByteArray transfer = header("Transfer-Encoding").trimmed().toLower();
        if (status == 101 || status == 204 || status == 304) return complete();
        if (!transfer.isEmpty()) {
            if (transfer != "chunked" || lengths) return fail(socketerror::ProtocolError);
            phase = Phase::ChunkSize;
            return;
        }
        if (lengths) {
            bool ok = !length.isEmpty() && length.size() <= 18;
            for (char c : length) ok = ok && c >= '0' && c <= '9';
            if (!ok) return fail(socketerror::ProtocolError);
            remaining = length.toLongLong();
            if (remaining > limits.maxBodyBytes) return fail(socketerror::TooLarge);
            phase = Phase::Sized;
            return;
        }
        phase = Phase::UntilClose;
    }

    // A chunk's size is refused as soon as its line says it would pass the body cap.
    void chunkSize() {
        qsizetype end = pending.indexOf('\n');
        if (end < 0) {
            if (pending.size() > kMaxChunkLine) return fail(socketerror::ProtocolError);
            return;
        }
        if (end > kMaxChunkLine) return fail(socketerror::ProtocolError);
        QByteArray line = pending.first(end);
        pending.remove(0, end + 1);
        if (line.endsWith('\r')) line.chop(1);
        qsizetype semi = line.indexOf(';');
        QByteArray digits = (semi >= 0 ? line.first(semi) : line).trimmed();
        if (digits.isEmpty()) return fail(socketerror::ProtocolError);
        int64_t size = 0;
        for (char c : digits) {
            int d = std::isxdigit(static_cast<unsigned char>(c))
                        ? (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10)
                        : -1;
            if (d < 0) return fail(socketerror::ProtocolError);
            size = size * 16 + d;
            if (size > limits.maxBodyBytes - body.size()) return fail(socketerror::TooLarge);
        }
        remaining = size;
        phase = size == 0 ? Phase::Trailers : Phase::ChunkData;
    }

    // Takes what has come of the `remaining` bytes a length or a chunk declared; true once all
    // of them have (false also when the body went over its cap, which has ended the request).
    bool takeCounted() {
        qsizetype n = static_cast<qsizetype>(std::min<int64_t>(remaining, pending.size()));
        if (!addBody(pending.first(n))) return false;
        pending.remove(0, n);
        remaining -= n;
        return remaining == 0;
    }

    bool addBody(QByteArrayView bytes) {
        if (body.size() + bytes.size() > limits.maxBodyBytes) {
            fail(socketerror::TooLarge);
            return false;
        }
        body.append(bytes);
        return true;
    }

    // The peer closed: whatever Qt still holds is read first, then the reply is whole only if
    // its framing says so.
    void closed() {
        QTcpSocket* s = socket;
        feed();
        if (socket != s) return;
        if (phase == Phase::UntilClose) return complete();
        fail(socketerror::ConnectionLost);
    }

    void failed(QAbstractSocket::SocketError e) {
        switch (e) {
            case QAbstractSocket::RemoteHostClosedError:
                return closed();
            case QAbstractSocket::ConnectionRefusedError:
                return fail(socketerror::ConnectionRefused);
            case QAbstractSocket::HostNotFoundError:
                return fail(socketerror::HostNotFound);
            case QAbstractSocket::SocketTimeoutError:
                return fail(socketerror::TimedOut);
            default:
                return fail(socketerror::NetworkError);
        }
    }

    void complete() {
        std::vector<std::pair<String, String>> lines;
        for (const auto& [name, value] : headers) lines.emplace_back(textOf(name), textOf(value));
        String url(requested.toString().toStdString());
        String content = textOf(body);
        int32_t code = status;
        abandon();
        owner->deliverPage(url, code, InternetHeaders(std::move(lines)), content);
    }

    void fail(int32_t code) {
        abandon();
        owner->deliverError(code);
    }

    // Forgets the request: its socket says nothing more, and goes once its signal is over.
    void abandon() {
        ++round;
        if (deadline) deadline->stop();
        body = QByteArray();
        pending = QByteArray();
        headers.clear();
        phase = Phase::Head;
        sawStatus = false;
        status = 0;
        remaining = 0;
        headLines = 0;
        headBytes = 0;
        if (!socket) return;
        QTcpSocket* s = socket;
        socket = nullptr;
        QObject::disconnect(s, nullptr, anchor, nullptr);
        s->abort();
        s->deleteLater();
    }

    HTTPSocket* owner;
    QPointer<QObject> anchor;
    QPointer<QTimer> deadline;
    QPointer<QTcpSocket> socket;
    QElapsedTimer elapsed;
    SocketLimits limits;
    QUrl requested;
    Phase phase = Phase::Head;
    QByteArray pending;  // read but not yet parsed; a line's worth at most
    QByteArray body;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    bool sawStatus = false;
    int status = 0;
    int64_t remaining = 0;  // of the declared length, or of the current chunk
    int32_t headLines = 0;
    int64_t headBytes = 0;
    uint64_t round = 0;  // counts requests started and abandoned, so a stale outcome is known
};

String InternetHeaders::Name(int32_t index) const {
    return index >= 0 && index < Count() ? lines_[static_cast<size_t>(index)].first : String("");
}
String InternetHeaders::Value(int32_t index) const {
    return index >= 0 && index < Count() ? lines_[static_cast<size_t>(index)].second : String("");
}
String InternetHeaders::Value(const String& name) const {
    for (const auto& [n, v] : lines_)
        if (RuntimeStringCompare(n, name) == 0) return v;
    return String("");
}

HTTPSocket::HTTPSocket(Window* window)
    : Control(window, nullptr), client_(std::make_unique<Client>(this, window->content())) {
    TabStop = false;
}

HTTPSocket::~HTTPSocket() = default;

void HTTPSocket::Get(const String& url) {
    Close();
    QUrl parsed(QString::fromStdString(url.toUtf8()), QUrl::StrictMode);
    if (!acceptable(parsed)) {
        address_ = String("");
        port_ = 0;
        // Reported through the event loop as every outcome is; gone with the anchor.
        QTimer::singleShot(0, client_->anchor, [this, round = client_->round] {
            if (client_->round == round) deliverError(socketerror::InvalidAddress);
        });
        return;
    }
    address_ = String(parsed.host().toStdString());
    port_ = parsed.port(80);
    client_->start(parsed);
}

void HTTPSocket::Close() {
    client_->abandon();
}

bool HTTPSocket::busy() const {
    return client_->socket != nullptr;
}

void HTTPSocket::_AddPageReceivedHandler(PageReceivedHandler handler) {
    onPage_ = std::move(handler);
}
void HTTPSocket::_AddErrorHandler(ErrorHandler handler) {
    onError_ = std::move(handler);
}

void HTTPSocket::deliverPage(const String& url, int32_t status, const InternetHeaders& headers,
                             const String& content) {
    if (!onPage_ || (window() && !window()->isOpen())) return;
    Ref<Control> self = Ref<Control>::retain(this);
    auto handler = onPage_;
    Ref<Window> holder = Ref<Window>::retain(window());
    RunGuarded([&] { handler(url, status, headers, content); });
    keepUntilEventEnds(std::move(holder));
}

void HTTPSocket::deliverError(int32_t code) {
    if (!onError_ || (window() && !window()->isOpen())) return;
    Ref<Control> self = Ref<Control>::retain(this);
    auto handler = onError_;
    Ref<Window> holder = Ref<Window>::retain(window());
    RunGuarded([&] { handler(code); });
    keepUntilEventEnds(std::move(holder));
}

bool HTTPSocket::setProperty(std::string_view name, const PropertyValue& v) {
    if (name == "Address")
        address_ = propertyAs<String>(name, v);
    else if (name == "Port")
        port_ = propertyAs<int32_t>(name, v);
    else if (name == "yield")
        yield_ = propertyAs<bool>(name, v);
    else
        return Control::setProperty(name, v);
    return true;
}

}  // namespace rb
