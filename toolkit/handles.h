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

struct GdiTraits {
  using Handle = HGDIOBJ;
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
  static auto validImpl(Handle h, int) -> decltype(T::Valid(h)) { return T::Valid(h); }
  template <class T>
  static bool validImpl(Handle h, long) { return h != T::Empty(); }
  static bool valid(Handle h) { return validImpl<Traits>(h, 0); }

  Handle h_;
};

using WindowHandle = UniqueHandle<WindowTraits>;
using GdiObject = UniqueHandle<GdiTraits>;
using KernelHandle = UniqueHandle<KernelTraits>;
// A thread is a kernel object; the own alias keeps intent visible.
using ThreadHandle = UniqueHandle<KernelTraits>;

// Device context: either borrowed from a window (GetDC, given back with
// ReleaseDC) or made in memory (CreateCompatibleDC, given back with DeleteDC).
class DcHandle {
 public:
  DcHandle() noexcept = default;
  DcHandle(const DcHandle&) = delete;
  DcHandle& operator=(const DcHandle&) = delete;
  DcHandle(DcHandle&& o) noexcept
      : dc_(std::exchange(o.dc_, nullptr)), wnd_(std::exchange(o.wnd_, nullptr)), memory_(o.memory_) {}
  DcHandle& operator=(DcHandle&& o) noexcept {
    if (this != &o) {
      reset();
      dc_ = std::exchange(o.dc_, nullptr);
      wnd_ = std::exchange(o.wnd_, nullptr);
      memory_ = o.memory_;
    }
    return *this;
  }
  ~DcHandle() { reset(); }

  // The device context of window wnd (nullptr: the screen).
  static DcHandle ForWindow(HWND wnd) noexcept {
    DcHandle d;
    d.dc_ = GetDC(wnd);
    d.wnd_ = wnd;
    d.memory_ = false;
    return d;
  }
  // A memory device context compatible with dc (nullptr: the screen).
  static DcHandle Compatible(HDC dc) noexcept {
    DcHandle d;
    d.dc_ = CreateCompatibleDC(dc);
    d.memory_ = true;
    return d;
  }

  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

  void reset() noexcept {
    if (dc_) {
      if (memory_)
        DeleteDC(dc_);
      else
        ReleaseDC(wnd_, dc_);
    }
    dc_ = nullptr;
    wnd_ = nullptr;
  }

 private:
  HDC dc_ = nullptr;
  HWND wnd_ = nullptr;
  bool memory_ = false;
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
