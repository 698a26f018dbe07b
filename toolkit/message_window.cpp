#include "toolkit/message_window.h"

#include <memory>

#include "toolkit/platform.h"

namespace kol {

namespace {
constexpr UINT CallbackMessage = WM_APP + 0x3C1;
using Callback = std::function<void()>;
}  // namespace

MessageWindow::MessageWindow() {
  // A window of a system class, subclassed: no class of this library stays
  // registered after the library is unloaded.
  wnd_.reset(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr));
  if (!wnd_) return;
  SetWindowLongPtrW(wnd_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  previous_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(wnd_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageWindow::Procedure)));
}

MessageWindow::~MessageWindow() {
  if (!wnd_) return;
  DropPending();
  SetWindowLongPtrW(wnd_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
  SetWindowLongPtrW(wnd_.get(), GWLP_USERDATA, 0);
  wnd_.reset();
}

void MessageWindow::DropPending() {
  for (const auto& entry : idle_) KillTimer(wnd_.get(), entry.first);
  idle_.clear();
  // Posted messages that are never delivered would leak their callbacks.
  MSG msg;
  while (PeekMessageW(&msg, wnd_.get(), CallbackMessage, CallbackMessage, PM_REMOVE))
    delete reinterpret_cast<Callback*>(msg.lParam);
}

bool MessageWindow::Post(std::function<void()> callback) {
  if (!wnd_ || !callback) return false;
  auto* owned = new Callback(std::move(callback));
  if (PostMessageW(wnd_.get(), CallbackMessage, 0, reinterpret_cast<LPARAM>(owned))) return true;
  delete owned;
  return false;
}

bool MessageWindow::RunWhenIdle(std::function<void()> callback) {
  if (!wnd_ || !callback) return false;
  const UINT_PTR id = nextTimer_++;
  // A timer message is made only when nothing else waits for the thread.
  if (SetTimer(wnd_.get(), id, USER_TIMER_MINIMUM, nullptr) == 0) return false;
  idle_.emplace(id, std::move(callback));
  return true;
}

LRESULT CALLBACK MessageWindow::Procedure(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (msg == CallbackMessage) {
    std::unique_ptr<Callback> callback(reinterpret_cast<Callback*>(lp));
    if (callback) hi::GuardedRun([&] { (*callback)(); });
    return 0;
  }
  if (msg == WM_TIMER && self) {
    const auto found = self->idle_.find(wp);
    if (found != self->idle_.end()) {
      KillTimer(wnd, wp);
      const std::function<void()> callback = std::move(found->second);
      self->idle_.erase(found);
      hi::GuardedRun([&] { callback(); });
      return 0;
    }
  }
  if (self && self->previous_) return CallWindowProcW(self->previous_, wnd, msg, wp, lp);
  return DefWindowProcW(wnd, msg, wp, lp);
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (done()) return true;
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    // Short waits: done() may also turn true through another thread's work.
    const ULONGLONG wait = deadline - now;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(wait < 10 ? wait : 10), QS_ALLINPUT);
  }
}

}  // namespace kol
