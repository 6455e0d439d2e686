#include "window/timer_control.h"

#include "window/timer_period.h"

void TimerControl::Attach(HWND window, UINT_PTR id) {
  window_ = window;
  id_ = id;
  period_ = 0;
}

void TimerControl::SetPeriod(int milliseconds) {
  const TimerDecision decision = DecideTimerPeriod(period_, milliseconds);
  switch (decision.action) {
    case TimerAction::None:
      break;
    case TimerAction::Restart:
      // SetTimer with an id the window already uses replaces that timer and starts its
      // period afresh.
      if (window_ == nullptr || SetTimer(window_, id_, static_cast<UINT>(milliseconds), nullptr) == 0)
        return;
      break;
    case TimerAction::Stop:
      if (window_ != nullptr) KillTimer(window_, id_);
      break;
  }
  period_ = decision.period;
}

void TimerControl::Detach() {
  window_ = nullptr;
  period_ = 0;
}
