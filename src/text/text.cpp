#include "text/text.h"

#include <cstring>

namespace text {

int Compare(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Length of the character starting at `i`: 2 for a lead byte with a byte after it.
static std::size_t CharLength(std::string_view t, std::size_t i) {
  return (IsLeadByte(static_cast<unsigned char>(t[i])) && i + 1 < t.size()) ? 2 : 1;
}

std::size_t Find(std::string_view t, std::string_view what, std::size_t from) {
  if (what.empty()) return npos;
  for (std::size_t i = from; i < t.size(); i += CharLength(t, i)) {
    if (t.size() - i < what.size()) break;
    if (std::memcmp(t.data() + i, what.data(), what.size()) == 0) return i;
  }
  return npos;
}

std::size_t FindLastByte(std::string_view t, char c) {
  std::size_t found = npos;
  for (std::size_t i = 0; i < t.size(); i += CharLength(t, i)) {
    if (t[i] == c) found = i;
  }
  return found;
}

std::string ReplaceAll(std::string_view t, std::string_view what, std::string_view with) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t at = Find(t, what); at != npos; at = Find(t, what, start)) {
    out.append(t.substr(start, at - start)).append(with);
    start = at + what.size();
  }
  out.append(t.substr(start));
  return out;
}

std::vector<std::string> Split(std::string_view t, std::string_view separator) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t at = Find(t, separator); at != npos; at = Find(t, separator, start)) {
    fields.emplace_back(t.substr(start, at - start));
    start = at + separator.size();
  }
  if (start < t.size()) fields.emplace_back(t.substr(start));
  return fields;
}

std::string LowerAscii(std::string_view t) {
  std::string out(t);
  for (std::size_t i = 0; i < out.size(); i += CharLength(out, i)) {
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
  }
  return out;
}

std::string FromInt(std::int64_t value) { return std::to_string(value); }

std::string_view Left(std::string_view t, std::size_t bytes) { return t.substr(0, bytes); }

std::string_view Right(std::string_view t, std::size_t bytes) {
  return bytes >= t.size() ? t : t.substr(t.size() - bytes);
}

}  // namespace text
