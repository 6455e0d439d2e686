// Fuzz target of the download component's response checks. The input's first line may
// give "<from> <total>", the range a request asked for (from < total); the rest, or the
// whole input when that line is absent, is the response head as the transport hands it
// over. Whatever the bytes, the parsed head is self-consistent, reads the same with LF
// or CRLF line ends, and a response is accepted only when it is what was asked for.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "components/download/response.h"

namespace {

using dl::Verdict;

[[noreturn]] void Fail(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "response_fuzz: %s [%.*s]\n", what, static_cast<int>(detail.size()),
               detail.data());
  std::abort();
}

// Plain decimal digits, at most 18 of them; nothing else.
std::optional<std::int64_t> Digits(std::string_view s) {
  if (s.empty() || s.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The strict form "bytes F-L/T" or "bytes F-L/*", written apart from the component's
// lenient parser: whatever this accepts, the component must read the same way.
struct StrictRange {
  std::int64_t first, last, total;
};
std::optional<StrictRange> StrictContentRange(std::string_view v) {
  if (v.substr(0, 6) != "bytes ") return std::nullopt;
  v.remove_prefix(6);
  const auto dash = v.find('-');
  const auto slash = v.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
  const auto first = Digits(v.substr(0, dash));
  const auto last = Digits(v.substr(dash + 1, slash - dash - 1));
  const auto totalText = v.substr(slash + 1);
  const auto total = totalText == "*" ? std::optional<std::int64_t>(-1) : Digits(totalText);
  if (!first || !last || !total) return std::nullopt;
  return StrictRange{*first, *last, *total};
}

void CheckContentRange(std::string_view value) {
  const dl::ContentRange range = dl::ParseContentRange(value);
  if (range.valid) {
    if (range.first < 0 || range.last < range.first) Fail("valid range out of order", value);
    if (range.total < -1 || (range.total >= 0 && range.last >= range.total)) Fail("valid range beyond its total", value);
  }
  if (const auto strict = StrictContentRange(value)) {
    const bool consistent = strict->last >= strict->first && (strict->total < 0 || strict->last < strict->total);
    if (range.valid != consistent) Fail("strict range judged otherwise", value);
    if (consistent && (range.first != strict->first || range.last != strict->last || range.total != strict->total))
      Fail("strict range read otherwise", value);
  }
}

bool SameHead(const dl::ResponseHead& a, const dl::ResponseHead& b) {
  return a.status == b.status && a.contentLength == b.contentLength && a.chunked == b.chunked &&
         a.contentRange.valid == b.contentRange.valid && a.contentRange.first == b.contentRange.first &&
         a.contentRange.last == b.contentRange.last && a.contentRange.total == b.contentRange.total &&
         a.fileName == b.fileName;
}

void CheckHead(std::string_view raw, std::int64_t from, std::int64_t total) {
  const dl::ResponseHead head = dl::ParseResponseHead(raw);
  if (head.status != 0 && (head.status < 100 || head.status > 999)) Fail("status out of range", raw);
  if (head.contentLength < -1) Fail("negative length", raw);
  if (head.chunked && head.contentLength != -1) Fail("length beside chunked encoding", raw);
  if (head.fileName.find('\n') != std::string::npos) Fail("file name across lines", raw);
  const auto& range = head.contentRange;
  if (range.valid && (range.first < 0 || range.last < range.first || range.total < -1 ||
                      (range.total >= 0 && range.last >= range.total)))
    Fail("inconsistent range accepted as valid", raw);

  // Bare LF and CRLF line ends read alike.
  std::string crlf;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) crlf += '\r';
    crlf += raw[i];
  }
  if (!SameHead(head, dl::ParseResponseHead(crlf))) Fail("CRLF and LF heads differ", raw);

  // The first request has no Range header.
  if (dl::CheckFirstResponse(head) == Verdict::Accept && head.status != 200) Fail("first response accepted", raw);

  // A ranged request "bytes=from-" for a file of `total` bytes.
  const Verdict ranged = dl::CheckRangedResponse(head, from, total);
  if (ranged == Verdict::Accept) {
    if (head.status != 206 || !range.valid) Fail("ranged: accepted without a valid 206", raw);
    if (range.first != from) Fail("ranged: accepted at another offset", raw);
    if (range.total != total) Fail("ranged: accepted with another total", raw);
    if (head.contentLength != -1 && head.contentLength != range.last - range.first + 1)
      Fail("ranged: accepted with a length that disagrees with the range", raw);
    const std::int64_t end = dl::AnnouncedEnd(head);
    if (end <= from || end > total) Fail("ranged: announced end outside the file", raw);
  } else if (ranged == Verdict::RangesIgnored) {
    if (head.status != 200 || head.contentLength != total) Fail("ranged: whole file misjudged", raw);
  }

  // A request without a Range header once the size is known, and once when it never was.
  if (dl::CheckWholeResponse(head, total) == Verdict::Accept) {
    if (head.status != 200 || head.contentLength != total) Fail("whole: accepted with another length", raw);
    if (dl::AnnouncedEnd(head) != total) Fail("whole: announced end is not the size", raw);
  }
  if (dl::CheckWholeResponse(head, -1) == Verdict::Accept && head.status != 200) Fail("whole: accepted", raw);

  // Every header value as a Content-Range on its own.
  for (std::size_t start = 0; start < raw.size();) {
    const auto end = raw.find('\n', start);
    std::string_view line = raw.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto colon = line.find(':');
    if (colon != std::string_view::npos) {
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
      CheckContentRange(value);
    }
    CheckContentRange(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::int64_t from = 500;
  std::int64_t total = 1000;
  // "<from> <total>\n" first, when present and sensible.
  const auto newline = input.find('\n');
  if (newline != std::string_view::npos) {
    const std::string_view first = input.substr(0, newline);
    const auto space = first.find(' ');
    if (space != std::string_view::npos) {
      const auto f = Digits(first.substr(0, space));
      const auto t = Digits(first.substr(space + 1));
      if (f && t && *f < *t) {
        from = *f;
        total = *t;
        input.remove_prefix(newline + 1);
      }
    }
  }
  CheckHead(input, from, total);
  return 0;
}
