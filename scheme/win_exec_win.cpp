#include "scheme/win_exec.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "framework/scope_exit.h"
#include "toolkit/child_process.h"
#include "toolkit/handles.h"
#include "toolkit/message_window.h"

namespace hi {

// Everything one started program needs, shared by the element and the
// worker. The worker uses only this record (never the element); the record
// goes when the last of the two lets go of it.
struct THIWinExec::TRun {
  uint32_t id = TRunGate::NoRun;
  std::shared_ptr<TRunGate> gate;
  std::string commandLine;
  // Set once the element lets go of the run: the worker's waits end.
  kol::KernelHandle wake;
  kol::ChildProcess child;
  // Chunks posted and not yet taken by the element's thread. The callbacks
  // hold it too, since they can outlive the run.
  std::shared_ptr<std::atomic<int>> inFlight = std::make_shared<std::atomic<int>>(0);

  // Worker: hands a chunk to the element's thread, never waiting for that
  // thread; nothing once the element has let go of the run.
  void Post(Stream stream, std::string text) { post.Call(stream, std::move(text)); }
  // Element: no chunk is posted from now on (a post under way is finished
  // first: it only queues a message), and the worker stops waiting.
  void LetGo() {
    post.Revoke();
    SetEvent(wake.get());
  }

  kol::RevocableCall<Stream, std::string> post;
};

namespace {

constexpr DWORD ChunkSize = 1024;
constexpr DWORD NewConsoleNormalPriority = CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS;
// A program that writes faster than the element's thread takes its chunks
// waits on its full pipe instead of growing that thread's message queue or
// keeping it busy: each chunk costs that thread a probe for the thumbnail,
// so one chunk at a time is handed over.
constexpr int MaxChunksInFlight = 1;
// The archiver's whole report of one extraction fits in these at once;
// only a program that goes on writing has its chunks paced.
constexpr int UnpacedChunks = 8;

// Held by the worker that is starting its program: one program starts at a
// time in the whole library, and a run stopped while its worker waited for
// its turn starts none. A host flicking through files faster than programs
// start makes no pile of programs starting at once.
SRWLOCK Starting = SRWLOCK_INIT;

// Starts the run's program; false when it could not be started. Left
// suspended, for its job to end, when the element let go of the run
// meanwhile.
bool StartProgram(THIWinExec::TRun& run) {
  return kol::StartChild(
      run.commandLine, NewConsoleNormalPriority, kol::JobLimits(), [&run] { return run.gate->Live(run.id); },
      run.child);
}

}  // namespace

// One polling pass after another until the run is stopped or a pipe
// breaks; true when a pipe broke (the program ended by itself).
static bool PollPipes(THIWinExec::TRun& run) {
  std::vector<char> buffer(ChunkSize);
  bool ended = false;
  bool draining = false;
  // The error stream is served first in every pass.
  const std::pair<HANDLE, int> streams[2] = {{run.child.errorReader.get(), 1}, {run.child.outputReader.get(), 0}};
  while (!ended && run.gate->Live(run.id)) {
    bool idle = true;
    for (const auto& s : streams) {
      // After a full batch the element's thread takes all of it, and then
      // finds its queue empty for a moment, so its input and timers are
      // served between batches. Checked per stream, so one pass over both
      // streams never hands over more than the batch.
      while ((draining || run.inFlight->load() >= MaxChunksInFlight) && run.gate->Live(run.id)) {
        draining = run.inFlight->load() > 0;
        WaitForSingleObject(run.wake.get(), 1);
      }
      if (!run.gate->Live(run.id)) break;
      DWORD waiting = 0;
      if (!PeekNamedPipe(s.first, nullptr, 0, nullptr, &waiting, nullptr)) {
        ended = true;
        waiting = 0;
      }
      if (waiting == 0) continue;
      idle = false;
      DWORD got = 0;
      if (ReadFile(s.first, buffer.data(), ChunkSize, &got, nullptr))
        run.Post(s.second ? THIWinExec::Stream::Error : THIWinExec::Stream::Output, ChunkText(buffer.data(), got));
    }
    if (idle) WaitForSingleObject(run.wake.get(), 1);
  }
  return ended;
}

// The worker's whole life: start the program, poll it, kill it. The element
// never waits for any of it.
static void Execute(THIWinExec::TRun& run) {
  bool started = false;
  {
    AcquireSRWLockExclusive(&Starting);
    ScopeExit release([] { ReleaseSRWLockExclusive(&Starting); });
    if (!run.gate->Live(run.id)) return;
    started = StartProgram(run);
  }
  const bool ended = !started || PollPipes(run);
  // Ended by itself, or stopped by the element: either way nothing of it
  // may go on running.
  if (run.child.process) TerminateProcess(run.child.process.get(), 0);
  // A program that ended by itself (or could not start at all) ends the run
  // unless the element is stopping it at this moment.
  if (ended && run.gate->End(run.id)) run.Post(THIWinExec::Stream::End, std::string());
}

THIWinExec::THIWinExec() : window_(std::make_unique<kol::MessageWindow>()), gate_(std::make_shared<TRunGate>()) {}

THIWinExec::~THIWinExec() { Stop(); }

void THIWinExec::doRunCmd(TData& value, uint16_t) {
  // FileName first: when neither part is linked nor set, it takes the event
  // value and the second part is empty.
  const std::string first = ReadString(value, FileNameLink, FileName);
  const std::string second = ReadString(value, ParamsLink, Params);
  auto run = std::make_shared<TRun>();
  run->commandLine = first + " " + second;
  Stop();
  if (!*window_) return;  // no way to deliver events: nothing is started
  if (!kol::NamesAProgram(run->commandLine)) return;
  run->wake.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!run->wake) return;

  run->gate = gate_;
  run->id = gate_->Begin();
  kol::MessageWindow* window = window_.get();
  // Chunks taken so far, counted on this element's thread.
  auto taken = std::make_shared<int>(0);
  run->post.Set([this, window, id = run->id, inFlight = run->inFlight, taken](Stream stream, std::string text) {
    inFlight->fetch_add(1);
    const bool posted = window->Post([this, window, id, stream, text = std::move(text), inFlight, taken] {
      // Past the first few chunks of a run, a chunk counts as taken only
      // once this thread is idle again: the paints it caused and the host's
      // own timers are served before the next one is handed over.
      if (++*taken <= UnpacedChunks || !window->RunWhenIdle([inFlight] { inFlight->fetch_sub(1); }))
        inFlight->fetch_sub(1);
      Deliver(id, stream, text);
    });
    if (!posted) inFlight->fetch_sub(1);
  });
  run_ = run;
  // The worker starts the program: under Wine a process start keeps its
  // caller for tens of milliseconds.
  if (!kol::StartWorker([run = std::move(run)] { Execute(*run); })) {
    Stop();
    return;
  }
  FireNull(onStart);
}

void THIWinExec::doStop(TData&, uint16_t) { Stop(); }

void THIWinExec::Stop() {
  // The worker kills the program at its next pass, or right after its
  // start, and ends on its own.
  StopRun(*gate_, run_);
}

void THIWinExec::Deliver(uint32_t run, Stream stream, const std::string& text) {
  if (!gate_->Accepts(run)) return;
  switch (stream) {
    case Stream::Output: FireString(onOutput, text); break;
    case Stream::Error: FireString(onError, text); break;
    case Stream::End:
      Stop();
      FireNull(onEnd);
      break;
  }
}

}  // namespace hi
