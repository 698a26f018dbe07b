#include "toolkit/message_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/platform.h"

namespace {
int g_boxes = 0;
int CountBox(HWND, const std::string&, const char*, UINT) {
  ++g_boxes;
  return IDOK;
}
}  // namespace

TEST(MessageWindow, PostedCallbacksRunOnTheCreatorInOrderAndPendingOnesAreDropped) {
  auto window = std::make_unique<kol::MessageWindow>();
  ASSERT_TRUE(*window);
  const DWORD self = GetCurrentThreadId();
  std::vector<int> seen;
  std::vector<DWORD> threads;
  std::thread poster([&] {
    for (int i = 0; i < 500; ++i)
      EXPECT_TRUE(window->Post([&seen, &threads, i] {
        seen.push_back(i);
        threads.push_back(GetCurrentThreadId());
      }));
  });
  poster.join();
  EXPECT_TRUE(seen.empty());  // nothing runs until the creator pumps
  ASSERT_TRUE(kol::PumpMessagesUntil([&] { return seen.size() == 500; }, 10000));
  for (int i = 0; i < 500; ++i) EXPECT_EQ(seen[size_t(i)], i);
  for (DWORD t : threads) EXPECT_EQ(t, self);

  // Callbacks still queued at destruction are released, never run.
  auto token = std::make_shared<int>(0);
  bool ran = false;
  for (int i = 0; i < 3; ++i) window->Post([token, &ran] { ran = true; });
  EXPECT_EQ(token.use_count(), 4);
  window.reset();
  EXPECT_EQ(token.use_count(), 1);
  kol::PumpMessagesUntil([] { return false; }, 50);
  EXPECT_FALSE(ran);
}

TEST(MessageWindow, AThrowingCallbackIsReportedAndTheNextOneStillRuns) {
  kol::MessageBoxProc old = kol::SetMessageBoxProc(&CountBox);
  kol::MessageWindow window;
  bool second = false;
  window.Post([] { throw std::runtime_error("boom"); });
  window.Post([&] { second = true; });
  EXPECT_TRUE(kol::PumpMessagesUntil([&] { return second; }, 5000));
  EXPECT_EQ(g_boxes, 1);
  kol::SetMessageBoxProc(old);
}

namespace {
std::vector<std::string>* g_seen = nullptr;
LRESULT CALLBACK RecordPaint(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    g_seen->push_back("paint");
    ValidateRect(wnd, nullptr);
    return 0;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}
}  // namespace

TEST(MessageWindow, IdleCallbacksWaitForPostedWorkAndPaintsAndAreDroppedAtDestruction) {
  auto window = std::make_unique<kol::MessageWindow>();
  std::vector<std::string> seen;
  g_seen = &seen;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &RecordPaint;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"IdleTestPainted";
  RegisterClassW(&wc);
  kol::WindowHandle painted(CreateWindowExW(0, L"IdleTestPainted", L"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                            nullptr, wc.hInstance, nullptr));
  ASSERT_TRUE(painted);
  kol::PumpMessagesUntil([] { return false; }, 100);
  seen.clear();

  // Posted work that keeps the queue busy for far longer than a timer
  // interval, and a paint that becomes due in the middle of it.
  std::function<void(int)> busy = [&](int left) {
    Sleep(3);
    if (left == 10) InvalidateRect(painted.get(), nullptr, FALSE);
    if (left > 0) {
      window->Post([&busy, left] { busy(left - 1); });
    } else {
      seen.push_back("posted");
    }
  };
  ASSERT_TRUE(window->RunWhenIdle([&] { seen.push_back("idle"); }));
  window->Post([&busy] { busy(20); });
  ASSERT_TRUE(kol::PumpMessagesUntil([&] { return !seen.empty() && seen.back() == "idle"; }, 5000));
  EXPECT_EQ(seen, (std::vector<std::string>{"posted", "paint", "idle"}));

  auto token = std::make_shared<int>(0);
  bool ran = false;
  ASSERT_TRUE(window->RunWhenIdle([token, &ran] { ran = true; }));
  EXPECT_EQ(token.use_count(), 2);
  window.reset();
  EXPECT_EQ(token.use_count(), 1);
  kol::PumpMessagesUntil([] { return false; }, 50);
  EXPECT_FALSE(ran);
  g_seen = nullptr;
}
