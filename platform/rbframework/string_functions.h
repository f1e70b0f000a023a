// The runtime's string functions. Positions are 1-based and lengths count characters
// (code points for the Unicode encodings, bytes for the single-byte ones and for raw bytes).
// Results keep the encoding of their source where they are a piece of it.
#pragma once

#include <cstdint>

#include "platform/rbframework/rbstring.h"

namespace rb {

int32_t Len(const String& s);
// The first n characters; all of s when n >= Len(s); empty when n <= 0.
String Left(const String& s, int32_t n);
// The last n characters; all of s when n >= Len(s); empty when n <= 0.
String Right(const String& s, int32_t n);
// From the 1-based position start to the end, or count characters from there. A start below
// 1 counts from 1; a start past the end or a negative count gives the empty string.
String Mid(const String& s, int32_t start);
String Mid(const String& s, int32_t start, int32_t count);
// The position of the first occurrence of find at or after start (0 and 1 both mean the
// beginning), ignoring case; 0 when absent.
int32_t InStr(const String& s, const String& find);
int32_t InStr(int32_t start, const String& s, const String& find);
// The n-th (1-based) field of s split at sep (matched ignoring case); empty when there is none.
String NthField(const String& s, const String& sep, int32_t n);
int32_t CountFields(const String& s, const String& sep);
// The number at the start of s (blanks first, a sign, digits, a fraction, an exponent);
// 0 when there is none; the rest of s is ignored.
double Val(const String& s);
String Str(int32_t n);
String Str(double d);
String Lowercase(const String& s);
// The character with this code point; empty for a value that is no character.
String Chr(int32_t codePoint);

// A double as a 32-bit integer, truncated toward zero; NaN gives 0 and values out of range
// the nearest limit, so no conversion is undefined.
int32_t DoubleToInt32(double d) noexcept;

}  // namespace rb
