// Design-time property sets: the table of name/value pairs that a window or control gets in
// one call (_SetProperties). A name that the object does not know is a programming error and
// throws, so a misspelt property fails at construction instead of being silently dropped.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "platform/rbframework/rbstring.h"

namespace rb {

// A colour as the runtime's RGB gives it.
struct Color {
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Color&) const = default;
};
inline Color RGB(int r, int g, int b, int /*alpha*/ = 0) {
    return Color{static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
}

using PropertyValue = std::variant<bool, int32_t, double, String, Color>;
using PropertySet = std::initializer_list<std::pair<const char*, PropertyValue>>;

class UnknownPropertyError : public std::logic_error {
  public:
    UnknownPropertyError(std::string_view owner, std::string_view name)
        : std::logic_error(std::string(owner) + " has no property \"" + std::string(name) + "\"") {}
};

// Reads a value of the expected kind; a value of another kind is a programming error too.
template <class T>
T propertyAs(std::string_view name, const PropertyValue& v) {
    if constexpr (std::is_same_v<T, int32_t>) {
        if (auto* d = std::get_if<double>(&v)) return static_cast<int32_t>(*d);
    }
    if constexpr (std::is_same_v<T, double>) {
        if (auto* i = std::get_if<int32_t>(&v)) return *i;
    }
    if (auto* p = std::get_if<T>(&v)) return *p;
    throw std::logic_error("property \"" + std::string(name) + "\" has a value of another kind");
}

}  // namespace rb
