// A file copy that never leaves a partly written file under the destination's name.
#pragma once

#include <string>

// Copies `source` beside `destination` under a temporary name and renames it over the
// destination, so the destination is at every moment the old file or the new one, whole.
// With `overwrite` false an existing destination stays; with true it is replaced, except
// when it is read-only or hidden (which the system's plain file copy refuses as well) or
// locked. True when the destination now holds the new file.
bool CopyFileAtomic(const std::string& source, const std::string& destination, bool overwrite);
