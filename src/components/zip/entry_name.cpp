#include "components/zip/entry_name.h"

#include <cstring>

#include "text/text.h"

namespace zipentry {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Windows opens a device, not a file, for these names, with or without an extension.
bool IsDeviceName(std::string_view piece) {
  std::string_view stem = piece.substr(0, piece.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  const std::string lower = text::LowerAscii(stem);
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (lower == device) return true;
  }
  return lower.size() == 4 && (lower.compare(0, 3, "com") == 0 || lower.compare(0, 3, "lpt") == 0) &&
         lower[3] >= '1' && lower[3] <= '9';
}

bool IsPieceAllowed(std::string_view piece) {
  if (piece.empty()) return false;
  if (piece.find_first_not_of(". ") == std::string_view::npos) return false;
  return !IsDeviceName(piece);
}

}  // namespace

std::optional<EntryPath> CheckEntryName(std::string_view name) {
  if (name.empty() || IsSeparator(name.front())) return std::nullopt;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    // All of these lie below 0x40, so none can be the trail byte of a double-byte character.
    if (byte < 0x20 || std::strchr("<>:\"*?", c) != nullptr) return std::nullopt;
  }
  EntryPath path;
  // A final "\" that is the trail byte of a double-byte character does not make a folder;
  // such a name then ends in an empty piece and is refused.
  path.folder = name.back() == '/' || text::FindLastByte(name, '\\') == name.size() - 1;
  if (path.folder) name.remove_suffix(1);

  std::size_t start = 0;
  while (true) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string_view piece = name.substr(start, end - start);
    if (!IsPieceAllowed(piece)) return std::nullopt;
    if (!path.relative.empty()) path.relative += '\\';
    path.relative.append(piece);
    if (end == name.size()) break;
    start = end + 1;
  }
  return path;
}

std::vector<std::size_t> FolderLevels(const EntryPath& path) {
  std::vector<std::size_t> levels;
  const std::string& rel = path.relative;
  for (std::size_t i = 0; i < rel.size();) {
    if (rel[i] == '\\') levels.push_back(i);
    i += (text::IsLeadByte(static_cast<unsigned char>(rel[i])) && i + 1 < rel.size()) ? 2 : 1;
  }
  if (path.folder) levels.push_back(rel.size());
  return levels;
}

}  // namespace zipentry
