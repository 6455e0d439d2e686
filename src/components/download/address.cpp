#include "components/download/address.h"

#include <cctype>

namespace dl {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

std::optional<int> ParsePort(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  int port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

// "host" or "host:port"; the host must not be empty and holds no separators.
std::optional<Address> ParseAuthority(std::string_view authority) {
  Address result;
  const auto colon = authority.rfind(':');
  std::string_view host = authority;
  if (colon != std::string_view::npos) {
    const auto port = ParsePort(authority.substr(colon + 1));
    if (!port) return std::nullopt;
    result.port = *port;
    host = authority.substr(0, colon);
  }
  if (host.empty()) return std::nullopt;
  for (char c : host) {
    if (c == '@' || c == '?' || c == '#' || c == ' ' || c == '\\') return std::nullopt;
  }
  result.host = std::string(host);
  return result;
}

}  // namespace

std::optional<Address> ParseAddress(std::string_view url) {
  constexpr std::string_view scheme = "http://";
  if (!StartsWithNoCase(url, scheme)) return std::nullopt;
  const auto rest = url.substr(scheme.size());
  const auto slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  auto result = ParseAuthority(rest.substr(0, slash));
  if (!result) return std::nullopt;
  result->path = std::string(rest.substr(slash));
  return result;
}

std::optional<Address> ParseProxy(std::string_view proxy) {
  auto result = ParseAuthority(proxy);
  if (result) result->path = "/";
  return result;
}

std::string DefaultReferer(std::string_view url) {
  const auto slash = url.rfind('/');
  return std::string(slash == std::string_view::npos ? url : url.substr(0, slash));
}

std::string WithoutLineBreaks(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n') result += c;
  }
  return result;
}

std::string SafeFileName(std::string_view suggested) {
  const auto cut = suggested.find_last_of("/\\");
  if (cut != std::string_view::npos) suggested = suggested.substr(cut + 1);
  std::string name;
  for (char c : suggested) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) continue;
    name += c;
  }
  // Windows drops trailing dots and spaces, which would turn "a." into "a" behind our back.
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  if (name == "." || name == "..") name.clear();
  return name;
}

std::string FileNameFromAddress(std::string_view url) {
  const auto end = url.find_first_of("?#");
  if (end != std::string_view::npos) url = url.substr(0, end);
  const auto slash = url.rfind('/');
  return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

std::string NumberedName(std::string_view path, int n) {
  const auto separator = path.find_last_of("/\\");
  const auto nameStart = separator == std::string_view::npos ? 0 : separator + 1;
  auto dot = path.rfind('.');
  if (dot == std::string_view::npos || dot <= nameStart) dot = path.size();
  std::string result(path.substr(0, dot));
  result += " (" + std::to_string(n) + ")";
  result += path.substr(dot);
  return result;
}

bool IsFolderPath(std::string_view path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

}  // namespace dl
