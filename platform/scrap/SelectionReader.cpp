#include "platform/scrap/SelectionReader.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <QString>
#include <cerrno>
#include <cstdlib>
#include <new>

namespace vellora::scrap {
namespace {

using Clock = std::chrono::steady_clock;

template <typename T>
struct Freed {
    T* p;
    explicit Freed(T* q) : p(q) {}
    ~Freed() { std::free(p); }
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

struct Connection {
    xcb_connection_t* c;
    explicit Connection(const std::string& display)
        : c(xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr)) {}
    ~Connection() { xcb_disconnect(c); }  // also takes our window and its property with it
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
};

class Reader {
  public:
    Reader(const ReadRequest& request, int cancelFd)
        : request_(request), cancelFd_(cancelFd), deadline_(Clock::now() + request.deadline) {}

    ReadResult run() {
        Connection conn(request_.display);
        c_ = conn.c;
        if (xcb_connection_has_error(c_)) return fail(ReadStatus::Unavailable);
        if (!setUp()) return result_;
        for (size_t i = 0; i < targets_.size(); ++i) {
            if (targets_[i] == XCB_ATOM_NONE) continue;
            xcb_convert_selection(c_, window_, selection_, targets_[i], property_,
                                  XCB_CURRENT_TIME);
            xcb_flush(c_);
            switch (awaitConversion()) {
                case Step::Refused:
                    continue;
                case Step::Converted:
                    if (readConverted()) result_.target = request_.targets[i];
                    return result_;
                case Step::Ended:
                    return result_;
            }
        }
        return fail(ReadStatus::NoSuchType);
    }

  private:
    enum class Step { Converted, Refused, Ended };

    ReadResult fail(ReadStatus status) {
        result_.status = status;
        result_.bytes.clear();
        return result_;
    }

    // Interns every name in one round, finds the owner and makes our window.
    bool setUp() {
        std::vector<xcb_intern_atom_cookie_t> cookies;
        auto ask = [&](const std::string& name) {
            cookies.push_back(
                xcb_intern_atom(c_, 0, static_cast<uint16_t>(name.size()), name.c_str()));
        };
        ask(request_.selection == Selection::Clipboard ? "CLIPBOARD" : "PRIMARY");
        ask("INCR");
        ask("VELLORA_SELECTION");
        for (const std::string& t : request_.targets) ask(t);
        std::vector<xcb_atom_t> atoms;
        for (auto cookie : cookies) {
            Freed reply(xcb_intern_atom_reply(c_, cookie, nullptr));
            atoms.push_back(reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE});
        }
        selection_ = atoms[0];
        incr_ = atoms[1];
        property_ = atoms[2];
        targets_.assign(atoms.begin() + 3, atoms.end());
        if (selection_ == XCB_ATOM_NONE || property_ == XCB_ATOM_NONE) {
            fail(ReadStatus::Unavailable);
            return false;
        }

        Freed owner(
            xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, selection_), nullptr));
        if (!owner || owner->owner == XCB_NONE) {
            fail(ReadStatus::NoOwner);
            return false;
        }
        owner_ = owner->owner;

        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        if (!screen) {
            fail(ReadStatus::Unavailable);
            return false;
        }
        window_ = xcb_generate_id(c_);
        const uint32_t ours = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK,
                          &ours);
        // Our own mask on the owner's window: its death ends the wait at once, not at the
        // deadline. An owner already gone answers with an error, which counts the same.
        const uint32_t theirs = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, owner_, XCB_CW_EVENT_MASK, &theirs);
        return true;
    }

    // The next event, or null with the reason the read ends.
    xcb_generic_event_t* nextEvent() {
        for (;;) {
            if (xcb_generic_event_t* e = xcb_poll_for_event(c_)) return e;
            if (xcb_connection_has_error(c_)) {
                fail(ReadStatus::Unavailable);
                return nullptr;
            }
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
            if (left.count() <= 0) {
                fail(ReadStatus::TimedOut);
                return nullptr;
            }
            pollfd fds[2] = {{xcb_get_file_descriptor(c_), POLLIN, 0}, {cancelFd_, POLLIN, 0}};
            const int n = poll(fds, cancelFd_ >= 0 ? 2 : 1, static_cast<int>(left.count()));
            if (n < 0 && errno != EINTR) {
                fail(ReadStatus::Unavailable);
                return nullptr;
            }
            if (cancelFd_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
                fail(ReadStatus::Cancelled);
                return nullptr;
            }
        }
    }

    // True when `e` says the owner is gone; the read has then failed.
    bool ownerGone(const xcb_generic_event_t* e) {
        const uint8_t type = e->response_type & 0x7F;
        if (type == XCB_DESTROY_NOTIFY &&
            reinterpret_cast<const xcb_destroy_notify_event_t*>(e)->window == owner_) {
            fail(ReadStatus::OwnerGone);
            return true;
        }
        if (type == 0) {
            const auto* error = reinterpret_cast<const xcb_generic_error_t*>(e);
            if (error->error_code == XCB_WINDOW && error->resource_id == owner_) {
                fail(ReadStatus::OwnerGone);
                return true;
            }
        }
        return false;
    }

    Step awaitConversion() {
        while (xcb_generic_event_t* raw = nextEvent()) {
            Freed e(raw);
            if (ownerGone(raw)) return Step::Ended;
            if ((raw->response_type & 0x7F) != XCB_SELECTION_NOTIFY) continue;
            const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(raw);
            if (n->requestor != window_ || n->selection != selection_) continue;
            return n->property == XCB_ATOM_NONE ? Step::Refused : Step::Converted;
        }
        return Step::Ended;
    }

    // The property's type and size without its bytes; null when it cannot be had.
    xcb_get_property_reply_t* peek() {
        return xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
            nullptr);
    }

    // Takes (and deletes) the whole property, at most `room` bytes of it, onto the result.
    bool take(int64_t room) {
        const auto words = static_cast<uint32_t>(std::min<int64_t>(room / 4 + 1, UINT32_MAX));
        Freed reply(xcb_get_property_reply(
            c_, xcb_get_property(c_, 1, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, words),
            nullptr));
        if (!reply) return fail(ReadStatus::Unavailable), false;
        const int length = xcb_get_property_value_length(reply.p);
        if (reply->bytes_after > 0 || length > room) return fail(ReadStatus::TooLarge), false;
        result_.bytes.append(static_cast<const char*>(xcb_get_property_value(reply.p)), length);
        return true;
    }

    bool readConverted() {
        Freed head(peek());
        if (!head) return fail(ReadStatus::Unavailable), false;
        if (head->type != incr_ || incr_ == XCB_ATOM_NONE) {
            if (head->type == XCB_ATOM_NONE) return fail(ReadStatus::NoSuchType), false;
            if (head->bytes_after > request_.maxBytes) return fail(ReadStatus::TooLarge), false;
            if (!take(request_.maxBytes)) return false;
            result_.status = ReadStatus::Ok;
            return true;
        }
        return readIncrementally();
    }

    bool readIncrementally() {
        {
            Freed announce(xcb_get_property_reply(
                c_, xcb_get_property(c_, 1, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, 1),
                nullptr));
            if (!announce) return fail(ReadStatus::Unavailable), false;
            if (xcb_get_property_value_length(announce.p) >= 4)
                result_.announcedSize =
                    *static_cast<const uint32_t*>(xcb_get_property_value(announce.p));
        }
        // The size announced is a lower bound: more than the cap will not fit either way.
        if (result_.announcedSize > request_.maxBytes) return fail(ReadStatus::TooLarge), false;
        xcb_flush(c_);  // the deletion above asks the owner for the first chunk
        while (xcb_generic_event_t* raw = nextEvent()) {
            Freed e(raw);
            if (ownerGone(raw)) return false;
            if ((raw->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) continue;
            const auto* n = reinterpret_cast<const xcb_property_notify_event_t*>(raw);
            if (n->window != window_ || n->atom != property_ || n->state != XCB_PROPERTY_NEW_VALUE)
                continue;
            const qsizetype before = result_.bytes.size();
            if (!take(request_.maxBytes - before)) return false;
            if (result_.bytes.size() == before) {  // the empty chunk ends the transfer
                result_.status = ReadStatus::Ok;
                return true;
            }
            xcb_flush(c_);
        }
        return false;
    }

    const ReadRequest& request_;
    const int cancelFd_;
    const Clock::time_point deadline_;
    ReadResult result_;
    xcb_connection_t* c_ = nullptr;
    xcb_atom_t selection_ = XCB_ATOM_NONE, incr_ = XCB_ATOM_NONE, property_ = XCB_ATOM_NONE;
    std::vector<xcb_atom_t> targets_;
    xcb_window_t owner_ = XCB_NONE, window_ = XCB_NONE;
};

}  // namespace

const std::vector<std::string>& textTargets() {
    static const std::vector<std::string> targets = {"UTF8_STRING", "text/plain;charset=utf-8",
                                                     "STRING"};
    return targets;
}

QString resultText(const ReadResult& result) {
    if (result.target == "STRING") return QString::fromLatin1(result.bytes);
    return QString::fromUtf8(result.bytes);
}

ReadResult readSelection(const ReadRequest& request, int cancelFd) {
    try {
        return Reader(request, cancelFd).run();
    } catch (const std::bad_alloc&) {  // no room for the bytes: nothing read, nothing lost
        return ReadResult{ReadStatus::TooLarge, {}, {}, 0};
    } catch (...) {
        return ReadResult{ReadStatus::Unavailable, {}, {}, 0};
    }
}

SelectionRead::SelectionRead(ReadRequest request, std::function<void(ReadResult)> done) {
    if (pipe2(cancelPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        cancelPipe_[0] = cancelPipe_[1] = -1;
        thread_ = std::thread([done = std::move(done)] {
            done(ReadResult{ReadStatus::Unavailable, {}, {}, 0});
        });
        return;
    }
    thread_ = std::thread([request = std::move(request), done = std::move(done),
                           fd = cancelPipe_[0]] { done(readSelection(request, fd)); });
}

SelectionRead::~SelectionRead() {
    cancel();
    if (thread_.joinable()) thread_.join();
    for (int fd : cancelPipe_)
        if (fd >= 0) close(fd);
}

void SelectionRead::cancel() {
    if (cancelPipe_[1] < 0) return;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(cancelPipe_[1], &byte, 1);  // full pipe: already told
}

}  // namespace vellora::scrap
