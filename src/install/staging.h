// The staging area in the temporary folder: the package file "Temp" + kind beside the
// staging folder "Temp"; a write probe and a level-by-level folder creation.
#pragma once

#include <string>

std::string StagingFolderPath();  // <temp>\Temp
std::string StagedPackagePath();  // <temp>\Temp.zip or <temp>\Temp.exe (PackageKind)
void ClearStaging();
bool ProbeFolder(const std::string& folder);
// 1 walk completed, 0 folder existed, -1 empty path or a level could not be created.
int CreateFolderPath(const std::string& path);
