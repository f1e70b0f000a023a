#include "platform/rbframework/net/http_socket.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

#include <algorithm>

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

// Qt reads from the connection only as far as this ahead of what was taken, so a flood waits
// in the kernel's buffers, not in memory of ours.
constexpr qint64 kReadAhead = 16 * 1024;

String textOf(const QByteArray& bytes) {
    // Text as it came when it is UTF-8; any other bytes kept one for one, never lost.
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)utf8.decode(bytes);
    return String::fromBytes(bytes.constData(), static_cast<size_t>(bytes.size()),
                             utf8.hasError() ? encoding::Raw : encoding::UTF8);
}

bool isHttpStatusError(QNetworkReply::NetworkError e) {
    // The errors by which Qt reports a reply's own 4xx and 5xx statuses: the page still came.
    int n = static_cast<int>(e);
    return (n >= 201 && n < 300) || (n >= 401 && n < 500);
}

int32_t codeFor(QNetworkReply::NetworkError e) {
    switch (e) {
        case QNetworkReply::ConnectionRefusedError:
            return socketerror::ConnectionRefused;
        case QNetworkReply::HostNotFoundError:
            return socketerror::HostNotFound;
        case QNetworkReply::RemoteHostClosedError:
            return socketerror::ConnectionLost;
        case QNetworkReply::TimeoutError:
            return socketerror::TimedOut;
        case QNetworkReply::ProtocolUnknownError:
        case QNetworkReply::ProtocolInvalidOperationError:
        case QNetworkReply::ProtocolFailure:
            return socketerror::ProtocolError;
        default:
            return socketerror::NetworkError;
    }
}

// A plain http address with a host; the port, when given, in range.
bool acceptable(const QUrl& url) {
    return url.isValid() && url.scheme() == QLatin1String("http") && !url.host().isEmpty() &&
           url.port(80) >= 1 && url.port(80) <= 65535;
}

}  // namespace

// What the socket holds in Qt: the access manager and, while a request runs, its reply, the
// deadline and the body read so far. All of it hangs from an anchor object inside the
// window's widgets, so it goes with the window at the latest.
struct HTTPSocket::Client {
    explicit Client(HTTPSocket* owner, QWidget* parent)
        : owner(owner), anchor(new QObject(parent)) {
        manager = new QNetworkAccessManager(anchor);
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
        QNetworkRequest request(url);
        request.setRawHeader("Accept", "*/*");
        request.setRawHeader("Accept-Language", "en");
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
        requested = url;
        body.clear();
        reply = manager->get(request);
        reply->setReadBufferSize(kReadAhead);
        QObject::connect(reply, &QNetworkReply::metaDataChanged, anchor, [this] { sized(); });
        QObject::connect(reply, &QNetworkReply::readyRead, anchor, [this] { take(); });
        QObject::connect(reply, &QNetworkReply::finished, anchor, [this] { finished(); });
        deadline->start(std::max(detail::socketLimits().maxWaitMs, 1));
    }

    // A declared length over the cap fails at once, before any of the body is read.
    void sized() {
        if (!reply) return;
        bool ok = false;
        qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        if (ok && length > detail::socketLimits().maxBodyBytes) fail(socketerror::TooLarge);
    }

    // Reads what has come, one byte past the cap at most, so an overrun is seen and no more.
    bool take() {
        if (!reply) return false;
        qint64 cap = detail::socketLimits().maxBodyBytes;
        while (reply && reply->bytesAvailable() > 0) {
            qint64 room = cap + 1 - body.size();
            body += reply->read(std::max<qint64>(room, 1));
            if (body.size() > cap) {
                fail(socketerror::TooLarge);
                return false;
            }
        }
        return reply != nullptr;
    }

    void finished() {
        if (!reply) return;
        QNetworkReply::NetworkError e = reply->error();
        QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (e != QNetworkReply::NoError && !(status.isValid() && isHttpStatusError(e))) {
            fail(codeFor(e));
            return;
        }
        if (!take()) return;
        if (!status.isValid()) {
            fail(socketerror::ProtocolError);
            return;
        }
        std::vector<std::pair<String, String>> lines;
        for (const auto& [name, value] : reply->rawHeaderPairs())
            lines.emplace_back(textOf(name), textOf(value));
        String url(requested.toString().toStdString());
        String content = textOf(body);
        int32_t code = status.toInt();
        abandon();
        owner->deliverPage(url, code, InternetHeaders(std::move(lines)), content);
    }

    void fail(int32_t code) {
        abandon();
        owner->deliverError(code);
    }

    // Forgets the request: its reply says nothing more, and goes once its signal is over.
    void abandon() {
        ++round;
        if (deadline) deadline->stop();
        body.clear();
        if (!reply) return;
        QNetworkReply* r = reply;
        reply = nullptr;
        QObject::disconnect(r, nullptr, anchor, nullptr);
        r->abort();
        r->deleteLater();
    }

    HTTPSocket* owner;
    QPointer<QObject> anchor;
    QNetworkAccessManager* manager = nullptr;
    QPointer<QTimer> deadline;
    QPointer<QNetworkReply> reply;
    QByteArray body;
    QUrl requested;
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
    return client_->reply != nullptr;
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
