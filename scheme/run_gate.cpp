#include "scheme/run_gate.h"

#include <cstring>

namespace hi {

uint32_t TRunGate::Begin() {
  if (++last_ == NoRun) ++last_;  // the tag wraps around past NoRun
  current_ = last_;
  live_.store(current_, std::memory_order_release);
  return current_;
}

bool TRunGate::End(uint32_t run) {
  if (run == NoRun) return false;
  uint32_t expected = run;
  return live_.compare_exchange_strong(expected, NoRun, std::memory_order_acq_rel);
}

void TRunGate::Release() {
  End(current_);
  current_ = NoRun;
}

bool TRunGate::Live(uint32_t run) const { return run != NoRun && live_.load(std::memory_order_acquire) == run; }

std::string ChunkText(const char* bytes, size_t count) {
  const void* zero = std::memchr(bytes, 0, count);
  return std::string(bytes, zero ? static_cast<const char*>(zero) - bytes : count);
}

}  // namespace hi
