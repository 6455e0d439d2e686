// The program the end-to-end tests update. On start it appends one line to "starts.log"
// in its own folder, "<image name> version <N>", then shows a small window and waits
// until it is closed or terminated.
//
// The version is the digit in kVersionMark below. The tests make version N of this
// program by replacing that one byte in a copy of the executable (the marker text is
// unique in the file), so versions 1 and 2 come from one build and differ only there.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// volatile: the bytes must stay in the file as written, and be read from there.
volatile const char kVersionMark[] = "@@E2E-TARGET-VERSION:1@@";

char Version() {
  const size_t prefix = std::strlen("@@E2E-TARGET-VERSION:");
  return kVersionMark[prefix];
}

std::string OwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

void RecordStart(const std::string& exe) {
  size_t slash = exe.find_last_of('\\');
  std::string folder = slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
  std::string image = slash == std::string::npos ? exe : exe.substr(slash + 1);
  std::string line = image + " version " + Version() + "\r\n";
  // Append with a share mode that lets a test read the log while the program runs.
  HANDLE file = CreateFileA((folder + "starts.log").c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RecordStart(OwnPath());

  WNDCLASSA cls{};
  cls.lpfnWndProc = WindowProc;
  cls.hInstance = instance;
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  cls.lpszClassName = "E2ETargetApp";
  RegisterClassA(&cls);
  std::string title = std::string("e2e target version ") + Version();
  // Top-left corner, out of the way of the updater's centred window in screenshots.
  HWND window = CreateWindowA(cls.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              10, 10, 260, 90, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
