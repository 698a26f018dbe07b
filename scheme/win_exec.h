// Starts an external console program with its standard streams on pipes and
// turns what it writes into events.
//
// A worker thread per started program polls the pipes; it hands every chunk,
// tagged with its run, to a message-only window of the element's thread, so
// onOutput, onError and onEnd fire on the thread that created the element,
// in the order the chunks were read, and no element is used by two threads.
// Chunks of a run that was stopped are dropped.
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
  TEventLink onStart;   // a program was started
  TEventLink onOutput;  // a chunk of its standard output, as a String
  TEventLink onError;   // a chunk of its standard error, as a String
  TEventLink onEnd;     // the program ended by itself

  // Kills the program started before, then starts "FileName Params".
  void doRunCmd(TData& value, uint16_t index);
  // Kills the program started before, if it still runs; its pending chunks
  // are dropped.
  void doStop(TData& value, uint16_t index);

  // The state of one started program, shared with its worker.
  struct TRun;
  enum class Stream { Output, Error, End };

 private:
  void Stop();
  void Deliver(uint32_t run, Stream stream, const std::string& text);

  std::unique_ptr<kol::MessageWindow> window_;
  TRunGate gate_;
  std::unique_ptr<TRun> run_;
};

}  // namespace hi
