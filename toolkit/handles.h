// Move-only owners of the operating system's handles. Every window, device
// context, graphics object, kernel object and thread the system makes is
// held by one of these, so that no path leaks one.
#pragma once

#include <windows.h>

#include <atomic>
#include <utility>

namespace kol {

// Live graphics objects made through GdiObject: the leak tests read it.
inline std::atomic<long>& GdiObjectCounter() {
  static std::atomic<long> count{0};
  return count;
}
inline long LiveGdiObjects() { return GdiObjectCounter().load(); }

// Traits: Handle type, the empty value, and how to give one back.
struct WindowTraits {
  using Handle = HWND;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { DestroyWindow(h); }
  static void Counted(int) {}
};

// Graphics objects, typed by the exact handle so that callers never cast.
template <class H>
struct GdiTraits {
  using Handle = H;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { DeleteObject(h); }
  static void Counted(int delta) { GdiObjectCounter() += delta; }
};

// Kernel objects: files, pipes, processes, events. Both empty values that
// the API returns are treated as none.
struct KernelTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { CloseHandle(h); }
  static void Counted(int) {}
  static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};

// A file search (FindFirstFile); a failed search returns INVALID_HANDLE_VALUE.
struct FindTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { FindClose(h); }
  static void Counted(int) {}
  static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};

// A memory device context (CreateCompatibleDC), given back with DeleteDC.
struct MemoryDcTraits {
  using Handle = HDC;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { DeleteDC(h); }
  static void Counted(int) {}
};

// Owner of one handle; Traits says how it is released.
template <class Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept : h_(Traits::Empty()) {}
  explicit UniqueHandle(Handle h) noexcept : h_(Traits::Empty()) { reset(h); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  // Moving hands the handle over; the live count does not change.
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::Empty())) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = std::exchange(o.h_, Traits::Empty());
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return valid(h_); }

  // Takes ownership of h, releasing the handle held before.
  void reset(Handle h = Traits::Empty()) noexcept {
    if (h == h_) return;
    if (valid(h_)) {
      Traits::Close(h_);
      Traits::Counted(-1);
    }
    h_ = valid(h) ? h : Traits::Empty();
    if (valid(h_)) Traits::Counted(1);
  }
  // Gives up ownership without releasing.
  Handle release() noexcept {
    Handle h = h_;
    if (valid(h_)) Traits::Counted(-1);
    h_ = Traits::Empty();
    return h;
  }

 private:
  template <class T>
  static auto validImpl(Handle h, int) -> decltype(T::Valid(h)) {
    return T::Valid(h);
  }
  template <class T>
  static bool validImpl(Handle h, long) {
    return h != T::Empty();
  }
  static bool valid(Handle h) { return validImpl<Traits>(h, 0); }

  Handle h_;
};

// Movable global memory, as the clipboard takes it.
struct GlobalMemoryTraits {
  using Handle = HGLOBAL;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { GlobalFree(h); }
  static void Counted(int) {}
};

using WindowHandle = UniqueHandle<WindowTraits>;
using GdiObject = UniqueHandle<GdiTraits<HGDIOBJ>>;
using GdiBitmap = UniqueHandle<GdiTraits<HBITMAP>>;
using GdiBrush = UniqueHandle<GdiTraits<HBRUSH>>;
using GdiFont = UniqueHandle<GdiTraits<HFONT>>;
using GdiPalette = UniqueHandle<GdiTraits<HPALETTE>>;
using KernelHandle = UniqueHandle<KernelTraits>;
// A thread is a kernel object; the own alias keeps intent visible.
using ThreadHandle = UniqueHandle<KernelTraits>;
using FindHandle = UniqueHandle<FindTraits>;
using MemoryDc = UniqueHandle<MemoryDcTraits>;

using GlobalMemory = UniqueHandle<GlobalMemoryTraits>;

// The address of locked global memory, unlocked when it goes out of scope.
class GlobalLock {
 public:
  explicit GlobalLock(HGLOBAL memory) noexcept : memory_(memory), data_(memory ? ::GlobalLock(memory) : nullptr) {}
  GlobalLock(const GlobalLock&) = delete;
  GlobalLock& operator=(const GlobalLock&) = delete;
  ~GlobalLock() {
    if (data_) GlobalUnlock(memory_);
  }
  void* get() const noexcept { return data_; }

 private:
  HGLOBAL memory_;
  void* data_;
};

// A memory device context compatible with dc (nullptr: the screen).
inline MemoryDc CompatibleDc(HDC dc) noexcept { return MemoryDc(CreateCompatibleDC(dc)); }

// The device context of a window (nullptr: the screen), borrowed with GetDC
// and given back with ReleaseDC, which needs the window as well.
class WindowDc {
 public:
  WindowDc() noexcept = default;
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  WindowDc(WindowDc&& o) noexcept : dc_(std::exchange(o.dc_, nullptr)), wnd_(std::exchange(o.wnd_, nullptr)) {}
  WindowDc& operator=(WindowDc&& o) noexcept {
    if (this != &o) {
      reset();
      dc_ = std::exchange(o.dc_, nullptr);
      wnd_ = std::exchange(o.wnd_, nullptr);
    }
    return *this;
  }
  ~WindowDc() { reset(); }

  static WindowDc ForWindow(HWND wnd) noexcept {
    WindowDc d;
    d.dc_ = GetDC(wnd);
    d.wnd_ = wnd;
    return d;
  }
  // The same with the clipping and cache choices of GetDCEx.
  static WindowDc ForWindow(HWND wnd, DWORD flags) noexcept {
    WindowDc d;
    d.dc_ = GetDCEx(wnd, nullptr, flags);
    d.wnd_ = wnd;
    return d;
  }

  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

  void reset() noexcept {
    if (dc_) ReleaseDC(wnd_, dc_);
    dc_ = nullptr;
    wnd_ = nullptr;
  }

 private:
  HDC dc_ = nullptr;
  HWND wnd_ = nullptr;
};

// The painting device context of a window inside WM_PAINT: BeginPaint on
// construction, EndPaint on every way out, a throwing paint handler included.
class PaintDc {
 public:
  explicit PaintDc(HWND wnd) noexcept : wnd_(wnd), dc_(BeginPaint(wnd, &ps_)) {}
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  ~PaintDc() { EndPaint(wnd_, &ps_); }

  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND wnd_;
  PAINTSTRUCT ps_ = {};
  HDC dc_;
};

// Selects an object into a device context and puts back what it replaced
// when it goes out of scope, so that no object is deleted while selected.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(dc && obj ? SelectObject(dc, obj) : nullptr) {}
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;
  SelectGuard(SelectGuard&& o) noexcept : dc_(std::exchange(o.dc_, nullptr)), old_(std::exchange(o.old_, nullptr)) {}
  SelectGuard& operator=(SelectGuard&&) = delete;
  ~SelectGuard() { restore(); }

  void restore() noexcept {
    if (dc_ && old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    old_ = nullptr;
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace kol
