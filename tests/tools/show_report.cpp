// Started by the shell in the StartProgram test: writes how it was asked to show itself
// and the rest of its command line into "<its own path>.report", then ends.
#include <windows.h>

#include <string>

int main() {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;

  // The command line less the program's own path (quoted or not).
  std::string line = GetCommandLineA();
  std::size_t end = line[0] == '"' ? line.find('"', 1) : line.find(' ');
  std::string rest = end == std::string::npos ? "" : line.substr(end + 1);
  while (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);

  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string report = std::string(self) + ".report";
  const std::string partial = report + ".part";
  const std::string content = "show=" + std::to_string(show) + "\nargs=" + rest + "\n";
  HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  // Renamed only when complete, so the test never reads half a report.
  return MoveFileExA(partial.c_str(), report.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
