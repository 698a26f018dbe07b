#include "scheme/doc_render.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "framework/scope_exit.h"
#include "imaging/bitmap.h"
#include "scheme/doc_render_reply.h"
#include "toolkit/child_process.h"
#include "toolkit/files_win.h"
#include "toolkit/handles.h"
#include "toolkit/message_window.h"
#include "toolkit/paths.h"
#include "toolkit/wide.h"

namespace hi {
namespace {

// docrender's own limits allow a 256 MiB surface (64 Mi pixels) and a
// display list of 20 million path points beside the document's bytes and
// the interpreter's tree; a process that commits more than this is past
// what a viewer should show, and the host keeps its memory.
constexpr uint64_t RendererMemoryBytes = uint64_t(1) << 30;
// docrender writes one line, or one message; more is a program misbehaving.
constexpr size_t StreamBound = 64 * 1024;
// docrender stops itself at its --time-limit and its watchdog a second
// later; the worker's kill at TimeLimitMs comes after both.
constexpr uint32_t OwnLimitMarginMs = 2000;
constexpr uint32_t LeastOwnLimitMs = 500;
// How long a killed process may take to be gone before the next run of the
// element starts its own; its job ends it too once the run lets go.
constexpr DWORD KillWaitMs = 5000;
constexpr DWORD PollMs = 10;
constexpr DWORD NoWindowNormalPriority = CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS;

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Seconds with three decimals, as docrender's --time-limit takes them.
std::string SecondsText(uint32_t ms) {
  std::string fraction = std::to_string(1000 + ms % 1000);
  return std::to_string(ms / 1000) + "." + fraction.substr(1);
}

// An integer request: the link's answer, or the default when it is empty.
int32_t ReadRequest(const TEventLink& link, int32_t def) {
  TData none, fallback, result;
  MakeInteger(fallback, def);
  ReadData(none, link, &fallback, result);
  return ToInteger(result);
}

void RemoveFile(const std::string& name) { DeleteFileW(kol::Wide(name).c_str()); }

}  // namespace

struct THIDocRender::TSlot {
  // An auto-reset event, set while no process of the element is alive.
  kol::KernelHandle vacant{CreateEventW(nullptr, FALSE, TRUE, nullptr)};
};

struct THIDocRender::TResult {
  int32_t failure = 0;  // a TRenderFailure, or 0 with the picture below
  int32_t pages = 0, width = 0, height = 0;
  std::shared_ptr<uint8_t> rows;  // the checked BMP's rows (AllocRows)
};

// Everything one run needs, shared by the element and the worker. The
// worker uses only this record (never the element).
struct THIDocRender::TRun {
  uint32_t id = TRunGate::NoRun;
  std::shared_ptr<TRunGate> gate;
  std::shared_ptr<TSlot> slot;
  std::string commandLine;
  std::string folder;  // <temp>_tc
  std::string outputFile;
  int32_t boxWidth = 0, boxHeight = 0;
  uint32_t timeLimitMs = 0;
  // Set once the element lets go of the run: the worker's waits end.
  kol::KernelHandle wake;
  kol::ChildProcess child;
  kol::RevocableCall<TResult> post;

  bool Live() const { return gate->Live(id); }
  // Element: nothing is posted from now on, and the worker stops waiting.
  void LetGo() {
    post.Revoke();
    SetEvent(wake.get());
  }
};

namespace {

using TRun = THIDocRender::TRun;
using TResult = THIDocRender::TResult;

// Reads what waits in the pipe; output keeps it when given. False once
// the streams together passed the bound.
bool Drain(HANDLE pipe, std::string* output, size_t& total) {
  char buffer[4096];
  for (;;) {
    DWORD waiting = 0, got = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) return true;
    if (!ReadFile(pipe, buffer, std::min<DWORD>(waiting, sizeof buffer), &got, nullptr) || got == 0) return true;
    if (output) output->append(buffer, got);
    total += got;
    if (total > StreamBound) return false;
  }
}

enum class TEnd { exited, stopped, time, output };

// Reads the streams until the process ends, the run is stopped, the time is
// up or the streams pass their bound.
TEnd Watch(TRun& run, std::string& output) {
  const ULONGLONG deadline = GetTickCount64() + run.timeLimitMs;
  const HANDLE waits[2] = {run.wake.get(), run.child.process.get()};
  size_t total = 0;
  for (;;) {
    if (!Drain(run.child.outputReader.get(), &output, total) || !Drain(run.child.errorReader.get(), nullptr, total))
      return TEnd::output;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return TEnd::time;
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, DWORD(std::min<ULONGLONG>(PollMs, deadline - now)));
    if (woke == WAIT_OBJECT_0 || !run.Live()) return TEnd::stopped;
    if (woke == WAIT_OBJECT_0 + 1) {
      // What it wrote last is still in the pipes.
      const bool within =
          Drain(run.child.outputReader.get(), &output, total) && Drain(run.child.errorReader.get(), nullptr, total);
      return within ? TEnd::exited : TEnd::output;
    }
  }
}

bool ReadExactly(HANDLE file, uint8_t* into, size_t count) {
  for (size_t done = 0; done < count;) {
    DWORD got = 0;
    const DWORD ask = DWORD(std::min<size_t>(count - done, size_t(1) << 30));
    if (!ReadFile(file, into + done, ask, &got, nullptr) || got == 0) return false;
    done += got;
  }
  return true;
}

// Reads the picture's rows once its size and header are docrender's BMP
// within the box: a larger file is refused before anything is read.
bool ReadPicture(const TRun& run, TResult& result) {
  kol::KernelHandle file(CreateFileW(kol::Wide(run.outputFile).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size = {};
  uint8_t head[RenderBmpHeaderBytes];
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < RenderBmpHeaderBytes ||
      size.QuadPart > RenderBmpBound(run.boxWidth, run.boxHeight) || !ReadExactly(file.get(), head, sizeof head) ||
      !CheckRenderBmp(head, uint64_t(size.QuadPart), run.boxWidth, run.boxHeight, result.width, result.height))
    return false;
  const size_t rows = size_t(size.QuadPart - RenderBmpHeaderBytes);
  result.rows.reset(AllocRows(int64_t(rows)), &std::free);
  return result.rows && ReadExactly(file.get(), result.rows.get(), rows);
}

// Starts the renderer, watches it and takes its picture. Whatever happens,
// the process is dead (or given up on) and its file removed on return.
TResult Render(TRun& run) {
  TResult result;
  ScopeExit remove([&run] { RemoveFile(run.outputFile); });
  if (!run.Live()) return result;
  CreateDirectoryW(kol::Wide(run.folder).c_str(), nullptr);
  // A processor time equal to the wall-clock limit: docrender draws on one
  // thread, so it never stops a run the wall clock would let finish, and it
  // still holds when the worker cannot kill.
  kol::JobLimits limits;
  limits.processMemoryBytes = RendererMemoryBytes;
  limits.processCpuMs = run.timeLimitMs;
  if (!kol::StartChild(
          run.commandLine, NoWindowNormalPriority, limits, [&run] { return run.Live(); }, run.child)) {
    result.failure = render_start;
    return result;
  }
  ScopeExit kill([&run] {
    TerminateProcess(run.child.process.get(), 1);
    WaitForSingleObject(run.child.process.get(), KillWaitMs);
  });
  std::string output;
  switch (Watch(run, output)) {
    case TEnd::stopped: return result;
    case TEnd::time: result.failure = render_time; return result;
    case TEnd::output: result.failure = render_output; return result;
    case TEnd::exited: break;
  }
  DWORD code = 1;
  int32_t page = 0;
  // Without its report line it is not a finished run of docrender either.
  if (!GetExitCodeProcess(run.child.process.get(), &code) || code != 0 ||
      !ParseRenderReport(output, page, result.pages)) {
    result.failure = render_exit;
    return result;
  }
  if (!ReadPicture(run, result)) {
    result.rows.reset();
    result.failure = render_file;
  }
  return result;
}

// The worker's whole life: its turn in the element's slot, the run, the
// result to the element's thread unless the run was stopped.
void Execute(TRun& run) {
  const HANDLE turn[2] = {run.wake.get(), run.slot->vacant.get()};
  if (WaitForMultipleObjects(2, turn, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
  TResult result;
  {
    ScopeExit release([&run] { SetEvent(run.slot->vacant.get()); });
    result = Render(run);
  }
  if (run.gate->End(run.id)) run.post.Call(std::move(result));
}

}  // namespace

THIDocRender::THIDocRender()
    : window_(std::make_unique<kol::MessageWindow>()),
      gate_(std::make_shared<TRunGate>()),
      slot_(std::make_shared<TSlot>()) {}

THIDocRender::~THIDocRender() { Stop(); }

void THIDocRender::doRender(TData& value, uint16_t) {
  if (!Enabled) return;
  TData none;
  const std::string folder = ReadString(none, FolderLink, std::string());
  const std::string temp = ReadString(none, TempLink, std::string());
  const std::string document = ReadString(value, FileNameLink, std::string());
  const int32_t page = ReadRequest(PageLink, Page);
  const int32_t width = ReadRequest(WidthLink, Width), height = ReadRequest(HeightLink, Height);
  Stop();
  const std::string program = folder + "\\" + ProgramName;
  if (!kol::FileExists(program)) {
    FireInteger(onFailed, render_no_program);
    return;
  }
  auto run = std::make_shared<TRun>();
  run->folder = temp + "_tc";
  run->outputFile = run->folder + "\\render-" + Tag + ".bmp";
  run->boxWidth = width;
  run->boxHeight = height;
  run->timeLimitMs = TimeLimitMs;
  run->wake.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  // A name no file can have would also break the command line's quotes.
  if (!*window_ || !slot_->vacant || !run->wake || page < 1 || RenderBmpBound(width, height) < 0 ||
      kol::NamesNoFile(document) || kol::NamesNoFile(run->outputFile)) {
    FireInteger(onFailed, render_start);
    return;
  }
  const uint32_t ownLimit =
      std::max(LeastOwnLimitMs, TimeLimitMs > OwnLimitMarginMs ? TimeLimitMs - OwnLimitMarginMs : 0);
  run->commandLine = Quoted(program) + " " + Quoted(document) + " " + Quoted(run->outputFile) + " --size " +
                     std::to_string(width) + "x" + std::to_string(height) + " --page " + std::to_string(page) +
                     " --area content --background white --time-limit " + SecondsText(ownLimit);
  run->gate = gate_;
  run->slot = slot_;
  run->id = gate_->Begin();
  kol::MessageWindow* window = window_.get();
  run->post.Set([this, window, id = run->id](TResult result) {
    window->Post([this, id, result = std::move(result)]() mutable { Deliver(id, result); });
  });
  run_ = run;
  outputFile_ = run->outputFile;
  if (!kol::StartWorker([run = std::move(run)] { Execute(*run); })) {
    Stop();
    FireInteger(onFailed, render_start);
  }
}

void THIDocRender::doStop(TData&, uint16_t) { Stop(); }

void THIDocRender::Stop() {
  // The worker kills the process at once, removes the file once the
  // process is dead and ends on its own. A file the process has closed
  // already goes now; a run its worker ended has none left.
  if (StopRun(*gate_, run_)) RemoveFile(outputFile_);
}

void THIDocRender::Deliver(uint32_t run, TResult& result) {
  if (!gate_->Accepts(run)) return;
  Stop();
  if (result.failure != 0) {
    FireInteger(onFailed, result.failure);
    return;
  }
  // The bitmap is a view of the rows where the worker read them, 32 bits a
  // pixel bottom-up, the form GDI paints without converting: this thread
  // copies only the header. The rows live as long as the bitmap here.
  std::shared_ptr<uint8_t> rows = std::move(result.rows);
  auto bitmap = std::make_unique<TBitmapObject>();
  std::unique_ptr<TBitmapInfoHeader, void (*)(void*)> header(AllocHeaderBlock(), &std::free);
  if (header) {
    *header = TBitmapInfoHeader{40, result.width, result.height, 1, 32, 0, 0, 0, 0, 0, 0};
    bitmap->ViewLentRows(header.get(), rows.get(), result.width, result.height);
  }
  if (bitmap->IsEmpty()) {
    FireInteger(onFailed, render_file);
    return;
  }
  FireInteger(onPages, result.pages);
  FireBitmap(onRendered, bitmap.get());
  // The bitmap views the rows: it goes first.
  bitmap.reset();
}

}  // namespace hi
