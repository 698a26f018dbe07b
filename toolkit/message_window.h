// A message-only window that runs callbacks posted from any thread on the
// thread that created it, in the order they were posted. It lets a worker
// thread hand results to the thread that owns the elements without ever
// waiting for that thread.
#pragma once

#include <windows.h>

#include <functional>
#include <map>

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

  // Creating thread only: runs the callback once this thread has nothing
  // but timers left to serve (no sent or posted message, input or paint),
  // and no sooner than the shortest timer interval. A stream of posted work
  // paced by it leaves the thread's own timers and paints their turn.
  // False when no timer could be set (the callback is then dropped).
  bool RunWhenIdle(std::function<void()> callback);

  HWND Handle() const { return wnd_.get(); }
  explicit operator bool() const { return static_cast<bool>(wnd_); }

 private:
  static LRESULT CALLBACK Procedure(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  void DropPending();

  WindowHandle wnd_;
  WNDPROC previous_ = nullptr;
  // The callbacks of RunWhenIdle by timer identifier.
  std::map<UINT_PTR, std::function<void()>> idle_;
  UINT_PTR nextTimer_ = 1;
};

// Runs the calling thread's message loop until done() is true or the time
// is up; true when done() became true. For tests and modal waits.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);

}  // namespace kol
