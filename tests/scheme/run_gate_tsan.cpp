// The runner's hand-over, without processes: a worker thread polls and
// posts tagged chunks to a queue that stands in for the message window, and
// ends its run when its "pipe breaks"; the owner delivers what the gate
// accepts and stops the run at a random moment. Built with ThreadSanitizer,
// so a data race in the bookkeeping fails the test as well as a wrong count.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

#include "scheme/run_gate.h"

using hi::TRunGate;

namespace {

enum Kind { Chunk, End };
struct Message {
  uint32_t run;
  Kind kind;
  int seq;
};

class Queue {
 public:
  void Post(const Message& m) {
    std::lock_guard<std::mutex> lock(m_);
    q_.push_back(m);
  }
  bool Take(Message& m) {
    std::lock_guard<std::mutex> lock(m_);
    if (q_.empty()) return false;
    m = q_.front();
    q_.pop_front();
    return true;
  }

 private:
  std::mutex m_;
  std::deque<Message> q_;
};

void Spin(std::mt19937& random, unsigned maxMicros) {
  const unsigned us = random() % (maxMicros + 1);
  if (us == 0) return;
  if (us % 3 == 0) {
    std::this_thread::yield();
    return;
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(us);
  while (std::chrono::steady_clock::now() < until) {
  }
}

int failures = 0;
void Check(bool ok, const char* what, int run) {
  if (ok) return;
  if (++failures <= 10) std::printf("run %d: %s\n", run, what);
}

}  // namespace

int main() {
  const int runs = 3000;
  TRunGate gate;
  Queue queue;
  std::mt19937 ownerRandom(20240531);
  int workerWon = 0, ownerWon = 0, endsDelivered = 0;

  for (int n = 0; n < runs; ++n) {
    const uint32_t id = gate.Begin();
    std::atomic<int> kills{0};
    const int passes = int(ownerRandom() % 40);
    const unsigned seed = ownerRandom();
    std::thread worker([&, id, passes, seed] {
      std::mt19937 random(seed);
      bool ended = false;
      int pass = 0;
      while (!ended && gate.Live(id)) {
        queue.Post({id, Chunk, pass});
        if (++pass >= passes) ended = true;
        Spin(random, 20);
      }
      if (ended && gate.End(id)) {
        kills.fetch_add(1);
        queue.Post({id, End, pass});
      }
    });

    bool stopped = false, ended = false;
    int lastSeq = -1;
    auto stop = [&] {
      if (stopped) return;
      if (gate.End(id)) kills.fetch_add(1);
      worker.join();
      gate.Release();
      stopped = true;
    };
    // Deliver for a while, then stop: sometimes before the worker's end.
    const int rounds = int(ownerRandom() % 60);
    for (int r = 0; r < rounds && !stopped; ++r) {
      Message m;
      while (!stopped && queue.Take(m)) {
        if (!gate.Accepts(m.run)) continue;
        Check(m.run == id, "a chunk of another run was accepted", n);
        if (m.kind == Chunk) {
          Check(m.seq == lastSeq + 1, "chunks out of order", n);
          lastSeq = m.seq;
        } else {
          stop();
          Check(!ended, "end delivered twice", n);
          ended = true;
          ++endsDelivered;
        }
      }
      Spin(ownerRandom, 15);
    }
    stop();
    Check(kills.load() == 1, "the run was not ended exactly once", n);
    if (ended) ++workerWon;
    // Whatever is left of this run is dropped, never delivered.
    Message m;
    while (queue.Take(m)) Check(!gate.Accepts(m.run), "a chunk of a stopped run was accepted", n);
    if (!ended) {
      // Either the worker ended it and the end was dropped, or the owner did.
      ++ownerWon;
    }
  }
  std::printf("runs %d: end delivered %d, stopped by the owner first or end dropped %d\n", runs, endsDelivered,
              ownerWon);
  Check(workerWon > runs / 20, "the worker's own end was seldom delivered", -1);
  Check(ownerWon > runs / 20, "the owner seldom stopped first", -1);
  std::printf("%d passed, %d failed\n", failures == 0 ? 1 : 0, failures == 0 ? 0 : 1);
  return failures == 0 ? 0 : 1;
}
