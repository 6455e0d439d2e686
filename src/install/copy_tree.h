#pragma once

#include <string>

// Lays the source tree over the target; both texts get a trailing backslash in place.
// `overwrite` governs the top level only; sub-folders never replace existing files.
void CopyTree(std::string& source, std::string& target, bool overwrite);
