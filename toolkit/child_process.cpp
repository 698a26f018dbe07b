#include "toolkit/child_process.h"

#include <memory>
#include <vector>

#include "toolkit/platform.h"
#include "toolkit/wide.h"

namespace kol {
namespace {

constexpr SIZE_T WorkerStack = 1024;

bool MakePipe(KernelHandle& reader, KernelHandle& writer) {
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
bool StartSuspended(const std::string& commandLine, DWORD creationFlags, HANDLE input, HANDLE output, HANDLE error,
                    HANDLE job, PROCESS_INFORMATION& pi) {
  STARTUPINFOEXW si = {};
  si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.StartupInfo.wShowWindow = SW_HIDE;
  si.StartupInfo.hStdInput = input;
  si.StartupInfo.hStdOutput = output;
  si.StartupInfo.hStdError = error;
  // The programs read their command line in UTF-16; so the names in it
  // reach them whole, whatever code page the system has.
  const std::wstring wide = Wide(commandLine);
  std::vector<wchar_t> line(wide.begin(), wide.end());
  line.push_back(L'\0');
  const DWORD flags = creationFlags | CREATE_SUSPENDED;

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

bool SetJobLimits(HANDLE job, DWORD flags, const JobLimits& limits) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION info = {};
  info.BasicLimitInformation.LimitFlags = flags;
  info.ProcessMemoryLimit = SIZE_T(limits.processMemoryBytes);
  // In units of 100 ns.
  info.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart = LONGLONG(limits.processCpuMs) * 10000;
  return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info) != 0;
}

// A job that kills the program when its last handle closes, so no program
// outlives its host even when the host dies, with the limits where the
// system takes them. None when the system refuses a job.
KernelHandle KillOnCloseJob(const JobLimits& limits) {
  KernelHandle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  DWORD flags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (limits.processMemoryBytes != 0 && SIZE_T(limits.processMemoryBytes) == limits.processMemoryBytes)
    flags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
  if (limits.processCpuMs != 0) flags |= JOB_OBJECT_LIMIT_PROCESS_TIME;
  // A system that refuses the limits still gets the kill on close.
  if (!SetJobLimits(job.get(), flags, limits) &&
      (flags == JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE ||
       !SetJobLimits(job.get(), JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE, JobLimits())))
    job.reset();
  return job;
}

// Puts the process in the job unless it started in it; false when it is
// in none.
bool InJob(HANDLE job, HANDLE process) {
  BOOL in = FALSE;
  if (IsProcessInJob(process, job, &in) && in) return true;
  return AssignProcessToJobObject(job, process) != 0;
}

// Whether the name is an existing program file, looked up as CreateProcess
// looks up the first part of a command line.
bool IsProgramFile(const std::wstring& name) {
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
}

// What a worker is handed: its work, and a reference to this library that
// keeps the library's code loaded until the worker is through with it.
struct WorkerStart {
  std::function<void()> work;
  HMODULE library = nullptr;
};

DWORD WINAPI WorkerMain(LPVOID param) {
  HMODULE library = nullptr;
  {
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(param));
    library = start->library;
    hi::GuardedRun([&] { start->work(); });
    // What the work captured goes here, while the library is still held.
  }
  // A host may have unloaded the library meanwhile: its last reference is
  // given back by a call that never returns into its code.
  if (library) FreeLibraryAndExitThread(library, 0);
  return 0;
}

}  // namespace

bool StartChild(const std::string& commandLine, DWORD creationFlags, const JobLimits& limits,
                const std::function<bool()>& resume, ChildProcess& child) {
  KernelHandle inputReader, outputWriter, errorWriter;
  if (!MakePipe(inputReader, child.inputWriter) || !MakePipe(child.outputReader, outputWriter) ||
      !MakePipe(child.errorReader, errorWriter))
    return false;
  for (HANDLE own : {child.inputWriter.get(), child.outputReader.get(), child.errorReader.get()})
    SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
  child.job = KillOnCloseJob(limits);
  PROCESS_INFORMATION pi = {};
  if (!StartSuspended(commandLine, creationFlags, inputReader.get(), outputWriter.get(), errorWriter.get(),
                      child.job.get(), pi))
    return false;
  child.process.reset(pi.hProcess);
  ThreadHandle primary(pi.hThread);
  if (child.job && !InJob(child.job.get(), pi.hProcess)) child.job.reset();
  if (resume()) ResumeThread(primary.get());
  // The pipes report broken once the child, their only other holder, ends.
  return true;
}

bool NamesAProgram(const std::string& commandLine) {
  const std::wstring line = Wide(commandLine);
  if (!line.empty() && line[0] == L'"') {
    const size_t close = line.find(L'"', 1);
    return IsProgramFile(line.substr(1, close == std::wstring::npos ? close : close - 1));
  }
  for (size_t blank = line.find_first_of(L" \t");; blank = line.find_first_of(L" \t", blank + 1)) {
    if (IsProgramFile(line.substr(0, blank))) return true;
    if (blank == std::wstring::npos) return false;
  }
}

bool StartWorker(std::function<void()> work) {
  auto start = std::make_unique<WorkerStart>();
  start->work = std::move(work);
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WorkerMain), &start->library);
  ThreadHandle worker(CreateThread(nullptr, WorkerStack, &WorkerMain, start.get(), 0, nullptr));
  if (!worker) {
    if (start->library) FreeLibrary(start->library);
    return false;
  }
  start.release();  // the worker's now
  return true;
}

}  // namespace kol
