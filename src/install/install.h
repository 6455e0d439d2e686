#pragma once

#include <string>

// The path up to and including its last backslash; "" when it has none.
std::string FolderOfPath(const std::string& path);
// Puts the downloaded package in place: an .exe over the target, a .zip over its folder.
void InstallPackage();
