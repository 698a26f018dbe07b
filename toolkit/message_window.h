// A message-only window that runs callbacks posted from any thread on the
// thread that created it, in the order they were posted. It lets a worker
// thread hand results to the thread that owns the elements without ever
// waiting for that thread.
#pragma once

#include <windows.h>

#include <functional>

#include "toolkit/handles.h"

namespace kol {

class MessageWindow {
 public:
  // Creates the window on the calling thread, whose message loop then runs
  // the callbacks.
  MessageWindow();
  // Must run on the creating thread, after every thread that posts has
  // stopped: callbacks still queued are dropped without running.
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // Any thread: queues the callback. False when it could not be queued (the
  // callback is then dropped).
  bool Post(std::function<void()> callback);

  HWND Handle() const { return wnd_.get(); }
  explicit operator bool() const { return static_cast<bool>(wnd_); }

 private:
  static LRESULT CALLBACK Procedure(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  void DropPending();

  WindowHandle wnd_;
  WNDPROC previous_ = nullptr;
};

// Runs the calling thread's message loop until done() is true or the time
// is up; true when done() became true. For tests and modal waits.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);

}  // namespace kol
