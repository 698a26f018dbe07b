// The bookkeeping that lets a process runner hand its worker's output to
// another thread safely: every run gets a tag, the chunks carry it, and a
// run ends exactly once even when its worker and its owner end it at the
// same moment.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace hi {

class TRunGate {
 public:
  static constexpr uint32_t NoRun = 0;

  // Owner thread: starts a new run and makes it the current one; the
  // previous run must have been ended and released.
  uint32_t Begin();
  // Any thread: ends a run. True for exactly one caller per run, the one
  // that must kill its process; false when the run had already ended or is
  // unknown.
  bool End(uint32_t run);
  // Owner thread: forgets the current run; its pending chunks are dropped
  // from now on.
  void Release();

  // True while the run has not ended (the worker keeps polling).
  bool Live(uint32_t run) const;
  // Owner thread: the run whose chunks are still delivered (ended or not,
  // until Release or the next Begin).
  uint32_t Current() const { return current_; }
  bool Accepts(uint32_t run) const { return run != NoRun && run == current_; }

 private:
  // Tag of the live run, or NoRun; the only field both threads touch.
  std::atomic<uint32_t> live_{NoRun};
  uint32_t current_ = NoRun;
  uint32_t last_ = NoRun;
};

// Owner thread: ends the current run, has its record let go of its worker
// (run->LetGo(): nothing more is handed over, the worker stops waiting) and
// forgets it; nothing waits for the worker. True when the run was still
// live, that is its worker had not ended it.
template <class TRun>
bool StopRun(TRunGate& gate, std::shared_ptr<TRun>& run) {
  if (!run) return false;
  const bool live = gate.End(run->id);
  run->LetGo();
  run.reset();
  gate.Release();
  return live;
}

// The text of a chunk as read from a pipe: up to the first zero byte.
std::string ChunkText(const char* bytes, size_t count);

}  // namespace hi
