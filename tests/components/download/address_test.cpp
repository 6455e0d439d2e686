#include "components/download/address.h"

#include <gtest/gtest.h>

namespace {

TEST(Address, AcceptsHttpWithAHostFollowedByASlash) {
  struct {
    const char* url;
    bool ok;
    const char* host;
    int port;
    const char* path;
  } cases[] = {
      {"http://example.com/pkg.zip", true, "example.com", 80, "/pkg.zip"},
      {"HTTP://Example.com:8080/a/b?x=1", true, "Example.com", 8080, "/a/b?x=1"},
      {"http://127.0.0.1:65535/", true, "127.0.0.1", 65535, "/"},
      {"http://", false, "", 0, ""},
      {"http://example.com", false, "", 0, ""},
      {"http:///pkg.zip", false, "", 0, ""},
      {"http://:80/pkg.zip", false, "", 0, ""},
      {"http://h:0/x", false, "", 0, ""},
      {"http://h:65536/x", false, "", 0, ""},
      {"http://h:8a/x", false, "", 0, ""},
      {"http://user@h/x", false, "", 0, ""},
      {"https://example.com/x", false, "", 0, ""},
      {"ftp://example.com/x", false, "", 0, ""},
      {"example.com/x", false, "", 0, ""},
  };
  for (const auto& c : cases) {
    const auto a = dl::ParseAddress(c.url);
    EXPECT_EQ(a.has_value(), c.ok) << c.url;
    if (a && c.ok) {
      EXPECT_EQ(a->host, c.host) << c.url;
      EXPECT_EQ(a->port, c.port) << c.url;
      EXPECT_EQ(a->path, c.path) << c.url;
    }
  }
}

TEST(Address, ProxyPortDefaultsTo80) {
  EXPECT_EQ(dl::ParseProxy("proxy.lan")->port, 80);
  EXPECT_EQ(dl::ParseProxy("proxy.lan:3128")->port, 3128);
  EXPECT_EQ(dl::ParseProxy("proxy.lan:3128")->host, "proxy.lan");
  EXPECT_FALSE(dl::ParseProxy(""));
  EXPECT_FALSE(dl::ParseProxy("proxy:x"));
}

TEST(Address, DerivedTexts) {
  EXPECT_EQ(dl::DefaultReferer("http://h/dir/pkg.zip"), "http://h/dir");
  EXPECT_EQ(dl::DefaultReferer("http://h/pkg.zip"), "http://h");
  EXPECT_EQ(dl::WithoutLineBreaks("a\r\nb\rc\n"), "abc");
  EXPECT_EQ(dl::FileNameFromAddress("http://h/dir/pkg.zip?v=1#x"), "pkg.zip");
  EXPECT_EQ(dl::FileNameFromAddress("http://h/dir/"), "");
  EXPECT_EQ(dl::NumberedName("C:\\Temp\\Temp.zip", 2), "C:\\Temp\\Temp (2).zip");
  EXPECT_EQ(dl::NumberedName("/tmp/a.b/file", 1), "/tmp/a.b/file (1)");
  EXPECT_TRUE(dl::IsFolderPath("C:\\Temp\\"));
  EXPECT_FALSE(dl::IsFolderPath("C:\\Temp\\Temp.zip"));
}

TEST(Address, ServerSuggestedNamesStayInsideTheFolder) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"pkg.zip", "pkg.zip"},           {"..\\..\\Windows\\evil.exe", "evil.exe"},
      {"../../etc/passwd", "passwd"},   {"..", ""},
      {"a:b*c?.zip", "abc.zip"},        {"name. . ", "name"},
      {"C:\\x\\", ""},                  {"\x01tab\tname", "tabname"},
  };
  for (const auto& c : cases) EXPECT_EQ(dl::SafeFileName(c.in), c.out) << c.in;
}

}  // namespace
