// The update window: created from its stored description (updater.rc), laid out in
// pixels, centred, and the owner of its controls. What happens on its events is handed
// in as a table so the window can be driven alone.
#pragma once

#include <windows.h>

#include <string>

#include "window/hyperlink.h"
#include "window/timer_control.h"
#include "window/zip_component.h"

class UpdaterWindow;

struct WindowEvents {
  void (*onCreated)(UpdaterWindow&) = nullptr;     // the window and its controls exist
  void (*onCloseQuery)(UpdaterWindow&) = nullptr;  // the user asks to close; no answer
  void (*onDestroying)(UpdaterWindow&) = nullptr;  // every destruction
  void (*onTick)(UpdaterWindow&) = nullptr;        // 时钟1 fired
};

// Posted to the window to destroy it once the handler that asked has returned.
constexpr UINT kDestroyRequestMessage = WM_APP + 0x40;
constexpr UINT_PTR kProgressTimerId = 1;  // 时钟1 (the MonitorTimer's id is an address)

class UpdaterWindow {
 public:
  UpdaterWindow() = default;
  UpdaterWindow(const UpdaterWindow&) = delete;
  UpdaterWindow& operator=(const UpdaterWindow&) = delete;
  ~UpdaterWindow();

  // Creates the window from its stored description; `onCreated` runs inside, once the
  // window and its controls exist and before the window is shown. False when the window
  // could not be created.
  bool Create(HINSTANCE instance, const WindowEvents& events);
  // Null once the window has been destroyed.
  HWND Handle() const { return window_; }
  HWND Control(int id) const;

  void SetCaption(const std::string& caption);
  void SetBarPosition(int position);
  void SetPercentText(const std::string& text);
  void SetStatusText(const std::string& text);

  // Queues the window's destruction: it happens after the running handler has returned,
  // and the can-be-closed event does not run.
  void RequestDestroy();

  // While a FinishingScope lives, a close request is held back; it is posted again when
  // the scope ends, so it never runs between two steps of the install.
  class FinishingScope {
   public:
    explicit FinishingScope(UpdaterWindow& window);
    FinishingScope(const FinishingScope&) = delete;
    FinishingScope& operator=(const FinishingScope&) = delete;
    ~FinishingScope();

   private:
    UpdaterWindow& window_;
  };
  bool IsFinishing() const { return finishing_; }

  TimerControl 时钟1;
  ZipComponent ZIP压缩1;
  Hyperlink link;  // 超级链接

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void LayOut();
  void RepaintBarAndLabel();

  HWND window_ = nullptr;
  WindowEvents events_;
  bool finishing_ = false;
  bool closeHeld_ = false;
};
