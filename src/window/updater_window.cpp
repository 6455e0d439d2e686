#include "window/updater_window.h"

#include <commctrl.h>

#include "download/transfer.h"
#include "window/layout.h"
#include "window/resource.h"

UpdaterWindow::~UpdaterWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

bool UpdaterWindow::Create(HINSTANCE instance, const WindowEvents& events) {
  events_ = events;
  HWND created = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_UPDATER_WINDOW), nullptr,
                                    &UpdaterWindow::DialogProc, reinterpret_cast<LPARAM>(this));
  return created != nullptr;
}

HWND UpdaterWindow::Control(int id) const {
  return window_ != nullptr ? GetDlgItem(window_, id) : nullptr;
}

void UpdaterWindow::SetCaption(const std::string& caption) {
  if (window_ != nullptr) SetWindowTextA(window_, caption.c_str());
}

void UpdaterWindow::SetBarPosition(int position) {
  SendMessageA(Control(进度条_下载进度), PBM_SETPOS, static_cast<WPARAM>(position), 0);
  RepaintBarAndLabel();
}

void UpdaterWindow::SetPercentText(const std::string& text) {
  SetWindowTextA(Control(透明标签_百分比), text.c_str());
  RepaintBarAndLabel();
}

void UpdaterWindow::SetStatusText(const std::string& text) {
  SetWindowTextA(Control(标签_状态), text.c_str());
}

void UpdaterWindow::RequestDestroy() {
  if (window_ != nullptr) PostMessageA(window_, kDestroyRequestMessage, 0, 0);
}

UpdaterWindow::FinishingScope::FinishingScope(UpdaterWindow& window) : window_(window) {
  window_.finishing_ = true;
}

UpdaterWindow::FinishingScope::~FinishingScope() {
  window_.finishing_ = false;
  if (window_.closeHeld_) {
    window_.closeHeld_ = false;
    // Behind whatever the finished sequence queued (its destroy request comes first).
    if (window_.window_ != nullptr) PostMessageA(window_.window_, WM_CLOSE, 0, 0);
  }
}

// The label draws no background, so the bar has to be painted first and the label's
// text over it; otherwise the old percentage stays on the bar under the new one.
void UpdaterWindow::RepaintBarAndLabel() {
  HWND bar = Control(进度条_下载进度);
  HWND label = Control(透明标签_百分比);
  if (bar == nullptr || label == nullptr) return;
  RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  RedrawWindow(label, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void UpdaterWindow::LayOut() {
  const Origin origin =
      CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  SetWindowPos(window_, nullptr, origin.left, origin.top, kWindowWidth, kWindowHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  for (const PixelRect& place : ControlLayout()) {
    MoveWindow(Control(place.id), place.left, place.top, place.width, place.height, FALSE);
  }
  // The percentage lies over the bar: above it in the z-order, so it is painted after it.
  SetWindowPos(Control(透明标签_百分比), HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

INT_PTR CALLBACK UpdaterWindow::DialogProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  UpdaterWindow* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<UpdaterWindow*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->window_ = window;
  } else {
    self = reinterpret_cast<UpdaterWindow*>(GetWindowLongPtrA(window, DWLP_USER));
  }
  return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR UpdaterWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      LayOut();
      时钟1.Attach(window_, kProgressTimerId);
      link.Attach(Control(超级链接));
      if (events_.onCreated != nullptr) events_.onCreated(*this);
      return FALSE;  // leave the keyboard focus where the dialog manager put it

    case WM_TIMER:
      if (wParam == 时钟1.Id() && events_.onTick != nullptr) events_.onTick(*this);
      return TRUE;

    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == Control(透明标签_百分比)) {
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
      }
      return FALSE;

    case WM_NOTIFY:
      if (lParam != 0) link.HandleNotify(*reinterpret_cast<const NMHDR*>(lParam));
      return TRUE;

    case WM_COMMAND:
      // Enter and Escape reach a dialog as IDOK and IDCANCEL; neither closes this window.
      return TRUE;

    case WM_CLOSE:
      if (finishing_) {
        // The install is copying from the staging area and lets window events run:
        // clearing the staging area now would pull files from under the copy.
        closeHeld_ = true;
        return TRUE;
      }
      if (events_.onCloseQuery != nullptr) events_.onCloseQuery(*this);
      DestroyWindow(window_);
      return TRUE;

    case kDestroyRequestMessage:
      DestroyWindow(window_);
      return TRUE;

    case kKillMonitorTimerMessage:
      KillMonitorTimer();
      return TRUE;

    case WM_DESTROY:
      if (events_.onDestroying != nullptr) events_.onDestroying(*this);
      时钟1.SetPeriod(0);
      时钟1.Detach();
      PostQuitMessage(0);
      return TRUE;

    case WM_NCDESTROY:
      SetWindowLongPtrA(window_, DWLP_USER, 0);
      window_ = nullptr;
      link.Attach(nullptr);
      return FALSE;

    default:
      return FALSE;
  }
}
