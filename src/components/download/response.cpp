#include "components/download/response.h"

#include <cctype>
#include <limits>

namespace dl {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualNoCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

// Digits only, no sign, no overflow; -1 otherwise.
std::int64_t ParseNumber(std::string_view s) {
  s = Trim(s);
  if (s.empty() || s.size() > 18) return -1;
  std::int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string DispositionName(std::string_view value) {
  // filename="a b.zip" or filename=a.zip; the extended filename*= form is left alone.
  for (std::size_t i = 0; i + 9 <= value.size(); ++i) {
    if (!EqualNoCase(value.substr(i, 9), "filename=")) continue;
    auto rest = Trim(value.substr(i + 9));
    if (!rest.empty() && rest.front() == '"') {
      rest.remove_prefix(1);
      const auto close = rest.find('"');
      return std::string(rest.substr(0, close));
    }
    return std::string(Trim(rest.substr(0, rest.find(';'))));
  }
  return {};
}

}  // namespace

ContentRange ParseContentRange(std::string_view value) {
  ContentRange range;
  value = Trim(value);
  if (value.size() < 6 || !EqualNoCase(value.substr(0, 6), "bytes ")) return range;
  value = Trim(value.substr(6));
  const auto dash = value.find('-');
  const auto slash = value.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
    return range;
  range.first = ParseNumber(value.substr(0, dash));
  range.last = ParseNumber(value.substr(dash + 1, slash - dash - 1));
  const auto total = Trim(value.substr(slash + 1));
  range.total = total == "*" ? -1 : ParseNumber(total);
  const bool totalOk = total == "*" || range.total >= 0;
  range.valid = range.first >= 0 && range.last >= range.first && totalOk &&
                (range.total < 0 || range.last < range.total);
  return range;
}

ResponseHead ParseResponseHead(std::string_view raw) {
  ResponseHead head;
  bool first = true;
  while (!raw.empty()) {
    const auto end = raw.find('\n');
    auto line = raw.substr(0, end);
    raw = end == std::string_view::npos ? std::string_view() : raw.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      first = false;
      // "HTTP/1.1 206 Partial Content"
      const auto space = line.find(' ');
      if (space != std::string_view::npos && line.substr(0, 5) == "HTTP/") {
        const auto code = ParseNumber(line.substr(space + 1, 3));
        if (code >= 100 && code <= 999) head.status = static_cast<int>(code);
      }
      continue;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const auto name = Trim(line.substr(0, colon));
    const auto value = Trim(line.substr(colon + 1));
    if (EqualNoCase(name, "Content-Length")) {
      head.contentLength = ParseNumber(value);
    } else if (EqualNoCase(name, "Transfer-Encoding")) {
      head.chunked = head.chunked || ContainsNoCase(value, "chunked");
    } else if (EqualNoCase(name, "Content-Range")) {
      head.contentRange = ParseContentRange(value);
    } else if (EqualNoCase(name, "Content-Disposition")) {
      head.fileName = DispositionName(value);
    }
  }
  // A chunked body's length is whatever the chunks add up to; a length beside it means nothing.
  if (head.chunked) head.contentLength = -1;
  return head;
}

const char* VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::Accept: return "accepted";
    case Verdict::BadStatus: return "unexpected status";
    case Verdict::RangesIgnored: return "server ignores ranges";
    case Verdict::UnexpectedWhole: return "whole response of another length to a range request";
    case Verdict::WrongStart: return "Content-Range starts at another offset";
    case Verdict::WrongTotal: return "Content-Range names another total";
    case Verdict::BadRange: return "Content-Range missing or malformed";
    case Verdict::WrongLength: return "length differs from the file's";
  }
  return "?";
}

Verdict CheckFirstResponse(const ResponseHead& head) {
  return head.status == 200 ? Verdict::Accept : Verdict::BadStatus;
}

Verdict CheckRangedResponse(const ResponseHead& head, std::int64_t from, std::int64_t total) {
  if (head.status == 200) {
    return head.contentLength == total ? Verdict::RangesIgnored : Verdict::UnexpectedWhole;
  }
  if (head.status != 206) return Verdict::BadStatus;
  const auto& range = head.contentRange;
  if (!range.valid) return Verdict::BadRange;
  if (range.first != from) return Verdict::WrongStart;
  if (range.total != total) return Verdict::WrongTotal;
  if (head.contentLength >= 0 && head.contentLength != range.last - range.first + 1)
    return Verdict::BadRange;
  return Verdict::Accept;
}

Verdict CheckWholeResponse(const ResponseHead& head, std::int64_t total) {
  if (head.status != 200) return Verdict::BadStatus;
  if (total >= 0 && head.contentLength != total) return Verdict::WrongLength;
  return Verdict::Accept;
}

std::int64_t AnnouncedEnd(const ResponseHead& head) {
  if (head.status == 206 && head.contentRange.valid) return head.contentRange.last + 1;
  return head.contentLength;
}

}  // namespace dl
