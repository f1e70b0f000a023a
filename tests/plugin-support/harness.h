// Loads a fresh copy of the probe bundle for each test, so every test starts with the support
// code's entry slots empty, and records what the bundle asks of the C library's allocator.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tests/plugin-support/fake_host.h"
#include "tests/plugin-support/probe.h"

// One loaded copy of the probe bundle, started against `host` (REALPluginMain already ran).
class Bundle {
  public:
    explicit Bundle(fake::Host& host);
    ~Bundle();
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    int32_t mainResult = 0;
    const std::string& path() const { return path_; }

    // The probe class's row of `declaration`, cast to its signature; null (and a failure)
    // when the class was not registered.
    template <typename Fn>
    Fn Method(const char* declaration) const {
        auto fn = reinterpret_cast<Fn>(host_.FindMethod(probe::kClassName, declaration));
        if (!fn) ADD_FAILURE() << "probe class has no row " << declaration;
        return fn;
    }

    intptr_t Call(const char* routine, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0) const;
    template <typename A = intptr_t, typename B = intptr_t, typename C = intptr_t>
    intptr_t CallWith(const char* routine, A a = {}, B b = {}, C c = {}) const {
        return Call(routine, Word(a), Word(b), Word(c));
    }

  private:
    template <typename T>
    static intptr_t Word(T v) {
        if constexpr (std::is_null_pointer_v<T>) {
            return 0;
        } else if constexpr (std::is_pointer_v<T>) {
            return reinterpret_cast<intptr_t>(v);
        } else {
            return static_cast<intptr_t>(v);
        }
    }

    fake::Host& host_;
    void* handle_ = nullptr;
    std::string path_;
};

// A fixture whose host the test configures before Start().
class BundleTest : public testing::Test {
  protected:
    void Start() { bundle = std::make_unique<Bundle>(host); }
    template <typename T>
    T* As(intptr_t word) {
        return reinterpret_cast<T*>(word);
    }
    REALstring AsString(intptr_t word) { return reinterpret_cast<REALstring>(word); }

    fake::Host host;
    std::unique_ptr<Bundle> bundle;
};

// calloc and free of the whole process pass through here; while a Recording lives they are
// logged, and calloc of one chosen size can be refused.
namespace alloc {

class Recording {
  public:
    explicit Recording(size_t refuseCallocSize = 0);
    ~Recording();
    bool SawCalloc(size_t count, size_t size) const;
    bool SawFree(const void* pointer) const;
    int CallocCount() const;
};

}  // namespace alloc
