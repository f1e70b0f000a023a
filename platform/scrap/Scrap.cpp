// The clipboard calls: choose the store, keep the generation that scrap references name, and
// turn every failure, thrown ones included, into a status code.
#include "platform/scrap/Scrap.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#include "platform/scrap/ClipboardStore.h"
#include "platform/scrap/Flavors.h"
#include "platform/scrap/MemoryStore.h"
#include "platform/scrap/testing.h"

namespace vellora::scrap {
namespace {

constexpr ScrapRef kLastRef = 0x7FFFFFFF;

std::atomic<ScrapRef> generation{1};

enum class Source { None, Memory, Clipboard, Override };

struct State {
    // Recursive: a dataChanged handler elsewhere in the program may call back in while a put
    // of ours holds the lock.
    std::recursive_mutex mutex;
    MemoryStore memory;
    ClipboardStore clipboard;
    std::shared_ptr<Store> override;
    Source last = Source::None;
};

// Never destroyed: callers may still reach the clipboard while the process exits.
State& state() {
    static State* const instance = new State;
    return *instance;
}

// Asked at each call: a GUI application may be created or destroyed between calls.
Store& currentStore(State& s) {
    Source source;
    Store* store;
    if (s.override) {
        source = Source::Override;
        store = s.override.get();
    } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        source = Source::Clipboard;
        store = &s.clipboard;
    } else {
        source = Source::Memory;
        store = &s.memory;
    }
    if (source != s.last) {
        s.last = source;
        noteContentsChanged();
    }
    return *store;
}

// Runs `op` on the attached current store, checking `scrap` unless it is null.
template <typename Op>
OSStatus withStore(const ScrapRef* scrap, Op&& op) noexcept {
    try {
        State& s = state();
        std::lock_guard lock(s.mutex);
        Store& store = currentStore(s);
        if (OSStatus status = store.attach(); status != scrapNoErr) return status;
        if (scrap && *scrap != generation.load()) return scrapStaleRefErr;
        return op(store);
    } catch (const std::bad_alloc&) {
        return scrapMemFullErr;
    } catch (...) {
        return scrapInternalErr;
    }
}

OSStatus readFlavor(ScrapRef scrap, ScrapFlavorType type, QByteArray* bytes) {
    return withStore(&scrap, [&](Store& store) {
        OSStatus status = flavorBytes(store.contents(), type, bytes);
        if (status == scrapNoErr && bytes->size() > std::numeric_limits<int32_t>::max())
            return static_cast<OSStatus>(scrapFlavorTooLargeErr);
        return status;
    });
}

}  // namespace

Store::~Store() = default;

void noteContentsChanged() {
    ScrapRef current = generation.load();
    while (!generation.compare_exchange_weak(current, current >= kLastRef ? 1 : current + 1)) {
    }
}

void testing::setStoreOverride(std::shared_ptr<Store> store) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.override = std::move(store);
}

}  // namespace vellora::scrap

using namespace vellora::scrap;

extern "C" {

OSStatus GetCurrentScrap(ScrapRef* scrap) {
    if (!scrap) return scrapParamErr;
    return withStore(nullptr, [&](Store&) {
        *scrap = generation.load();
        return static_cast<OSStatus>(scrapNoErr);
    });
}

OSStatus GetScrapFlavorFlags(ScrapRef scrap, ScrapFlavorType flavorType, ScrapFlavorFlags* flags) {
    if (!flags) return scrapParamErr;
    return withStore(&scrap, [&](Store& store) {
        if (!hasFlavor(store.contents(), flavorType)) return static_cast<OSStatus>(scrapNoTypeErr);
        *flags = kScrapFlavorFlagsNone;
        return static_cast<OSStatus>(scrapNoErr);
    });
}

OSStatus GetScrapFlavorSize(ScrapRef scrap, ScrapFlavorType flavorType, int32_t* byteCount) {
    if (!byteCount) return scrapParamErr;
    QByteArray bytes;
    const OSStatus status = readFlavor(scrap, flavorType, &bytes);
    if (status == scrapNoErr) *byteCount = static_cast<int32_t>(bytes.size());
    return status;
}

OSStatus GetScrapFlavorData(ScrapRef scrap, ScrapFlavorType flavorType, int32_t* byteCount,
                            void* destination) {
    if (!byteCount || *byteCount < 0 || (*byteCount > 0 && !destination)) return scrapParamErr;
    QByteArray bytes;
    const OSStatus status = readFlavor(scrap, flavorType, &bytes);
    if (status != scrapNoErr) return status;
    const auto size = static_cast<int32_t>(bytes.size());
    if (size > *byteCount) {
        *byteCount = size;
        return scrapBufferTooSmallErr;
    }
    if (size > 0) std::memcpy(destination, bytes.constData(), static_cast<size_t>(size));
    *byteCount = size;
    return scrapNoErr;
}

OSStatus PutScrapFlavor(ScrapRef scrap, ScrapFlavorType flavorType, ScrapFlavorFlags,
                        int32_t flavorSize, const void* flavorData) {
    if (flavorSize < 0 || (flavorSize > 0 && !flavorData)) return scrapParamErr;
    return withStore(&scrap, [&](Store& store) {
        const QByteArrayView bytes(static_cast<const char*>(flavorData), flavorSize);
        std::unique_ptr<QMimeData> updated;
        OSStatus status = withFlavor(store.contents(), flavorType, bytes, &updated);
        if (status == scrapNoErr) status = store.replace(std::move(updated));
        // Also where the store reported no change itself.
        if (status == scrapNoErr) noteContentsChanged();
        return status;
    });
}

OSStatus GetScrapFlavorCount(ScrapRef scrap, uint32_t* infoCount) {
    if (!infoCount) return scrapParamErr;
    return withStore(&scrap, [&](Store& store) {
        *infoCount = static_cast<uint32_t>(listFlavors(store.contents()).size());
        return static_cast<OSStatus>(scrapNoErr);
    });
}

OSStatus GetScrapFlavorInfoList(ScrapRef scrap, uint32_t* infoCount, ScrapFlavorInfo info[]) {
    if (!infoCount || (*infoCount > 0 && !info)) return scrapParamErr;
    return withStore(&scrap, [&](Store& store) {
        const std::vector<ScrapFlavorType> types = listFlavors(store.contents());
        const uint32_t written = std::min(*infoCount, static_cast<uint32_t>(types.size()));
        for (uint32_t i = 0; i < written; ++i) info[i] = {types[i], kScrapFlavorFlagsNone};
        *infoCount = written;
        return static_cast<OSStatus>(scrapNoErr);
    });
}

OSStatus ClearCurrentScrap(void) {
    return withStore(nullptr, [](Store& store) {
        const OSStatus status = store.clear();
        if (status == scrapNoErr) noteContentsChanged();
        return status;
    });
}

}  // extern "C"
