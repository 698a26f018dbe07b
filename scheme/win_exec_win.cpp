#include "scheme/win_exec.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "framework/scope_exit.h"
#include "toolkit/handles.h"
#include "toolkit/message_window.h"
#include "toolkit/platform.h"
#include "toolkit/wide.h"

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
  kol::KernelHandle process;
  kol::KernelHandle job;
  kol::KernelHandle inputWriter;  // never written: a child reading its input waits
  kol::KernelHandle outputReader;
  kol::KernelHandle errorReader;
  // Chunks posted and not yet taken by the element's thread. The callbacks
  // hold it too, since they can outlive the run.
  std::shared_ptr<std::atomic<int>> inFlight = std::make_shared<std::atomic<int>>(0);

  // Worker: hands a chunk to the element's thread, never waiting for that
  // thread; nothing once the element has let go of the run.
  void Post(Stream stream, std::string text) {
    AcquireSRWLockExclusive(&postLock);
    ScopeExit release([this] { ReleaseSRWLockExclusive(&postLock); });
    if (post) post(stream, std::move(text));
  }
  // Element: no chunk is posted from now on (a post under way is finished
  // first: it only queues a message), and the worker stops waiting.
  void LetGo() {
    {
      AcquireSRWLockExclusive(&postLock);
      ScopeExit release([this] { ReleaseSRWLockExclusive(&postLock); });
      post = nullptr;
    }
    SetEvent(wake.get());
  }

  std::function<void(Stream, std::string)> post;
  SRWLOCK postLock = SRWLOCK_INIT;
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

// Held by the worker that is starting its program: one program starts at a
// time in the whole library, and a run stopped while its worker waited for
// its turn starts none. A host flicking through files faster than programs
// start makes no pile of programs starting at once.
SRWLOCK Starting = SRWLOCK_INIT;

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

// PROC_THREAD_ATTRIBUTE_JOB_LIST, from Windows 10 on; the build targets
// Windows 7, whose headers do not name it.
constexpr DWORD_PTR JobListAttribute = 0x0002000D;

// The child's three ends as the only handles it inherits, and its job from
// its first moment, where the system offers these attributes.
class StartAttributes {
 public:
  StartAttributes(HANDLE a, HANDLE b, HANDLE c, HANDLE job) : handles_{a, b, c}, job_(job) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 2, 0, &size);
    if (size == 0) return;
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, 2, 0, &size)) return;
    initialised_ = true;
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_, sizeof handles_, nullptr,
                                   nullptr))
      return;
    list_ = list;
    // Without it the job is joined after the start (a host that ends right
    // then leaves the program outside it).
    if (job_) UpdateProcThreadAttribute(list, 0, JobListAttribute, &job_, sizeof job_, nullptr, nullptr);
  }
  StartAttributes(const StartAttributes&) = delete;
  StartAttributes& operator=(const StartAttributes&) = delete;
  ~StartAttributes() {
    if (initialised_) DeleteProcThreadAttributeList(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data()));
  }
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  HANDLE handles_[3];
  HANDLE job_;
  std::vector<char> storage_;
  bool initialised_ = false;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// Starts the command line suspended, its standard handles on the pipes.
bool StartSuspended(const std::string& commandLine, HANDLE input, HANDLE output, HANDLE error, HANDLE job,
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

  StartAttributes inherit(input, output, error, job);
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
kol::KernelHandle KillOnCloseJob() {
  kol::KernelHandle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) job.reset();
  return job;
}

// Puts the process in the job unless it started in it; false when it is
// in none.
bool InJob(HANDLE job, HANDLE process) {
  BOOL in = FALSE;
  if (IsProcessInJob(process, job, &in) && in) return true;
  return AssignProcessToJobObject(job, process) != 0;
}

// Whether CreateProcess would find a program file for the command line: its
// quoted first part, or else any of its beginnings up to a blank, tried as
// CreateProcess tries them. Looked up on the element's thread, so that a
// missing program is known at once; starting a found one is the worker's.
bool NamesAProgram(const std::string& commandLine) {
  const std::wstring line = kol::Wide(commandLine);
  auto isProgram = [](const std::wstring& name) {
    if (name.empty()) return false;
    std::vector<wchar_t> path(MAX_PATH);
    DWORD length = SearchPathW(nullptr, name.c_str(), L".exe", DWORD(path.size()), path.data(), nullptr);
    if (length >= path.size()) {
      path.resize(length);
      length = SearchPathW(nullptr, name.c_str(), L".exe", DWORD(path.size()), path.data(), nullptr);
    }
    if (length == 0 || length >= path.size()) return false;
    const DWORD attributes = GetFileAttributesW(path.data());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  };
  if (!line.empty() && line[0] == L'"') {
    const size_t close = line.find(L'"', 1);
    return isProgram(line.substr(1, close == std::wstring::npos ? close : close - 1));
  }
  for (size_t blank = line.find_first_of(L" \t");; blank = line.find_first_of(L" \t", blank + 1)) {
    if (isProgram(line.substr(0, blank))) return true;
    if (blank == std::wstring::npos) return false;
  }
}

// Starts the run's program with its standard streams on new pipes; false
// when it could not be started. Stopped before it runs when the element let
// go of the run meanwhile.
bool StartProgram(THIWinExec::TRun& run) {
  kol::KernelHandle inputReader, outputWriter, errorWriter;
  if (!MakePipe(inputReader, run.inputWriter) || !MakePipe(run.outputReader, outputWriter) ||
      !MakePipe(run.errorReader, errorWriter))
    return false;
  for (HANDLE own : {run.inputWriter.get(), run.outputReader.get(), run.errorReader.get()})
    SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
  run.job = KillOnCloseJob();
  PROCESS_INFORMATION pi = {};
  if (!StartSuspended(run.commandLine, inputReader.get(), outputWriter.get(), errorWriter.get(), run.job.get(), pi))
    return false;
  run.process.reset(pi.hProcess);
  kol::ThreadHandle primary(pi.hThread);
  if (run.job && !InJob(run.job.get(), pi.hProcess)) run.job.reset();
  if (run.gate->Live(run.id)) ResumeThread(primary.get());
  // The pipes report broken once the child, their only other holder, ends.
  return true;
}

}  // namespace

// One polling pass after another until the run is stopped or a pipe
// breaks; true when a pipe broke (the program ended by itself).
static bool PollPipes(THIWinExec::TRun& run) {
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
  if (run.process) TerminateProcess(run.process.get(), 0);
  // A program that ended by itself (or could not start at all) ends the run
  // unless the element is stopping it at this moment.
  if (ended && run.gate->End(run.id)) run.Post(THIWinExec::Stream::End, std::string());
}

namespace {

// What a worker is handed: its run, and a reference to this library that
// keeps the library's code loaded until the worker is through with it.
struct WorkerStart {
  std::shared_ptr<THIWinExec::TRun> run;
  HMODULE library = nullptr;
};

DWORD WINAPI WorkerMain(LPVOID param) {
  HMODULE library = nullptr;
  {
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(param));
    library = start->library;
    GuardedRun([&] { Execute(*start->run); });
    // The run goes here when the element has let go of it: its job kills
    // whatever the program started, its pipes close.
  }
  // A host may have unloaded the library meanwhile: its last reference is
  // given back by a call that never returns into its code.
  if (library) FreeLibraryAndExitThread(library, 0);
  return 0;
}

}  // namespace

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
  if (!NamesAProgram(run->commandLine)) return;
  run->wake.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!run->wake) return;

  run->gate = gate_;
  run->id = gate_->Begin();
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
  auto start = std::make_unique<WorkerStart>();
  start->run = run;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WorkerMain), &start->library);
  run_ = std::move(run);
  // The worker starts the program: under Wine a process start keeps its
  // caller for tens of milliseconds.
  kol::ThreadHandle worker(CreateThread(nullptr, WorkerStack, &WorkerMain, start.get(), 0, nullptr));
  if (!worker) {
    if (start->library) FreeLibrary(start->library);
    Stop();
    return;
  }
  start.release();  // the worker's now
  FireNull(onStart);
}

void THIWinExec::doStop(TData&, uint16_t) { Stop(); }

void THIWinExec::Stop() {
  if (!run_) return;
  // The worker kills the program at its next pass, or right after its
  // start, and ends on its own; nothing here waits for it.
  gate_->End(run_->id);
  run_->LetGo();
  run_.reset();
  gate_->Release();
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
