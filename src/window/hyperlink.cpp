#include "window/hyperlink.h"

#include <commctrl.h>
#include <shellapi.h>

std::string LinkMarkup(const std::string& caption) { return "<a>" + caption + "</a>"; }

void Hyperlink::SetCaption(const std::string& caption) {
  if (control_ != nullptr) SetWindowTextA(control_, LinkMarkup(caption).c_str());
}

bool Hyperlink::HandleNotify(const NMHDR& header) const {
  if (header.hwndFrom != control_ || control_ == nullptr) return false;
  if (header.code == NM_CLICK || header.code == NM_RETURN) Open();
  return true;
}

void Hyperlink::Open() const {
  // The address stays out of the control's markup so its ANSI bytes reach the shell as
  // the request gave them. What the shell does with an address it cannot open is its own
  // business; the update does not depend on it.
  if (address_.empty()) return;
  ShellExecuteA(nullptr, "open", address_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
