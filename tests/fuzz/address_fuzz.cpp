// Fuzz target of the download component's address reading and the names derived from an
// address or a server's suggestion. The input is an address (and a suggested name).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "components/download/address.h"

namespace {

[[noreturn]] void Fail(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "address_fuzz: %s [%.*s]\n", what, static_cast<int>(detail.size()),
               detail.data());
  std::abort();
}

bool StartsWith(std::string_view t, std::string_view p) { return t.substr(0, p.size()) == p; }
bool EndsWith(std::string_view t, std::string_view e) {
  return t.size() >= e.size() && t.substr(t.size() - e.size()) == e;
}

// An accepted authority: the host, then nothing or ":" and the port's digits, is `text`.
void CheckAuthority(const dl::Address& a, std::string_view text, std::string_view input) {
  if (a.host.empty()) Fail("empty host", input);
  if (a.host.find_first_of("@?#\\ ") != std::string::npos) Fail("host holds a separator", input);
  if (a.port < 1 || a.port > 65535) Fail("port out of range", input);
  if (!StartsWith(text, a.host)) Fail("host is not where the address has it", input);
  const std::string_view port = text.substr(a.host.size());
  if (port.empty()) {
    if (a.port != 80) Fail("port without digits", input);
    return;
  }
  if (port.front() != ':' || port.size() < 2) Fail("text between host and path", input);
  long value = 0;
  for (char c : port.substr(1)) {
    if (c < '0' || c > '9') Fail("port holds a non-digit", input);
    value = value * 10 + (c - '0');
  }
  if (value != a.port) Fail("port read otherwise", input);
}

void CheckSafeName(std::string_view suggested) {
  const std::string name = dl::SafeFileName(suggested);
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*/\\").find(c) != std::string_view::npos)
      Fail("unsafe byte in a file name", suggested);
  }
  if (name == "." || name == "..") Fail("dot name", suggested);
  if (!name.empty() && (name.back() == '.' || name.back() == ' ')) Fail("trailing dot or space", suggested);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  if (const auto a = dl::ParseAddress(input)) {
    std::string scheme(input.substr(0, 7));
    for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (scheme != "http://") Fail("accepted another scheme", input);
    if (a->host.find('/') != std::string::npos) Fail("host holds a slash", input);
    if (a->path.empty() || a->path.front() != '/') Fail("path without its slash", input);
    if (!EndsWith(input, a->path)) Fail("path is not the address's tail", input);
    CheckAuthority(*a, input.substr(7, input.size() - 7 - a->path.size()), input);
  }
  if (const auto p = dl::ParseProxy(input)) {
    if (p->path != "/") Fail("proxy path", input);
    CheckAuthority(*p, input, input);
  }

  if (!StartsWith(input, dl::DefaultReferer(input))) Fail("referer is not a prefix", input);
  const std::string fromAddress = dl::FileNameFromAddress(input);
  if (fromAddress.find_first_of("/?#") != std::string::npos) Fail("address name holds a separator", input);
  if (dl::WithoutLineBreaks(input).find_first_of("\r\n") != std::string::npos) Fail("line break kept", input);

  CheckSafeName(input);
  CheckSafeName(fromAddress);
  const std::string name = dl::SafeFileName(input);
  if (!name.empty()) {
    const std::string numbered = dl::NumberedName("C:\\save\\" + name, 2);
    if (!StartsWith(numbered, "C:\\save\\") || numbered.find(" (2)") == std::string::npos)
      Fail("numbered name left its folder", numbered);
  }
  return 0;
}
