#include "scheme/win_exec.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "toolkit/handles.h"
#include "toolkit/message_window.h"
#include "toolkit/platform.h"
#include "toolkit/wide.h"

namespace hi {

// Everything one started program needs. The worker uses only this record
// (never the element), and the element releases it only after the worker
// has ended.
struct THIWinExec::TRun {
  uint32_t id = TRunGate::NoRun;
  TRunGate* gate = nullptr;
  kol::KernelHandle process;
  kol::KernelHandle job;
  kol::KernelHandle inputWriter;  // never written: a child reading its input waits
  kol::KernelHandle outputReader;
  kol::KernelHandle errorReader;
  kol::ThreadHandle worker;
  DWORD workerId = 0;
  // Hands a chunk to the element's thread; never waits for that thread.
  std::function<void(Stream, std::string)> post;
  // Chunks posted and not yet taken by the element's thread. The callbacks
  // hold it too, since they can outlive the run.
  std::shared_ptr<std::atomic<int>> inFlight = std::make_shared<std::atomic<int>>(0);
};

namespace {

constexpr DWORD ChunkSize = 1024;
constexpr DWORD NewConsoleNormalPriority = CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS;
constexpr SIZE_T WorkerStack = 1024;
// A program that writes faster than the element's thread takes its chunks
// waits on its full pipe instead of growing that thread's message queue or
// keeping it busy: each chunk costs that thread a probe for the thumbnail,
// so one chunk at a time is handed over.
constexpr int MaxChunksInFlight = 1;
// The archiver's whole report of one extraction fits in these at once;
// only a program that goes on writing has its chunks paced.
constexpr int UnpacedChunks = 8;

bool MakePipe(kol::KernelHandle& reader, kol::KernelHandle& writer) {
  SECURITY_ATTRIBUTES sa = {};
  sa.nLength = sizeof sa;
  sa.lpSecurityDescriptor = nullptr;
  sa.bInheritHandle = TRUE;
  HANDLE r = nullptr, w = nullptr;
  if (!CreatePipe(&r, &w, &sa, 0)) return false;
  reader.reset(r);
  writer.reset(w);
  return true;
}

// The child's three ends as the only handles it inherits, where the system
// offers an explicit list.
class InheritList {
 public:
  explicit InheritList(HANDLE a, HANDLE b, HANDLE c) : handles_{a, b, c} {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return;
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    initialised_ = true;
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_, sizeof handles_, nullptr,
                                  nullptr))
      list_ = list;
  }
  InheritList(const InheritList&) = delete;
  InheritList& operator=(const InheritList&) = delete;
  ~InheritList() {
    if (initialised_) DeleteProcThreadAttributeList(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data()));
  }
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  HANDLE handles_[3];
  std::vector<char> storage_;
  bool initialised_ = false;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// Starts the command line suspended, its standard handles on the pipes.
bool StartSuspended(const std::string& commandLine, HANDLE input, HANDLE output, HANDLE error,
                    PROCESS_INFORMATION& pi) {
  STARTUPINFOEXW si = {};
  si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.StartupInfo.wShowWindow = SW_HIDE;
  si.StartupInfo.hStdInput = input;
  si.StartupInfo.hStdOutput = output;
  si.StartupInfo.hStdError = error;
  // The archiver reads its command line in UTF-16; so the names in it reach
  // it whole, whatever code page the system has.
  const std::wstring wide = kol::Wide(commandLine);
  std::vector<wchar_t> line(wide.begin(), wide.end());
  line.push_back(L'\0');
  const DWORD flags = NewConsoleNormalPriority | CREATE_SUSPENDED;

  InheritList inherit(input, output, error);
  if (inherit.get() != nullptr) {
    si.StartupInfo.cb = sizeof si;
    si.lpAttributeList = inherit.get();
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                       nullptr, &si.StartupInfo, &pi))
      return true;
    const DWORD why = GetLastError();
    if (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND || why == ERROR_BAD_EXE_FORMAT) return false;
  }
  // Without the explicit list: the element's own ends are not inheritable,
  // so the child still gets only its three ends of these pipes.
  si.StartupInfo.cb = sizeof(STARTUPINFOW);
  si.lpAttributeList = nullptr;
  line.assign(wide.begin(), wide.end());
  line.push_back(L'\0');
  return CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &si.StartupInfo, &pi) !=
         0;
}

// A job that kills the program when its last handle closes, so no program
// outlives its host even when the host dies. None when the system refuses.
kol::KernelHandle KillOnCloseJob(HANDLE process) {
  kol::KernelHandle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
      !AssignProcessToJobObject(job.get(), process))
    job.reset();
  return job;
}

}  // namespace

// One polling pass after another until the run is stopped or a pipe breaks.
static void PollPipes(THIWinExec::TRun& run) {
  kol::KernelHandle sleeper(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  std::vector<char> buffer(ChunkSize);
  bool ended = false;
  bool draining = false;
  // The error stream is served first in every pass.
  const std::pair<HANDLE, int> streams[2] = {{run.errorReader.get(), 1}, {run.outputReader.get(), 0}};
  while (!ended && run.gate->Live(run.id)) {
    bool idle = true;
    for (const auto& s : streams) {
      // After a full batch the element's thread takes all of it, and then
      // finds its queue empty for a moment, so its input and timers are
      // served between batches. Checked per stream, so one pass over both
      // streams never hands over more than the batch.
      while ((draining || run.inFlight->load() >= MaxChunksInFlight) && run.gate->Live(run.id)) {
        draining = run.inFlight->load() > 0;
        WaitForSingleObject(sleeper.get(), 1);
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
        run.post(s.second ? THIWinExec::Stream::Error : THIWinExec::Stream::Output, ChunkText(buffer.data(), got));
    }
    if (idle) WaitForSingleObject(sleeper.get(), 1);
  }
  // The program ended by itself (or closed its pipes): end the run unless
  // the element is stopping it at this moment.
  if (ended && run.gate->End(run.id)) {
    TerminateProcess(run.process.get(), 0);
    run.post(THIWinExec::Stream::End, std::string());
  }
}

static DWORD WINAPI WorkerMain(LPVOID param) {
  auto* run = static_cast<THIWinExec::TRun*>(param);
  GuardedRun([run] { PollPipes(*run); });
  return 0;
}

THIWinExec::THIWinExec() : window_(std::make_unique<kol::MessageWindow>()) {}

THIWinExec::~THIWinExec() { Stop(); }

void THIWinExec::doRunCmd(TData& value, uint16_t) {
  // FileName first: when neither part is linked nor set, it takes the event
  // value and the second part is empty.
  const std::string first = ReadString(value, FileNameLink, FileName);
  const std::string second = ReadString(value, ParamsLink, Params);
  const std::string commandLine = first + " " + second;
  Stop();
  if (!*window_) return;  // no way to deliver events: nothing is started

  auto run = std::make_unique<TRun>();
  kol::KernelHandle inputReader, outputWriter, errorWriter;
  if (!MakePipe(inputReader, run->inputWriter) || !MakePipe(run->outputReader, outputWriter) ||
      !MakePipe(run->errorReader, errorWriter))
    return;
  for (HANDLE own : {run->inputWriter.get(), run->outputReader.get(), run->errorReader.get()})
    SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);

  PROCESS_INFORMATION pi = {};
  if (!StartSuspended(commandLine, inputReader.get(), outputWriter.get(), errorWriter.get(), pi)) return;
  run->process.reset(pi.hProcess);
  kol::ThreadHandle primary(pi.hThread);
  run->job = KillOnCloseJob(pi.hProcess);
  ResumeThread(primary.get());
  // The pipes report broken once the child, their only other holder, ends.
  inputReader.reset();
  outputWriter.reset();
  errorWriter.reset();

  run->gate = &gate_;
  run->id = gate_.Begin();
  kol::MessageWindow* window = window_.get();
  // Chunks taken so far, counted on this element's thread.
  auto taken = std::make_shared<int>(0);
  run->post = [this, window, id = run->id, inFlight = run->inFlight, taken](Stream stream, std::string text) {
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
  };
  run_ = std::move(run);
  DWORD workerId = 0;
  run_->worker.reset(CreateThread(nullptr, WorkerStack, &WorkerMain, run_.get(), 0, &workerId));
  if (!run_->worker) {
    Stop();
    return;
  }
  run_->workerId = workerId;
  FireNull(onStart);
}

void THIWinExec::doStop(TData&, uint16_t) { Stop(); }

void THIWinExec::Stop() {
  if (!run_) return;
  // Only one of the element and the worker kills the program.
  if (gate_.End(run_->id)) TerminateProcess(run_->process.get(), 0);
  // The worker ends at its next pass and never waits for this thread.
  if (run_->worker) WaitForSingleObject(run_->worker.get(), INFINITE);
  run_.reset();
  gate_.Release();
}

void THIWinExec::Deliver(uint32_t run, Stream stream, const std::string& text) {
  if (!gate_.Accepts(run)) return;
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
