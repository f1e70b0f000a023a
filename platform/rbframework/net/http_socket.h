// The runtime's HTTP client: a window-owned, non-visual control that fetches one page with a
// GET and reports, later and through the event loop, exactly one of two events: PageReceived
// with the whole reply, or Error with one of the codes below. Closing the window abandons the
// request, and no event follows.
//
// Whatever answers is treated as hostile: the reply's body and its wait are capped, redirects
// are not followed (a 3xx reply is a page like any other), and an overrun ends the request
// with its error code. The reply is read off the socket here, in pieces of a few kilobytes with
// the caps checked after each, so no server, however fast, makes it hold more than the caps.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/rbframework/gui/control.h"
#include "platform/rbframework/net/socket_limits.h"

namespace rb {

// The socket's error numbers, as the Error event reports them.
namespace socketerror {
constexpr int32_t InvalidAddress = 1;     // not a plain http address with a host and a port
constexpr int32_t HostNotFound = 2;       // the host's name does not resolve
constexpr int32_t ConnectionRefused = 3;  // nothing listens at the host's port
constexpr int32_t ConnectionLost = 4;     // the connection closed before the reply was whole
constexpr int32_t TimedOut = 5;           // the whole reply did not arrive within the wait cap
constexpr int32_t TooLarge = 6;           // the body or the header lines overrun their caps
constexpr int32_t ProtocolError = 7;      // what came back is not an HTTP reply
constexpr int32_t NetworkError = 8;       // any other failure of the network
}  // namespace socketerror

// The reply's header lines, in the order they came.
class InternetHeaders {
  public:
    InternetHeaders() = default;
    explicit InternetHeaders(std::vector<std::pair<String, String>> lines)
        : lines_(std::move(lines)) {}
    int32_t Count() const { return static_cast<int32_t>(lines_.size()); }
    String Name(int32_t index) const;   // 0-based; empty past the end
    String Value(int32_t index) const;  // 0-based; empty past the end
    // The first value of that name, matched ignoring case; empty when there is none.
    String Value(const String& name) const;

  private:
    std::vector<std::pair<String, String>> lines_;
};

class HTTPSocket final : public Control {
  public:
    explicit HTTPSocket(Window* window);
    ~HTTPSocket() override;
    const char* className() const override { return "HTTPSocket"; }

    // Starts a GET of `url` and returns at once. It sends the "Host" header, "Accept: */*",
    // "Accept-Language: en" and "Connection: close", and no "Accept-Encoding": a reply with a
    // content coding other than identity is a ProtocolError. Port 80 when the address names
    // none. A request still under way is abandoned first.
    void Get(const String& url);
    // Abandons the request under way, if any; no event follows for it.
    void Close();
    bool busy() const;

    // The host and port of the last request.
    String Address() const { return address_; }
    int32_t Port() const { return port_; }

    using PageReceivedHandler = std::function<void(
        const String& url, int32_t status, const InternetHeaders& headers, const String& content)>;
    using ErrorHandler = std::function<void(int32_t code)>;
    void _AddPageReceivedHandler(PageReceivedHandler handler);
    void _AddErrorHandler(ErrorHandler handler);

  protected:
    bool setProperty(std::string_view name, const PropertyValue& value) override;
    void windowClosed() override { Close(); }

  private:
    struct Client;
    friend struct Client;
    void deliverPage(const String& url, int32_t status, const InternetHeaders& headers,
                     const String& content);
    void deliverError(int32_t code);

    std::unique_ptr<Client> client_;
    String address_;
    int32_t port_ = 0;
    bool yield_ = false;
    PageReceivedHandler onPage_;
    ErrorHandler onError_;
};

}  // namespace rb
