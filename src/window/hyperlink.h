// The hyperlink box 超级链接: a SysLink control that shows a caption as one link and
// opens its web address with the shell's "open" action when clicked.
#pragma once

#include <windows.h>

#include <string>

class Hyperlink {
 public:
  void Attach(HWND control) { control_ = control; }
  HWND Handle() const { return control_; }

  // The control shows the caption as the text of a single link. (WM_GETTEXT on the
  // control answers with that markup: "<a>" caption "</a>".)
  void SetCaption(const std::string& caption);
  void SetAddress(const std::string& address) { address_ = address; }
  const std::string& Address() const { return address_; }

  // Answers a notification from the control: a click or Enter on the link opens the
  // address. True when the notification was the link's.
  bool HandleNotify(const NMHDR& header) const;
  void Open() const;

 private:
  HWND control_ = nullptr;
  std::string address_;  // ANSI bytes, opened as they are
};

// The markup that shows `caption` as one link.
std::string LinkMarkup(const std::string& caption);
