// ZIP压缩1: the window's ZIP component. Its one operation unpacks an archive into a
// folder; the window handles none of its events.
#pragma once

#include <string>

#include "components/zip/zip_unpack.h"

struct ZipComponent {
  // 1 only when every entry of the archive now lies in place below `folder`.
  int Unpack(const std::string& archivePath, const std::string& folder) const {
    return UnpackArchive(archivePath, folder);
  }
};
