// Process lookup and termination by image name (byte-wise, case included).
#pragma once

#include <cstdint>
#include <string>

bool TerminateProcessByName(const std::string& imageName);
std::uint32_t FindProcessIdByName(const std::string& imageName);
