#include "platform/rbframework/object.h"

namespace rb {

namespace {
std::atomic<int64_t> gLiveObjects{0};
}

Object::Object() {
    gLiveObjects.fetch_add(1, std::memory_order_relaxed);
}

Object::~Object() {
    gLiveObjects.fetch_sub(1, std::memory_order_relaxed);
}

void Object::release() noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

int64_t Object::liveCount() noexcept {
    return gLiveObjects.load(std::memory_order_relaxed);
}

}  // namespace rb
