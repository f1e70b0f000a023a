#include "platform/scrap/MemoryStore.h"

namespace vellora::scrap {

OSStatus MemoryStore::replace(std::unique_ptr<QMimeData> contents) {
    contents_ = std::move(contents);
    return scrapNoErr;
}

OSStatus MemoryStore::clear() {
    contents_.reset();
    return scrapNoErr;
}

}  // namespace vellora::scrap
