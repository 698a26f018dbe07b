// What the elements that run an external program share: starting it
// hidden with its standard streams on pipes and inside a job of its own,
// finding its program file, and the worker thread that does this away from
// the element's thread while holding the library loaded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "framework/scope_exit.h"
#include "toolkit/handles.h"

namespace kol {

// Limits of a child's job beyond killing it when the job's last handle
// closes; 0 leaves a limit out.
struct JobLimits {
  uint64_t processMemoryBytes = 0;  // committed memory of the process
  uint32_t processCpuMs = 0;        // user-mode processor time of the process
};

// A started child: its process, its job (none when the system refused one)
// and this side's ends of its three pipes.
struct ChildProcess {
  KernelHandle process;
  KernelHandle job;
  KernelHandle inputWriter;  // never written: a child reading its input waits
  KernelHandle outputReader;
  KernelHandle errorReader;
};

// Starts the command line with its standard streams on new pipes, in a job
// with the limits, with the creation flags (console and priority). The
// child runs only when resume() says so once it is in its job; otherwise it
// is left suspended, for its job to end. False when it could not start.
bool StartChild(const std::string& commandLine, DWORD creationFlags, const JobLimits& limits,
                const std::function<bool()>& resume, ChildProcess& child);

// Whether CreateProcess would find a program file for the command line: its
// quoted first part, or else any of its beginnings up to a blank, tried as
// CreateProcess tries them.
bool NamesAProgram(const std::string& commandLine);

// Runs work on a new thread that holds a reference to this library until
// the work and everything it captured are gone, so a host may unload the
// library meanwhile. False when no thread could be made.
bool StartWorker(std::function<void()> work);

// A callback that a worker calls to reach its owner and that the owner can
// revoke at any moment: a call under way is finished first, none is made
// after.
template <class... Args>
class RevocableCall {
 public:
  RevocableCall() = default;
  RevocableCall(const RevocableCall&) = delete;
  RevocableCall& operator=(const RevocableCall&) = delete;

  void Set(std::function<void(Args...)> call) {
    AcquireSRWLockExclusive(&lock_);
    hi::ScopeExit release([this] { ReleaseSRWLockExclusive(&lock_); });
    call_ = std::move(call);
  }
  void Call(Args... args) {
    AcquireSRWLockExclusive(&lock_);
    hi::ScopeExit release([this] { ReleaseSRWLockExclusive(&lock_); });
    if (call_) call_(std::move(args)...);
  }
  void Revoke() { Set(nullptr); }

 private:
  std::function<void(Args...)> call_;
  SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace kol
