// Where the clipboard's contents live: the system clipboard or a store inside the process.
// The flavour mapping sits above this interface, so both stores answer the same flavours.
#ifndef VELLORA_SCRAP_SCRAPSTORE_H
#define VELLORA_SCRAP_SCRAPSTORE_H

#include <memory>

#include "platform/scrap/Scrap.h"

class QMimeData;

namespace vellora::scrap {

class VELLORA_SCRAP_API Store {
  public:
    virtual ~Store();

    // Readies the store for one call; a failure ends the call with that status.
    virtual OSStatus attach() = 0;
    // The contents now, or null when the clipboard is empty. The store keeps ownership; the
    // pointer is good until the next call on the store.
    virtual const QMimeData* contents() = 0;
    // Replaces the contents.
    virtual OSStatus replace(std::unique_ptr<QMimeData> contents) = 0;
    virtual OSStatus clear() = 0;
};

// Starts a new generation of the contents: a store calls it when someone else changes them.
VELLORA_SCRAP_API void noteContentsChanged();

}  // namespace vellora::scrap

#endif
