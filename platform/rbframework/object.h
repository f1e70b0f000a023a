// Runtime objects: one base class with an intrusive reference count, and Ref<T>, which holds
// one reference. Every object is born with one reference, which belongs to whoever made it.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace rb {

class Object {
  public:
    Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    void retain() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference; the object is destroyed with the last one.
    void release() noexcept;
    int32_t refCount() const noexcept { return refs_.load(std::memory_order_relaxed); }

    // Objects alive in the process, for leak checks.
    static int64_t liveCount() noexcept;

  protected:
    virtual ~Object();

  private:
    std::atomic<int32_t> refs_{1};
};

// Calling a method on a nil reference.
class NilObjectException : public std::runtime_error {
  public:
    NilObjectException() : std::runtime_error("NilObjectException") {}
};

// Holds one reference on a T (or nothing: nil).
template <class T>
class Ref {
  public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    // Takes over a reference the caller already owns (a new object, a plug-in's result).
    static Ref adopt(T* p) noexcept {
        Ref r;
        r.p_ = p;
        return r;
    }
    // Takes a reference of its own.
    static Ref retain(T* p) noexcept {
        if (p) p->retain();
        return adopt(p);
    }
    Ref(const Ref& o) noexcept : p_(o.p_) {
        if (p_) p_->retain();
    }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    Ref(const Ref<U>& o) noexcept : p_(o.get()) {
        if (p_) p_->retain();
    }
    Ref& operator=(Ref o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() {
        if (p_) p_->release();
    }

    T* get() const noexcept { return p_; }
    // The reference passes to the caller; this Ref becomes nil.
    T* leak() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // Dereferencing nil raises the runtime's NilObjectException.
    T* operator->() const {
        if (!p_) throw NilObjectException();
        return p_;
    }
    T& operator*() const { return *operator->(); }
    bool operator==(const Ref& o) const noexcept { return p_ == o.p_; }

  private:
    T* p_ = nullptr;
};

template <class T, class... Args>
Ref<T> make(Args&&... args) {
    return Ref<T>::adopt(new T(std::forward<Args>(args)...));
}

}  // namespace rb
