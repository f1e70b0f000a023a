// The reference-counted values behind CFStringRef and CFURLRef.
//
// Every value starts with a type tag, so that a string passed where a URL is expected (or
// the other way round) is refused rather than misread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/corefoundation/CoreFoundation.h"

namespace vellora::cf {

enum class Type : uint32_t { String = 0x43465354, Url = 0x43465552 };

class Object {
  public:
    explicit Object(Type type);
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object();

    Type type() const { return type_; }
    void Retain() { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Destroys the value with its last reference.
    void Release();

  private:
    Type type_;
    std::atomic<int64_t> refs_{1};
};

class String final : public Object {
  public:
    String(std::u16string units, bool isMutable)
        : Object(Type::String), units(std::move(units)), isMutable(isMutable) {}
    std::u16string units;
    const bool isMutable;
};

class Url final : public Object {
  public:
    explicit Url(std::string path) : Object(Type::Url), path(std::move(path)) {}
    const std::string path;  // canonical, absolute, UTF-8
};

const Object* AsObject(CFTypeRef value);
const String* AsString(CFStringRef value);
String* AsMutableString(CFMutableStringRef value);  // null for an immutable string
const Url* AsUrl(CFURLRef value);

// Through the base, so that the handle is the address AsObject reads back.
inline CFStringRef ToRef(const String* value) {
    return reinterpret_cast<CFStringRef>(static_cast<const Object*>(value));
}
inline CFMutableStringRef ToMutableRef(String* value) {
    return reinterpret_cast<CFMutableStringRef>(static_cast<Object*>(value));
}
inline CFURLRef ToRef(const Url* value) {
    return reinterpret_cast<CFURLRef>(static_cast<const Object*>(value));
}

}  // namespace vellora::cf
