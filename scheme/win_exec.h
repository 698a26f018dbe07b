// Starts an external console program with its standard streams on pipes and
// turns what it writes into events.
//
// A worker thread per run starts the program, polls its pipes and kills it
// when the run is stopped; the element's thread never waits for a process
// to start or to end, nor for the worker. The worker hands every chunk,
// tagged with its run, to a message-only window of the element's thread, so
// onOutput, onError and onEnd fire on the thread that created the element,
// in the order the chunks were read, and no element is used by two threads.
// Chunks of a run that was stopped are dropped. A worker holds a reference
// to the library until it has ended, so a host may unload it at any time.
#pragma once

#include <memory>
#include <string>

#include "framework/data.h"
#include "framework/object.h"
#include "scheme/run_gate.h"

namespace kol {
class MessageWindow;
}

namespace hi {

class THIWinExec : public TObject {
 public:
  // Must be created on the thread whose message loop delivers its events.
  THIWinExec();
  ~THIWinExec() override;

  std::string Params;    // default for the second part of the command line
  std::string FileName;  // default for the first part
  TEventLink ParamsLink;
  TEventLink FileNameLink;
  TEventLink onStart;   // a program file was found and its start handed to the worker
  TEventLink onOutput;  // a chunk of its standard output, as a String
  TEventLink onError;   // a chunk of its standard error, as a String
  TEventLink onEnd;     // the program ended by itself (or, found, could not start)

  // Stops the run before, then starts "FileName Params" when the program
  // file is found where CreateProcess would look for it.
  void doRunCmd(TData& value, uint16_t index);
  // Stops the run before: its program is killed by its worker at once, its
  // pending chunks are dropped.
  void doStop(TData& value, uint16_t index);

  // The state of one started program, shared with its worker.
  struct TRun;
  enum class Stream { Output, Error, End };

 private:
  void Stop();
  void Deliver(uint32_t run, Stream stream, const std::string& text);

  std::unique_ptr<kol::MessageWindow> window_;
  // Shared with the workers, which may outlive the element.
  std::shared_ptr<TRunGate> gate_;
  std::shared_ptr<TRun> run_;
};

}  // namespace hi
