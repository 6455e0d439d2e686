// Fuzz target of the ZIP component's unpack: archive bytes into a folder four levels
// below a scratch folder. Whatever the bytes, the unpack returns (1 or failure), leaves
// nothing outside its folder and no temporary file anywhere; sanitizers watch the rest.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "components/zip/zip_unpack.h"

namespace fs = std::filesystem;

namespace {

// Never destroyed, so the exit handler that removes it can still read it.
const fs::path& Scratch() {
  static const fs::path* scratch = [] {
    auto* path = new fs::path(fs::temp_directory_path() / ("unpack_fuzz." + std::to_string(getpid())));
    fs::remove_all(*path);
    fs::create_directories(*path / "a" / "b" / "c");
    return path;
  }();
  static const bool removedAtExit = std::atexit([] { fs::remove_all(*scratch); }) == 0;
  (void)removedAtExit;
  return *scratch;
}

[[noreturn]] void Fail(const char* what, const fs::path& path) {
  std::fprintf(stderr, "unpack_fuzz: %s: %s\n", what, path.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& scratch = Scratch();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const fs::path archive = scratch / "package.zip";
  const fs::path folder = scratch / "a" / "b" / "c" / "out";
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const int result = UnpackArchive(archive.string(), folder.string());
  if (result != 1 && result != 0) Fail("result neither 1 nor 0", folder);

  for (const auto& item : fs::recursive_directory_iterator(scratch)) {
    const fs::path relative = item.path().lexically_relative(scratch);
    const std::string name = relative.generic_string();
    const bool expected = name == "package.zip" || name == "a" || name == "a/b" || name == "a/b/c" ||
                          name.rfind("a/b/c/out", 0) == 0;
    if (!expected) Fail("written outside the folder", item.path());
    if (item.is_symlink()) Fail("symbolic link", item.path());
    // A pending file's name ("~unz0.tmp") left behind, unless an entry of the archive
    // carries that name itself.
    const std::string leaf = item.path().filename().string();
    if (leaf.rfind("~unz", 0) == 0 && input.find(leaf) == std::string_view::npos) {
      Fail("temporary file left", item.path());
    }
  }
  fs::remove_all(folder);
  return 0;
}
