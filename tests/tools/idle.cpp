// A program that does nothing for a while, for the process and window tests.
//   idle.exe                 sleeps, then ends by itself
//   idle.exe --window TITLE  shows one visible top-level window with that title meanwhile
// It ends by itself after two minutes so that a failed test leaves nothing running.
#include <windows.h>

#include <cstring>

namespace {

constexpr UINT kLifetimeMs = 120000;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int ShowWindowUntilClosed(const char* title) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "IdleTestWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("IdleTestWindow", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                              200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!window) return 1;
  SetTimer(window, 1, kLifetimeMs, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--window") == 0) return ShowWindowUntilClosed(argv[2]);
  Sleep(kLifetimeMs);
  return 0;
}
