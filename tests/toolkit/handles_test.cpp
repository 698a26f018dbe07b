#include "toolkit/handles.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tools/process_stats.h"

TEST(Handles, GdiObjectsAreCountedAndReleasedOnce) {
  long base = kol::LiveGdiObjects();
  {
    kol::GdiObject a(CreateSolidBrush(RGB(1, 2, 3)));
    ASSERT_TRUE(a);
    EXPECT_EQ(kol::LiveGdiObjects(), base + 1);
    HGDIOBJ raw = a.get();
    kol::GdiObject b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), raw);
    EXPECT_EQ(kol::LiveGdiObjects(), base + 1);
    kol::GdiObject c(CreatePen(PS_SOLID, 1, 0));
    c = std::move(b);  // c's pen is deleted, the brush moves in
    EXPECT_EQ(kol::LiveGdiObjects(), base + 1);
    EXPECT_EQ(GetObjectType(raw), static_cast<DWORD>(OBJ_BRUSH));
    HGDIOBJ given = c.release();
    EXPECT_EQ(kol::LiveGdiObjects(), base);
    EXPECT_TRUE(DeleteObject(given));
    kol::GdiObject none(nullptr);
    EXPECT_EQ(kol::LiveGdiObjects(), base);
  }
  EXPECT_EQ(kol::LiveGdiObjects(), base);
}

TEST(Handles, ProcessGdiCountFollowsEveryKindOfObject) {
  // The process figure sees every kind of object (a DIB section, a memory
  // DC), not only the brushes the counted owners were tried with.
  const long before = procstats::CountGdiObjects();
  ASSERT_GT(before, 0) << "the stock objects at least";
  std::vector<kol::GdiObject> made;
  for (int i = 0; i < 10; ++i) made.emplace_back(CreateSolidBrush(RGB(i, 0, 0)));
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 8;
  bi.bmiHeader.biHeight = 8;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  made.emplace_back(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  kol::MemoryDc dc = kol::CompatibleDc(nullptr);
  ASSERT_TRUE(dc);
  for (const kol::GdiObject& o : made) ASSERT_TRUE(o);
  EXPECT_EQ(procstats::CountGdiObjects(), before + 12);
  made.clear();
  dc.reset();
  EXPECT_EQ(procstats::CountGdiObjects(), before);
}

TEST(Handles, KernelHandlesCloseAndProcessCountFollows) {
  long before = procstats::CountProcessHandles();
  ASSERT_GT(before, 0) << "the system handle table must be readable";
  HANDLE raw;
  {
    kol::KernelHandle ev(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    raw = ev.get();
    ASSERT_TRUE(ev);
    EXPECT_EQ(procstats::CountProcessHandles(), before + 1);
    kol::KernelHandle moved;
    moved = std::move(ev);
    EXPECT_EQ(procstats::CountProcessHandles(), before + 1);
  }
  EXPECT_EQ(procstats::CountProcessHandles(), before);
  EXPECT_EQ(WaitForSingleObject(raw, 0), WAIT_FAILED);
  kol::KernelHandle invalid(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(invalid);
}

TEST(Handles, DeviceContextsAndSelectionAreRestored) {
  kol::MemoryDc mem = kol::CompatibleDc(nullptr);
  ASSERT_TRUE(mem);
  HGDIOBJ original = GetCurrentObject(mem.get(), OBJ_BRUSH);
  kol::GdiBrush brush(CreateSolidBrush(RGB(9, 9, 9)));
  {
    kol::SelectGuard g(mem.get(), brush.get());
    EXPECT_EQ(GetCurrentObject(mem.get(), OBJ_BRUSH), brush.get());
  }
  EXPECT_EQ(GetCurrentObject(mem.get(), OBJ_BRUSH), original);
  HDC raw = mem.get();
  kol::MemoryDc other = std::move(mem);
  EXPECT_FALSE(mem);
  other.reset();
  EXPECT_EQ(GetObjectType(raw), 0u);

  kol::WindowDc screen = kol::WindowDc::ForWindow(nullptr);
  EXPECT_TRUE(screen);
  EXPECT_GT(GetDeviceCaps(screen.get(), LOGPIXELSY), 0);
}

TEST(ProcessStats, WindowsAndMemoryAreSeen) {
  // The system adds a helper window while a thread has any top-level
  // window; one that stays keeps that constant.
  HWND keeper = CreateWindowExA(0, "STATIC", "k", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  long before = procstats::CountThreadWindows();
  HWND top = CreateWindowExA(0, "STATIC", "t", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  HWND child = CreateWindowExA(0, "STATIC", "c", WS_CHILD, 0, 0, 5, 5, top, nullptr, nullptr, nullptr);
  ASSERT_TRUE(top && child);
  EXPECT_EQ(procstats::CountThreadWindows(), before + 2);
  DestroyWindow(top);
  EXPECT_EQ(procstats::CountThreadWindows(), before);
  DestroyWindow(keeper);

  size_t mem = procstats::PrivateBytes();
  EXPECT_GT(mem, 0u);
  void* block = VirtualAlloc(nullptr, 8 << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(block, nullptr);
  EXPECT_GE(procstats::PrivateBytes(), mem + (7 << 20));
  VirtualFree(block, 0, MEM_RELEASE);
  EXPECT_LT(procstats::PrivateBytes(), mem + (4 << 20));
}
