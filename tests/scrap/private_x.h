// A private X server (Xvfb) for a test, and a clipboard owner of the test's own on it that
// answers as told: at once, in increments, a byte at a time, not at all, or dying on the way.
#pragma once

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace vellora::testing {

// Xvfb on a display number of this process's own, kept up between clients (-noreset); display()
// is empty when it could not start. (Xvfb's own choice of a free number is not safe when many
// start at once: two can be handed the same one, and a test then meets another test's owner.)
class PrivateX {
  public:
    PrivateX() {
        if (access("/usr/bin/Xvfb", X_OK) != 0) return;
        for (int attempt = 0; attempt < 8 && display_.empty(); ++attempt) {
            const int number = 1000 + static_cast<int>((getpid() * 7L + attempt * 131L) % 30000);
            if (start(number)) display_ = ":" + std::to_string(number);
        }
    }
    ~PrivateX() { stop(); }
    const std::string& display() const { return display_; }

  private:
    // True once our server answers on `number`; false when it ended (the number was taken).
    bool start(int number) {
        const std::string name = ":" + std::to_string(number);
        pid_ = fork();
        if (pid_ == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl("/usr/bin/Xvfb", "Xvfb", name.c_str(), "-nolisten", "tcp", "-noreset", "-screen",
                  "0", "320x240x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid_ < 0) return false;
        for (int i = 0; i < 500; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            xcb_connection_t* c = xcb_connect(name.c_str(), nullptr);
            const bool ok = !xcb_connection_has_error(c);
            xcb_disconnect(c);
            if (ok && ownsLock(number)) return true;
            usleep(20000);
        }
        stop();
        return false;
    }
    // The server that answers on `number` is ours: it wrote our child's pid in the lock.
    bool ownsLock(int number) const {
        std::FILE* f = std::fopen(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), "r");
        if (!f) return false;
        long pid = 0;
        const bool read = std::fscanf(f, "%ld", &pid) == 1;
        std::fclose(f);
        return read && pid == pid_;
    }
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

    pid_t pid_ = -1;
    std::string display_;
};

struct OwnerPlan {
    enum Kind { Answers, Silent, ImageOnly, LatinOnly } kind = Answers;
    QByteArray text;
    bool incremental = false;
    int chunk = 64 * 1024;
    long long announce = -1;  // the size an incremental transfer announces; -1: the real one
    std::chrono::milliseconds chunkDelay{0};
    int dieAfterChunks = -1;  // the owner's connection closes after this many chunks

    static OwnerPlan of(Kind kind, QByteArray text = {}) {
        OwnerPlan p;
        p.kind = kind;
        p.text = std::move(text);
        return p;
    }
    // In increments of `chunk` bytes, each sent `delay` after the last was taken.
    static OwnerPlan incrementally(QByteArray text, int chunk,
                                   std::chrono::milliseconds delay = {}) {
        OwnerPlan p = of(Answers, std::move(text));
        p.incremental = true;
        p.chunk = chunk;
        p.chunkDelay = delay;
        return p;
    }
    OwnerPlan announcing(long long size) const {
        OwnerPlan p = *this;
        p.announce = size;
        return p;
    }
    OwnerPlan dyingAfter(int chunks) const {
        OwnerPlan p = *this;
        p.dieAfterChunks = chunks;
        return p;
    }
};

// Takes CLIPBOARD on `display` before the constructor returns and answers from a thread.
class FakeOwner {
  public:
    FakeOwner(const std::string& display, OwnerPlan plan) : plan_(std::move(plan)) {
        c_ = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(c_)) return;
        clipboard_ = atom("CLIPBOARD");
        utf8_ = atom("UTF8_STRING");
        targets_ = atom("TARGETS");
        incr_ = atom("INCR");
        png_ = atom("image/png");
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        window_ = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_set_selection_owner(c_, window_, clipboard_, XCB_CURRENT_TIME);
        free(xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, clipboard_), nullptr));
        if (pipe(stop_) != 0) return;
        thread_ = std::thread([this] { loop(); });
    }
    ~FakeOwner() {
        if (thread_.joinable()) {
            [[maybe_unused]] ssize_t n = write(stop_[1], "x", 1);
            thread_.join();
        }
        if (c_) xcb_disconnect(c_);
        for (int fd : stop_)
            if (fd >= 0) close(fd);
    }
    // Requests seen so far, from the owner's thread.
    int requests() const { return requests_; }

  private:
    struct Transfer {
        xcb_atom_t property;
        qsizetype offset = 0;
        int chunks = 0;
        bool wanted = false;  // the requestor deleted the last chunk
        std::chrono::steady_clock::time_point due;
    };

    xcb_atom_t atom(const char* name) {
        auto* r = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
        xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        free(r);
        return a;
    }

    void notify(const xcb_selection_request_event_t* r, xcb_atom_t property) {
        xcb_selection_notify_event_t n{};
        n.response_type = XCB_SELECTION_NOTIFY;
        n.time = r->time;
        n.requestor = r->requestor;
        n.selection = r->selection;
        n.target = r->target;
        n.property = property;
        xcb_send_event(c_, 0, r->requestor, 0, reinterpret_cast<const char*>(&n));
    }

    void put(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, QByteArrayView bytes) {
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, property, type, 8,
                            static_cast<uint32_t>(bytes.size()), bytes.data());
    }

    void answer(const xcb_selection_request_event_t* r) {
        ++requests_;
        if (plan_.kind == OwnerPlan::Silent) return;
        const xcb_atom_t property = r->property != XCB_ATOM_NONE ? r->property : r->target;
        if (r->target == targets_) {
            const xcb_atom_t offered = plan_.kind == OwnerPlan::ImageOnly ? png_ : utf8_;
            const xcb_atom_t list[] = {targets_, offered};
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, r->requestor, property, XCB_ATOM_ATOM,
                                32, 2, list);
            return notify(r, property);
        }
        if (plan_.kind == OwnerPlan::ImageOnly) {
            if (r->target != png_) return notify(r, XCB_ATOM_NONE);
            put(r->requestor, property, png_, QByteArrayView("\x89PNG\r\n\x1a\n", 8));
            return notify(r, property);
        }
        const xcb_atom_t wanted =
            plan_.kind == OwnerPlan::LatinOnly ? xcb_atom_t{XCB_ATOM_STRING} : utf8_;
        if (r->target != wanted) return notify(r, XCB_ATOM_NONE);
        if (!plan_.incremental) {
            put(r->requestor, property, wanted, plan_.text);
            return notify(r, property);
        }
        const auto size =
            static_cast<uint32_t>(plan_.announce >= 0 ? plan_.announce : plan_.text.size());
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c_, r->requestor, XCB_CW_EVENT_MASK, &mask);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, r->requestor, property, incr_, 32, 1, &size);
        transfers_[r->requestor] = Transfer{property, 0, 0, false, {}};
        notify(r, property);
    }

    // Sends the chunks that are due; false once the owner is to die.
    bool sendDue() {
        const auto now = std::chrono::steady_clock::now();
        for (auto it = transfers_.begin(); it != transfers_.end();) {
            Transfer& t = it->second;
            if (!t.wanted || now < t.due) {
                ++it;
                continue;
            }
            if (plan_.dieAfterChunks >= 0 && t.chunks >= plan_.dieAfterChunks) return false;
            const QByteArrayView piece =
                QByteArrayView(plan_.text)
                    .sliced(t.offset,
                            std::min<qsizetype>(plan_.chunk, plan_.text.size() - t.offset));
            put(it->first, t.property, utf8_, piece);
            t.offset += piece.size();
            ++t.chunks;
            t.wanted = false;
            if (piece.isEmpty())
                it = transfers_.erase(it);
            else
                ++it;
        }
        return true;
    }

    void loop() {
        for (;;) {
            xcb_flush(c_);
            pollfd fds[2] = {{xcb_get_file_descriptor(c_), POLLIN, 0}, {stop_[0], POLLIN, 0}};
            poll(fds, 2, 5);
            if (fds[1].revents) return;
            while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
                const uint8_t type = e->response_type & 0x7F;
                if (type == XCB_SELECTION_REQUEST) {
                    answer(reinterpret_cast<xcb_selection_request_event_t*>(e));
                } else if (type == XCB_PROPERTY_NOTIFY) {
                    auto* n = reinterpret_cast<xcb_property_notify_event_t*>(e);
                    auto it = transfers_.find(n->window);
                    if (it != transfers_.end() && n->atom == it->second.property &&
                        n->state == XCB_PROPERTY_DELETE) {
                        it->second.wanted = true;
                        it->second.due = std::chrono::steady_clock::now() + plan_.chunkDelay;
                    }
                }
                free(e);
            }
            if (!sendDue()) {
                xcb_disconnect(c_);  // the X server destroys our window with the connection
                c_ = nullptr;
                return;
            }
        }
    }

    OwnerPlan plan_;
    xcb_connection_t* c_ = nullptr;
    xcb_atom_t clipboard_ = 0, utf8_ = 0, targets_ = 0, incr_ = 0, png_ = 0;
    xcb_window_t window_ = 0;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<int> requests_{0};
    std::map<xcb_window_t, Transfer> transfers_;
};

}  // namespace vellora::testing
