// Reading the task's address and deriving the names that come from it. Pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dl {

struct Address {
  std::string host;
  int port = 80;
  std::string path;  // from the first slash after the host, query included
};

// "http://host[:port]/path": the scheme compared without regard to case, a host, and a
// slash after it. Anything else (another scheme, no host, no slash, a bad port) is refused.
std::optional<Address> ParseAddress(std::string_view url);

// A proxy given as "host" or "host:port" (80 when absent); nullopt when malformed.
std::optional<Address> ParseProxy(std::string_view proxy);

// The referer sent when the task names none: the address up to, not including, its last slash.
std::string DefaultReferer(std::string_view url);

// The texts of the record as the component keeps them: every CR and LF byte dropped.
std::string WithoutLineBreaks(std::string_view text);

// A name the server or the address suggests, made safe to put inside the save folder:
// only its last path component, without characters Windows forbids in names, and never
// "." or "..". Empty when nothing usable is left.
std::string SafeFileName(std::string_view suggested);

// The last segment of the address's path, before any query; may be empty.
std::string FileNameFromAddress(std::string_view url);

// "dir/name.ext" with " (n)" put before the extension: the n-th alternative name.
std::string NumberedName(std::string_view path, int n);

// A save path ending in a backslash (or slash) names a folder.
bool IsFolderPath(std::string_view path);

}  // namespace dl
