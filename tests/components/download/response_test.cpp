#include "components/download/response.h"

#include <gtest/gtest.h>

namespace {

using dl::Verdict;

dl::ResponseHead Head(const char* raw) { return dl::ParseResponseHead(raw); }

TEST(Response, ParsesTheFieldsThatMatter) {
  const auto h = Head(
      "HTTP/1.1 206 Partial Content\r\ncontent-length: 100\r\n"
      "Content-Range: bytes 900-999/1000\r\n"
      "Content-Disposition: attachment; filename=\"new pkg.zip\"\r\n\r\n");
  EXPECT_EQ(h.status, 206);
  EXPECT_EQ(h.contentLength, 100);
  EXPECT_TRUE(h.contentRange.valid);
  EXPECT_EQ(h.contentRange.first, 900);
  EXPECT_EQ(h.contentRange.last, 999);
  EXPECT_EQ(h.contentRange.total, 1000);
  EXPECT_EQ(h.fileName, "new pkg.zip");

  const auto chunked =
      Head("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\nContent-Length: 5\n\n");
  EXPECT_TRUE(chunked.chunked);
  EXPECT_EQ(chunked.contentLength, -1) << "a chunked body has no announced length";
  EXPECT_EQ(Head("garbage").status, 0);
  EXPECT_EQ(Head("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n").contentLength, -1);
}

TEST(Response, ContentRangeForms) {
  const struct {
    const char* text;
    bool valid;
    long long total;
  } cases[] = {
      {"bytes 0-9/10", true, 10},   {"bytes 0-9/*", true, -1}, {"bytes 5-4/10", false, 10},
      {"bytes 0-10/10", false, 10}, {"bytes */10", false, 10}, {"items 0-9/10", false, 10},
      {"bytes 0-9", false, -1},     {"bytes -1-9/10", false, 10},
  };
  for (const auto& c : cases) {
    const auto r = dl::ParseContentRange(c.text);
    EXPECT_EQ(r.valid, c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(r.total, c.total) << c.text;
    }
  }
}

TEST(Response, RangedResponsesAreCheckedBeforeAnyByteIsTaken) {
  const struct {
    const char* raw;
    Verdict verdict;
  } cases[] = {
      {"HTTP/1.1 206 P\r\nContent-Range: bytes 500-999/1000\r\nContent-Length: 500\r\n\r\n",
       Verdict::Accept},
      {"HTTP/1.1 206 P\r\nContent-Range: bytes 500-799/1000\r\n\r\n", Verdict::Accept},
      {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", Verdict::RangesIgnored},
      {"HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n", Verdict::UnexpectedWhole},
      {"HTTP/1.1 206 P\r\nContent-Range: bytes 400-999/1000\r\n\r\n", Verdict::WrongStart},
      {"HTTP/1.1 206 P\r\nContent-Range: bytes 500-999/1001\r\n\r\n", Verdict::WrongTotal},
      {"HTTP/1.1 206 P\r\nContent-Range: bytes 500-999/*\r\n\r\n", Verdict::WrongTotal},
      {"HTTP/1.1 206 P\r\n\r\n", Verdict::BadRange},
      {"HTTP/1.1 206 P\r\nContent-Range: bytes 500-999/1000\r\nContent-Length: 400\r\n\r\n",
       Verdict::BadRange},
      {"HTTP/1.1 416 R\r\nContent-Range: bytes */1000\r\n\r\n", Verdict::BadStatus},
      {"HTTP/1.1 404 N\r\nContent-Length: 1000\r\n\r\n", Verdict::BadStatus},
  };
  for (const auto& c : cases)
    EXPECT_EQ(dl::CheckRangedResponse(Head(c.raw), 500, 1000), c.verdict) << c.raw;
}

TEST(Response, FirstAndWholeResponses) {
  EXPECT_EQ(dl::CheckFirstResponse(Head("HTTP/1.1 200 OK\r\n\r\n")), Verdict::Accept);
  EXPECT_EQ(dl::CheckFirstResponse(Head("HTTP/1.1 500 E\r\n\r\n")), Verdict::BadStatus);
  EXPECT_EQ(dl::CheckFirstResponse(Head("HTTP/1.1 206 P\r\n\r\n")), Verdict::BadStatus);
  const auto whole = Head("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n");
  EXPECT_EQ(dl::CheckWholeResponse(whole, 1000), Verdict::Accept);
  EXPECT_EQ(dl::CheckWholeResponse(whole, 999), Verdict::WrongLength);
  EXPECT_EQ(dl::CheckWholeResponse(whole, -1), Verdict::Accept);
  EXPECT_EQ(dl::AnnouncedEnd(whole), 1000);
  EXPECT_EQ(dl::AnnouncedEnd(Head("HTTP/1.1 206 P\r\nContent-Range: bytes 5-9/10\r\n\r\n")), 10);
}

}  // namespace
