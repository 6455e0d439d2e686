// Where an archive entry may land: the checks that keep every entry below the folder
// it is unpacked into. Pure byte logic, no file system.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zipentry {

struct EntryPath {
  std::string relative;  // pieces joined by "\", never empty, no leading or trailing "\"
  bool folder = false;   // the entry's name ended in a separator
};

// The entry's place below the folder, "/" taken as "\"; nullopt when the name could land
// anywhere else or could not be created in place: empty, absolute ("\x", "/x", "\\server"),
// a drive or stream (any ":"), a piece that is empty or only dots and spaces (".", ".."),
// a device name (CON, NUL, COM1...), control bytes or <>"*?.
// Separators are found byte by byte here, so a "\" that a double-byte code page would
// read as a trail byte still splits: a ".." cannot hide behind a lead byte.
std::optional<EntryPath> CheckEntryName(std::string_view name);

// The lengths of the folder levels of `relative` that must exist before the entry is
// written: every prefix ending before a separator (stepping over double-byte characters),
// and for a folder entry the whole path.
std::vector<std::size_t> FolderLevels(const EntryPath& path);

}  // namespace zipentry
