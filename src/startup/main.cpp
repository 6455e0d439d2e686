// The program's entry: prepares the window toolkit and COM, creates the program-wide
// state and the update window, and runs the message loop until the window is gone.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "startup/exit_routines.h"
#include "startup/globals.h"
#include "window/updater_window.h"
#include "window/window_events.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_PROGRESS_CLASS | ICC_LINK_CLASS | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);
  // The shell's file operations of the install want COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  CreateGlobals();
  RegisterExitRoutine(ReleaseGlobals);

  // The created event runs inside Create and may end the program there (EndProgram).
  UpdaterWindow window;
  if (!window.Create(instance, UpdaterEvents())) {
    MessageBoxA(nullptr, "Cannot create the update window.", "updater", MB_OK | MB_ICONERROR);
    RunExitRoutines();
    ExitProcess(1);
  }

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    // Null once the window is gone; IsDialogMessage then leaves the message alone.
    HWND dialog = window.Handle();
    if (dialog != nullptr && IsDialogMessageA(dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }

  RunExitRoutines();
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
