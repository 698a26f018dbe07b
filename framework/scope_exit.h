// Runs a clean-up when the scope ends, by any way out, an exception
// included: for one-off restores that no handle owner covers.
#pragma once

#include <utility>

namespace hi {

template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) noexcept : f_(std::move(f)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() { f_(); }

 private:
  F f_;
};

}  // namespace hi
