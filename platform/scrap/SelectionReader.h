// Reading another program's X selection with a deadline, over an X connection of our own.
//
// Qt asks the selection's owner on the GUI thread and waits for it up to 5 s per question: an
// owner that never answers, trickles or dies in the middle of a transfer freezes the window for
// that long. This reader asks once, on whatever thread calls it, and gives up at a deadline
// over the whole transfer (first answer and every incremental chunk), at a size cap, at once
// when the owner's window goes away, or when it is cancelled.
#ifndef VELLORA_SCRAP_SELECTIONREADER_H
#define VELLORA_SCRAP_SELECTIONREADER_H

#include <QByteArray>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/scrap/Scrap.h"

namespace vellora::scrap {

enum class Selection { Clipboard, Primary };

enum class ReadStatus {
    Ok,           // bytes hold the whole conversion to `target`
    NoOwner,      // nobody holds the selection
    NoSuchType,   // the owner refused every target asked for (an image, say, and no text)
    TimedOut,     // the deadline came before the transfer ended
    OwnerGone,    // the owner's window went away before the transfer ended
    TooLarge,     // the owner has, or announced, more than the cap
    Cancelled,    // cancel() was called
    Unavailable,  // no X display to ask
};

struct ReadRequest {
    std::string display;  // empty: $DISPLAY
    Selection selection = Selection::Clipboard;
    // Asked in this order; the first the owner converts is read.
    std::vector<std::string> targets;
    std::chrono::milliseconds deadline{1000};  // from the start of the read to its end
    int64_t maxBytes = 8 << 20;
};

struct ReadResult {
    ReadStatus status = ReadStatus::Unavailable;
    std::string target;         // the target converted, when Ok
    QByteArray bytes;           // when Ok
    int64_t announcedSize = 0;  // an incremental transfer's announced lower bound, else 0
};

// The targets that carry text, best first: UTF-8 under two names, then Latin-1.
VELLORA_SCRAP_API const std::vector<std::string>& textTargets();

// The text of a result read with textTargets() (Latin-1 for STRING, UTF-8 otherwise).
VELLORA_SCRAP_API QString resultText(const ReadResult& result);

// One read on a thread of its own. `done` runs once, on that thread, with the result (also
// after cancel()). The destructor cancels the read and waits for the thread, which ends at
// once: the read never waits without also watching for the cancel.
class VELLORA_SCRAP_API SelectionRead {
  public:
    SelectionRead(ReadRequest request, std::function<void(ReadResult)> done);
    ~SelectionRead();
    SelectionRead(const SelectionRead&) = delete;
    SelectionRead& operator=(const SelectionRead&) = delete;

    // [any] Ends the read as Cancelled unless it has already ended.
    void cancel();

  private:
    int cancelPipe_[2] = {-1, -1};
    std::thread thread_;
};

// [any] The same read on the calling thread; returns when it ends. `cancelFd`, when not -1,
// ends it as Cancelled once readable.
VELLORA_SCRAP_API ReadResult readSelection(const ReadRequest& request, int cancelFd = -1);

}  // namespace vellora::scrap

#endif
