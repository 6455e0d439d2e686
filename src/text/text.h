// Texts are ANSI byte strings (code page 936 for the program's own Chinese texts).
// The absent text and the empty text are the same value: an empty std::string.
// Every walk treats a byte of 0x80 or above together with the byte after it as one
// double-byte character, so a match never starts on a trail byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace text {

constexpr std::size_t npos = std::string_view::npos;

inline bool IsLeadByte(unsigned char c) { return c >= 0x80; }

// Byte-wise comparison of unsigned bytes: <0, 0 or >0.
int Compare(std::string_view a, std::string_view b);
inline bool Equal(std::string_view a, std::string_view b) { return Compare(a, b) == 0; }

// Position of the first occurrence of `what` at or after `from` (a character boundary),
// stepping over double-byte characters; npos when none. An empty `what` is never found.
std::size_t Find(std::string_view text, std::string_view what, std::size_t from = 0);

// Position of the last single-byte `c` that is not the trail byte of a double-byte character.
std::size_t FindLastByte(std::string_view text, char c);

// Every non-overlapping occurrence of `what` replaced by `with`, in one pass.
std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with);

// Split at every `separator`: the text before each one is a field (even when empty);
// the text after the last one is a field only when it is not empty; "" gives no fields.
std::vector<std::string> Split(std::string_view text, std::string_view separator);

// ASCII A-Z to a-z; both bytes of every double-byte character stay as they are.
std::string LowerAscii(std::string_view text);

// Signed decimal, no grouping.
std::string FromInt(std::int64_t value);

std::string_view Left(std::string_view text, std::size_t bytes);
std::string_view Right(std::string_view text, std::size_t bytes);

}  // namespace text
