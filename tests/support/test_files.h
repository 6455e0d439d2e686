// Small helpers the tests run by the server scripts share: their settings arrive in
// environment variables, and saved files are compared whole.
#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace testfiles {

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace testfiles
