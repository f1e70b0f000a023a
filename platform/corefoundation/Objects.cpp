#include "platform/corefoundation/Objects.h"

#include "platform/corefoundation/testing.h"

namespace vellora::cf {
namespace {

std::atomic<int64_t> liveObjects{0};

}  // namespace

Object::Object(Type type) : type_(type) {
    liveObjects.fetch_add(1, std::memory_order_relaxed);
}

Object::~Object() {
    liveObjects.fetch_sub(1, std::memory_order_relaxed);
}

void Object::Release() {
    // acq_rel: the thread that destroys the value sees every other thread's last use of it.
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

const Object* AsObject(CFTypeRef value) {
    const Object* object = static_cast<const Object*>(value);
    if (object == nullptr) return nullptr;
    if (object->type() != Type::String && object->type() != Type::Url) return nullptr;
    return object;
}

const String* AsString(CFStringRef value) {
    const Object* object = AsObject(value);
    return object != nullptr && object->type() == Type::String ? static_cast<const String*>(object)
                                                               : nullptr;
}

String* AsMutableString(CFMutableStringRef value) {
    String* string = const_cast<String*>(AsString(value));
    return string != nullptr && string->isMutable ? string : nullptr;
}

const Url* AsUrl(CFURLRef value) {
    const Object* object = AsObject(value);
    return object != nullptr && object->type() == Type::Url ? static_cast<const Url*>(object)
                                                            : nullptr;
}

namespace testing {

int64_t LiveObjectCount() {
    return liveObjects.load(std::memory_order_relaxed);
}

}  // namespace testing
}  // namespace vellora::cf

using namespace vellora::cf;

extern "C" CFTypeRef CFRetain(CFTypeRef value) {
    const Object* object = AsObject(value);
    if (object == nullptr) return nullptr;
    const_cast<Object*>(object)->Retain();
    return value;
}

extern "C" void CFRelease(CFTypeRef value) {
    const Object* object = AsObject(value);
    if (object != nullptr) const_cast<Object*>(object)->Release();
}
