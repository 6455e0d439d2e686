#include "startup/request.h"

#include "startup/exit_routines.h"
#include "startup/globals.h"
#include "text/text.h"

#ifdef _WIN32
#include <windows.h>
#include <shlwapi.h>
#endif

namespace {

bool Separates(unsigned char c) { return c >= 0x01 && c <= 0x20; }

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::size_t i = 0;
  const std::size_t n = line.size();
  // The program's own path: single bytes only, no double-byte handling.
  if (n > 0 && line[0] == '"') {
    i = 1;
    while (i < n && line[i] != '"') ++i;
    if (i < n) {
      ++i;
      if (i < n && line[i] == ' ') ++i;
    }
  } else {
    while (i < n && line[i] != ' ') ++i;
    if (i < n) ++i;
  }

  std::vector<std::string> args;
  while (i < n) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c == 0) break;
    if (Separates(c)) {
      ++i;
      continue;
    }
    std::string arg;
    if (c == '"') {
      ++i;
      while (i < n && line[i] != '"' && line[i] != '\0') {
        if (text::IsLeadByte(static_cast<unsigned char>(line[i]))) {
          if (i + 1 >= n || line[i + 1] == '\0') {  // a lone lead byte at the end is dropped
            ++i;
            break;
          }
          arg.append(line.substr(i, 2));
          i += 2;
        } else {
          arg.push_back(line[i++]);
        }
      }
      if (i < n && line[i] == '"') ++i;
    } else {
      while (i < n) {
        const auto b = static_cast<unsigned char>(line[i]);
        if (b == 0 || Separates(b) || b == '"') break;
        if (text::IsLeadByte(b)) {
          if (i + 1 >= n || line[i + 1] == '\0') {  // a lone lead byte at the end is kept
            arg.push_back(line[i++]);
            break;
          }
          arg.append(line.substr(i, 2));
          i += 2;
        } else {
          arg.push_back(line[i++]);
        }
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::optional<std::vector<std::string>> ParseUpdateRequest(std::string_view commandLine) {
  std::string joined;
  for (const auto& arg : SplitCommandLine(commandLine)) joined += arg;
  joined = text::ReplaceAll(joined, "<?>", " ");
  auto fields = text::Split(joined, "<#>");
  if (fields.size() != 7) return std::nullopt;
  return fields;
}

#ifdef _WIN32
void ReadUpdateRequest() {
  auto fields = ParseUpdateRequest(GetCommandLineA());
  if (!fields) EndProgram(0);
  *globals::UpdateRequest = std::move(*fields);
}
#endif

bool CheckPackageAddress(std::string_view address) {
  return text::Equal(text::Left(address, 7), "http://");
}

std::string ChoosePackageKind(std::string_view address) {
  const std::string tail = text::LowerAscii(text::Right(address, 4));
  if (text::Equal(tail, ".zip")) return ".zip";
  if (text::Equal(tail, ".exe")) return ".exe";
  const std::string lower = text::LowerAscii(address);
  if (text::Find(lower, ".zip") != text::npos) return ".zip";
  if (text::Find(lower, ".exe") != text::npos) return ".exe";
  return {};
}

std::string FileNameOfPath(std::string_view path) {
#ifdef _WIN32
  const std::string copy(path);
  return PathFindFileNameA(copy.c_str());
#else
  // The shell's rule: the name starts after the last '\\', '/' or ':' that is followed by
  // something other than another separator; trail bytes of double-byte characters are
  // never separators.
  const auto isSlash = [](char c) { return c == '\\' || c == '/'; };
  std::size_t cut = 0;
  for (std::size_t i = 0; i < path.size();) {
    const char c = path[i];
    if ((isSlash(c) || c == ':') && i + 1 < path.size() && !isSlash(path[i + 1])) cut = i + 1;
    i += (text::IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < path.size()) ? 2 : 1;
  }
  return std::string(path.substr(cut));
#endif
}
