#include "components/zip/zip_unpack.h"

#include <minizip/unzip.h>
#include <zlib.h>
#ifdef _WIN32
#include <minizip/iowin32.h>
#endif

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "components/zip/entry_name.h"
#include "components/zip/zip_files.h"

namespace {

constexpr int kUnpacked = 1;
constexpr int kFailed = 0;
constexpr unsigned long kFlagEncrypted = 1u << 0;
constexpr unsigned long kFlagUtf8Name = 1u << 11;

// Move-only owner of an open archive.
class Archive {
 public:
  explicit Archive(unzFile file = nullptr) : file_(file) {}
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;
  Archive(Archive&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}
  ~Archive() { reset(); }
  void reset() {
    if (file_ != nullptr) unzClose(std::exchange(file_, nullptr));
  }
  unzFile get() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }

 private:
  unzFile file_;
};

Archive OpenArchive(const std::string& path) {
  const std::string native = zipfiles::NativePath(path);
#ifdef _WIN32
  zlib_filefunc64_def functions;
  fill_win32_filefunc64A(&functions);  // ANSI paths through CreateFileA
  return Archive(unzOpen2_64(native.c_str(), &functions));
#else
  return Archive(unzOpen64(native.c_str()));
#endif
}

struct Entry {
  zipentry::EntryPath path;
  unz64_file_pos position{};
  std::uint64_t size = 0;
  unsigned long crc = 0;
};

// Every entry's place and the archive's promises about it, read from the central
// directory before anything is written; nullopt when any entry is refused.
std::optional<std::vector<Entry>> ListEntries(unzFile zip) {
  std::vector<Entry> entries;
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) return std::nullopt;
  if (global.number_entry == 0) return entries;  // minizip finds no "first file" then
  std::string name(0x10000, '\0');  // a name's length is a 16-bit field
  int status = unzGoToFirstFile(zip);
  for (; status == UNZ_OK; status = unzGoToNextFile(zip)) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0,
                                nullptr, 0) != UNZ_OK) {
      return std::nullopt;
    }
    if ((info.flag & kFlagEncrypted) != 0) return std::nullopt;  // no password is given
    if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) return std::nullopt;
    std::string entryName = name.substr(0, info.size_filename);
    if ((info.flag & kFlagUtf8Name) != 0 && !zipfiles::Utf8ToAnsi(entryName)) return std::nullopt;
    std::optional<zipentry::EntryPath> path = zipentry::CheckEntryName(entryName);
    if (!path) return std::nullopt;
    Entry entry{std::move(*path), {}, info.uncompressed_size, info.crc};
    if (unzGetFilePos64(zip, &entry.position) != UNZ_OK) return std::nullopt;
    entries.push_back(std::move(entry));
  }
  if (status != UNZ_END_OF_LIST_OF_FILE) return std::nullopt;
  return entries;
}

// The declared sizes must fit on the volume: a bomb fails before it fills the disk.
bool FitsOnVolume(const std::vector<Entry>& entries, const std::string& folder) {
  const std::optional<std::uint64_t> free = zipfiles::FreeSpace(folder);
  if (!free) return true;
  std::uint64_t total = 0;
  for (const Entry& entry : entries) {
    if (entry.size > *free - total) return false;
    total += entry.size;
  }
  return true;
}

// Inflates the current entry into a pending file beside its final place. The count and
// the CRC are checked here as well: minizip checks the CRC only when the stream reaches
// the declared size, so a short stream would otherwise pass.
bool WriteEntry(unzFile zip, const Entry& entry, const std::string& parent, const std::string& target) {
  if (unzOpenCurrentFile(zip) != UNZ_OK) return false;
  zipfiles::PendingFile out;
  bool ok = out.Create(parent);
  std::uint64_t count = 0;
  uLong crc = crc32(0L, Z_NULL, 0);
  std::vector<unsigned char> buffer(64 * 1024);
  while (ok) {
    const int read = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (read == 0) break;
    if (read < 0) {
      ok = false;
      break;
    }
    count += static_cast<unsigned>(read);
    crc = crc32(crc, buffer.data(), static_cast<uInt>(read));
    ok = out.Write(buffer.data(), static_cast<std::size_t>(read));
  }
  const bool closed = unzCloseCurrentFile(zip) == UNZ_OK;
  ok = ok && closed && count == entry.size && crc == entry.crc;
  return ok && out.Commit(target);
}

}  // namespace

int UnpackArchive(const std::string& archivePath, const std::string& folder) {
  Archive zip = OpenArchive(archivePath);
  if (!zip) return kFailed;
  const std::optional<std::vector<Entry>> entries = ListEntries(zip.get());
  if (!entries) return kFailed;

  std::string root = folder;
  while (!root.empty() && (root.back() == '\\' || root.back() == '/')) root.pop_back();
  if (root.empty() || !zipfiles::MakeFolder(root)) return kFailed;
  if (!FitsOnVolume(*entries, root)) return kFailed;
  root += '\\';

  for (const Entry& entry : *entries) {
    const std::vector<std::size_t> levels = zipentry::FolderLevels(entry.path);
    for (std::size_t level : levels) {
      if (!zipfiles::MakeFolder(root + entry.path.relative.substr(0, level))) return kFailed;
    }
    if (entry.path.folder) continue;
    const std::string parent =
        levels.empty() ? root : root + entry.path.relative.substr(0, levels.back());
    if (unzGoToFilePos64(zip.get(), &entry.position) != UNZ_OK) return kFailed;
    if (!WriteEntry(zip.get(), entry, parent, root + entry.path.relative)) return kFailed;
  }
  return kUnpacked;
}
