// Runs docrender.exe for the viewer and hands its picture over as a bitmap.
//
// A worker thread per run starts the renderer hidden, in a job with memory
// and processor-time limits, reads its standard streams with a bound, kills
// it at the time limit, checks and reads its BMP and removes the file; the
// element's thread never waits for a process or a file, it only turns the
// checked rows into a bitmap. At most one renderer of an element runs at
// any moment: a run's worker starts its process only once the previous
// run's process is dead and its file removed. Results of a stopped run are
// dropped. A worker holds a reference to the library until it has ended, so
// a host may unload it at any time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/data.h"
#include "framework/object.h"
#include "scheme/run_gate.h"

namespace kol {
class MessageWindow;
}

namespace hi {

class TBitmapObject;

// Why a run gave no picture (onFailed's integer).
enum TRenderFailure : int32_t {
  render_no_program = 1,  // docrender.exe is not in the folder (nothing was started)
  render_start = 2,       // it could not be started (a request no run can serve included)
  render_exit = 3,        // it ended with an exit code other than 0, or crashed
  render_time = 4,        // killed at the time limit
  render_output = 5,      // it wrote more to its standard streams than any run needs (killed)
  render_file = 6,        // its picture is missing, larger than the request, truncated or not its BMP
};

class THIDocRender : public TObject {
 public:
  // On the thread whose message loop delivers the events.
  THIDocRender();
  // Stops the run, never waits for it.
  ~THIDocRender() override;

  bool Enabled = true;  // off: doRender starts nothing
  std::string ProgramName = "docrender.exe";
  std::string Tag;                          // makes the output file's name unique per viewer window
  int32_t Page = 1, Width = 0, Height = 0;  // defaults when the request links are empty
  // The largest document known renders in 2.5 s and typical ones in under
  // 0.1 s; six times the largest leaves room for slower machines and Wine,
  // and a viewer waiting longer than this serves its user worse than a
  // failure notice.
  uint32_t TimeLimitMs = 15000;

  TEventLink FolderLink;                       // data: the program's folder, without a trailing backslash
  TEventLink TempLink;                         // data: the temporary folder with its trailing backslash
  TEventLink FileNameLink;                     // data: the document, UTF-8
  TEventLink PageLink, WidthLink, HeightLink;  // data: the request; page from 1, box in device pixels
  TEventLink onPages;                          // integer: the document's page count, fired right before onRendered
  // bitmap: the page, no larger than the box, valid during the event: a
  // receiver keeps its own copy, and the rows go once the event is through
  // (a zoomed page is tens of megabytes in the file manager's memory).
  TEventLink onRendered;
  TEventLink onFailed;  // integer: a TRenderFailure

  // Stops the run before, then renders the request into
  // <temp>_tc\render-<Tag>.bmp. A missing program fails at once.
  void doRender(TData& value, uint16_t index);
  // Stops the run: its worker kills the process, its late results are
  // dropped, its output file is removed.
  void doStop(TData& value, uint16_t index);

  // The state of one run, shared with its worker.
  struct TRun;
  // What a worker hands back: a failure, or the checked picture.
  struct TResult;
  // Held by the worker whose process may be alive, and its file there.
  struct TSlot;

 private:
  void Stop();
  void Deliver(uint32_t run, TResult& result);

  std::unique_ptr<kol::MessageWindow> window_;
  // Shared with the workers, which may outlive the element.
  std::shared_ptr<TRunGate> gate_;
  std::shared_ptr<TSlot> slot_;
  std::shared_ptr<TRun> run_;
  std::string outputFile_;  // of the current run
};

}  // namespace hi
