// The ZIP component's unpack operation.
#pragma once

#include <string>

// Unpacks every entry of the archive below `folder` (ANSI paths). Returns 1 only when
// every entry now lies in place; any other value is a failure. An entry whose name
// would land outside the folder, a damaged, encrypted or unsupported entry fails the
// whole unpack.
int UnpackArchive(const std::string& archivePath, const std::string& folder);
