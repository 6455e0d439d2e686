// Reading a response head and deciding, before any byte of its body is written, whether
// the body is the part of the file that was asked for. Pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dl {

struct ContentRange {
  bool valid = false;
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t total = -1;  // -1: "*", unknown
};

struct ResponseHead {
  int status = 0;
  std::int64_t contentLength = -1;  // -1: not given (or overridden by chunked encoding)
  bool chunked = false;
  ContentRange contentRange;
  std::string fileName;  // from Content-Disposition, as the server wrote it
};

// Parses a status line and header lines separated by CRLF or LF.
ResponseHead ParseResponseHead(std::string_view raw);

// "bytes first-last/total" (total may be "*").
ContentRange ParseContentRange(std::string_view value);

enum class Verdict {
  Accept,
  BadStatus,        // neither 200 nor 206 (404, 500, an unfollowed redirect, ...)
  RangesIgnored,    // 200 with the whole file to a range request
  UnexpectedWhole,  // 200 to a range request that is not even the whole file
  WrongStart,       // Content-Range begins elsewhere than asked
  WrongTotal,       // Content-Range names another total than the file's
  BadRange,         // Content-Range missing, malformed or disagreeing with its length
  WrongLength,      // a whole-file response whose length is not the file's
};

const char* VerdictText(Verdict verdict);

// The first request carries no Range header: a 200 is wanted. Its length, if any, is the size.
Verdict CheckFirstResponse(const ResponseHead& head);

// A request with "Range: bytes=from-" for a file of `total` bytes.
Verdict CheckRangedResponse(const ResponseHead& head, std::int64_t from, std::int64_t total);

// A request without a Range header once the size is known (the server ignores ranges):
// a 200 with the same length, or without any length when the size was never announced.
Verdict CheckWholeResponse(const ResponseHead& head, std::int64_t total);

// Where the body of an accepted response ends, as a file offset; -1 when not announced.
std::int64_t AnnouncedEnd(const ResponseHead& head);

}  // namespace dl
