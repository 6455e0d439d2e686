// The request reader: raw command lines -> arguments -> seven fields or rejection, the
// package address check, package kinds and file names. Runs in both builds; in the
// Windows build FileNameOfPath goes through the shell's PathFindFileNameA.
#include "startup/request.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;
using Fields = std::vector<std::string>;

const Fields kAtoG = {"a", "b", "c", "d", "e", "f", "g"};
const std::string kRequest = "a<#>b<#>c<#>d<#>e<#>f<#>g";
// "真" in code page 936, the relaunch flag; "中" is D6 D0.
const std::string kTrue = "\xD5\xE6";

std::string Show(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      static const char hex[] = "0123456789ABCDEF";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

TEST(SplitCommandLine, ProgramPathAndArguments) {
  struct Case {
    std::string line;
    Args args;
  } cases[] = {
      // The program's own path, quoted or not, and the one space after it.
      {"", {}},
      {"updater.exe", {}},
      {"updater.exe ", {}},
      {"\"C:\\Program Files\\updater.exe\"", {}},
      {"\"C:\\Program Files\\updater.exe\" " + kRequest, {kRequest}},
      {"\"C:\\up\\updater.exe\"" + kRequest, {kRequest}},  // no space after the quote
      {"\"C:\\up\\updater.exe", {}},                        // no closing quote
      {"C:\\up\\updater.exe " + kRequest, {kRequest}},
      // A tab does not end the program path: the path ends at the first space only.
      {"updater.exe\tx y", {"y"}},
      // Double-byte handling is not used for the program path: "\x81\x22" ends it.
      {"\"C:\\\x81\" x", {"x"}},
      // Every byte from 0x01 to 0x20 separates arguments and is dropped.
      {"u.exe a b\tc\r\nd\x01" "e   f", {"a", "b", "c", "d", "e", "f"}},
      // Quoted arguments keep their spaces; a quote inside a plain argument splits it.
      {"u.exe \"My Tool\" x", {"My Tool", "x"}},
      {"u.exe ab\"c d\"e", {"ab", "c d", "e"}},
      {"u.exe \"\" a \"\"", {"", "a", ""}},
      {"u.exe \"open", {"open"}},
      {"u.exe a\\\"b", {"a\\", "b"}},  // no escape character: the backslash stays
      // A double-byte character is one unit: its trail byte never ends an argument, even
      // when that byte is a quote or a space.
      {"u.exe \"\x81\"x\" y", {"\x81\"x", "y"}},
      {"u.exe \x81\"x y", {"\x81\"x", "y"}},
      {"u.exe \x81 x y", {"\x81 x", "y"}},
      {"u.exe \"\x81 \" y", {"\x81 ", "y"}},
      {"u.exe \xD6\xD0\xCE\xC4 " + kTrue, {"\xD6\xD0\xCE\xC4", kTrue}},
      // A lone lead byte at the very end: dropped inside quotes, kept in a plain argument;
      // the argument before it stays whole either way.
      {"u.exe \"ab\x81", {"ab"}},
      {"u.exe ab\x81", {"ab\x81"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.args) << Show(c.line);
  }
}

TEST(ParseUpdateRequest, AcceptsExactlySevenFields) {
  struct Case {
    std::string line;
    std::optional<Fields> fields;
  } cases[] = {
      {"\"C:\\up\\updater.exe\" " + kRequest, kAtoG},
      // The space typed after c splits the arguments; joining them back loses it.
      {"C:\\up\\updater.exe a<#>b<#>c <#>d<#>e<#>f<#>g", kAtoG},
      // The request cut into several arguments at any point, quoted or not.
      {"u.exe a<# >b<#>c<#\"\">d \"<#>e<#>\"f<#>g", kAtoG},
      {"u.exe " + kRequest + " \"\"", kAtoG},  // an empty argument adds nothing
      // Spaces: "<?>" always; a real space only inside quotes.
      {"u.exe My<?>Tool<#>b<#>c<#>d<#>e<#>f<#>g",
       Fields{"My Tool", "b", "c", "d", "e", "f", "g"}},
      {"u.exe \"My Tool<#>b<#>c<#>d<#>e<#>f<#>g\"",
       Fields{"My Tool", "b", "c", "d", "e", "f", "g"}},
      {"u.exe My Tool<#>b<#>c<#>d<#>e<#>f<#>g", Fields{"MyTool", "b", "c", "d", "e", "f", "g"}},
      {"u.exe <?><?>a<?><#>b<#>c<#>d<#>e<#>f<#>g", Fields{"  a ", "b", "c", "d", "e", "f", "g"}},
      // "<?>" is replaced before the split, so "<?>#>" never becomes a separator.
      {"u.exe a<?>#>b<#>c<#>d<#>e<#>f<#>g<#>h", Fields{"a #>b", "c", "d", "e", "f", "g", "h"}},
      {"u.exe a<?>#>b<#>c<#>d<#>e<#>f<#>g", std::nullopt},
      // A separator first gives an empty first field; empty fields in the middle count.
      {"u.exe <#>b<#>c<#>d<#>e<#>f<#>g", Fields{"", "b", "c", "d", "e", "f", "g"}},
      {"u.exe a<#><#><#><#><#><#>g", Fields{"a", "", "", "", "", "", "g"}},
      // A separator at the very end adds no field.
      {"u.exe " + kRequest + "<#>", kAtoG},
      {"u.exe a<#>b<#>c<#>d<#>e<#>f<#>", std::nullopt},  // seventh field empty: 6 fields
      {"u.exe a<#>b<#>c<#>d<#>e<#>f", std::nullopt},
      {"u.exe " + kRequest + "<#>h", std::nullopt},  // 8 fields
      {"u.exe", std::nullopt},
      {"u.exe \"\"", std::nullopt},
      {"u.exe abc", std::nullopt},
      // Markers whose "<" is the trail byte of a double-byte character are not markers.
      {"u.exe \x81<#>b<#>c<#>d<#>e<#>f<#>g<#>h", Fields{"\x81<#>b", "c", "d", "e", "f", "g", "h"}},
      {"u.exe \x81<?>#>b<#>c<#>d<#>e<#>f<#>g<#>h",
       Fields{"\x81<?>#>b", "c", "d", "e", "f", "g", "h"}},
      // Letter case and the rest of the bytes go through unchanged.
      {"\"D:\\\xB8\xFC\xD0\xC2\\updater.exe\" \xB8\xFC\xD0\xC2<#>Home<#>http://x/<#>"
       "D:\\Apps\\Tool.EXE<#>http://h/p.zip<#>\xB2\xBB\xCC\xE1\xCA\xBE<#>" + kTrue,
       Fields{"\xB8\xFC\xD0\xC2", "Home", "http://x/", "D:\\Apps\\Tool.EXE", "http://h/p.zip",
              "\xB2\xBB\xCC\xE1\xCA\xBE", kTrue}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseUpdateRequest(c.line), c.fields) << Show(c.line);
  }
}

TEST(CheckPackageAddress, OnlyExactlyLowerCaseHttp) {
  struct Case {
    const char* address;
    bool ok;
  } cases[] = {
      {"http://h/p.zip", true}, {"http://", true},         {"HTTP://h/p.zip", false},
      {"Http://h/p.zip", false}, {"https://h/p.zip", false}, {" http://h/p.zip", false},
      {"http:/", false},         {"", false},                {"ftp://h/p.zip", false},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckPackageAddress(c.address), c.ok) << c.address;
}

TEST(ChoosePackageKind, SuffixFirstThenAnywhereZipBeforeExe) {
  struct Case {
    std::string address;
    std::string kind;
  } cases[] = {
      {"http://h/p.zip", ".zip"},
      {"http://h/p.ZIP", ".zip"},
      {"http://h/P.Exe", ".exe"},
      {"http://h/a.zip/b.exe", ".exe"},            // the suffix wins over an earlier .zip
      {"http://h/a.exe/b.zip", ".zip"},
      {"http://h/get.exe?f=x.zip&v=1", ".zip"},    // neither suffix: .zip wherever it is
      {"http://h/a.zip.d/b.exe.d", ".zip"},
      {"http://h/a.Exe/download", ".exe"},
      {"http://h/p.rar", ""},
      {"http://h/zip", ""},
      {"", ""},
      {".zip", ".zip"},
      {"zip", ""},
      // The suffix test looks at the last four bytes alone.
      {"http://h/\x81.ZIP", ".zip"},
      // The search moves over double-byte characters: a "." that is a trail byte
      // starts no match.
      {"http://h/\x81.zip?x=1", ""},
      {"http://h/\x81.zip?x=1.exe&", ".exe"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChoosePackageKind(c.address), c.kind) << Show(c.address);
  }
}

// The answers PathFindFileNameA gives, so both builds must agree on them.
TEST(FileNameOfPath, AsTheShellFindsIt) {
  struct Case {
    std::string path;
    std::string name;
  } cases[] = {
      {"D:\\Apps\\Tool\\tool.exe", "tool.exe"},
      {"tool.exe", "tool.exe"},
      {"", ""},
      {"C:\\tool", "tool"},
      {"C:tool.exe", "tool.exe"},
      {"D:\\Apps/tool.exe", "tool.exe"},
      {"\\\\server\\share\\t.exe", "t.exe"},
      // A separator with nothing or another separator after it is passed over.
      {"C:\\Apps\\", "Apps\\"},
      {"C:\\Apps\\\\x.exe", "x.exe"},
      {"C:\\", "C:\\"},
      // A backslash that is the trail byte of a double-byte character is no separator.
      {"C:\\Apps\\\x95\\x.exe", "\x95\\x.exe"},
      {"D:\\\xB8\xFC\xD0\xC2\\\xB3\xCC\xD0\xF2.exe", "\xB3\xCC\xD0\xF2.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(FileNameOfPath(c.path), c.name) << Show(c.path);
}

}  // namespace
