#include "scheme/win_exec.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "scheme/format_str.h"
#include "toolkit/handles.h"
#include "toolkit/message_window.h"
#include "toolkit/platform.h"

using namespace hi;

namespace {

struct Event {
  char kind;  // 'S' start, 'O' output, 'E' error, 'X' end
  std::string text;
  DWORD thread;
};

// Records the runner's events in the order they fire.
struct Recorder {
  std::vector<Event> events;
  void Note(char kind, TData& v) { events.push_back({kind, ToString(v), GetCurrentThreadId()}); }
  void doStart(TData& v, uint16_t) { Note('S', v); }
  void doOutput(TData& v, uint16_t) { Note('O', v); }
  void doError(TData& v, uint16_t) { Note('E', v); }
  void doEnd(TData& v, uint16_t) { Note('X', v); }

  void Attach(THIWinExec& e) {
    e.onStart = LinkTo<&Recorder::doStart>(this);
    e.onOutput = LinkTo<&Recorder::doOutput>(this);
    e.onError = LinkTo<&Recorder::doError>(this);
    e.onEnd = LinkTo<&Recorder::doEnd>(this);
  }
  int Count(char kind) const {
    int n = 0;
    for (const Event& e : events) n += e.kind == kind;
    return n;
  }
  std::string Text(char kind) const {
    std::string s;
    for (const Event& e : events)
      if (e.kind == kind) s += e.text;
    return s;
  }
  // The process id the child printed first ("pid N"), or 0.
  DWORD Pid() const {
    std::string out = Text('O');
    return out.rfind("pid ", 0) == 0 ? DWORD(std::strtoul(out.c_str() + 4, nullptr, 10)) : 0;
  }
};

std::string Child() { return "\"" + kol::ExeFolder() + "runner_child.exe\""; }

void RunCmd(THIWinExec& e, const std::string& commandLine) {
  TData v;
  MakeString(v, commandLine);
  FireEvent(LinkTo<&THIWinExec::doRunCmd>(&e), v);
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms = 20000) { return kol::PumpMessagesUntil(done, ms); }
void PumpFor(DWORD ms) {
  kol::PumpMessagesUntil([] { return false; }, ms);
}

kol::KernelHandle OpenChild(DWORD pid) {
  return kol::KernelHandle(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid));
}

std::vector<DWORD> ThreadIds() {
  kol::KernelHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 te = {};
  te.dwSize = sizeof te;
  std::vector<DWORD> ids;
  for (BOOL ok = Thread32First(snap.get(), &te); ok; ok = Thread32Next(snap.get(), &te))
    if (te.th32OwnerProcessID == GetCurrentProcessId()) ids.push_back(te.th32ThreadID);
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::vector<DWORD> Added(const std::vector<DWORD>& before, const std::vector<DWORD>& after) {
  std::vector<DWORD> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
  return added;
}

class WinExec : public ::testing::Test {
 protected:
  void SetUp() override { InstallDispatchers(); }
};

}  // namespace

TEST_F(WinExec, LongOutputArrivesInChunksOnTheElementsThread) {
  THIWinExec e;
  Recorder r;
  r.Attach(e);
  RunCmd(e, Child() + " bytes 5000");
  ASSERT_EQ(r.Count('S'), 1);  // fired inside doRunCmd, before any chunk
  ASSERT_TRUE(PumpUntil([&] { return r.Count('X') > 0; }));
  PumpFor(50);
  std::string expected;
  for (int i = 0; i < 5000; ++i) expected += char('a' + i % 26);
  EXPECT_EQ(r.Text('O'), expected);
  EXPECT_GE(r.Count('O'), 5);
  for (const Event& ev : r.events) {
    EXPECT_LE(ev.text.size(), 1024u);
    EXPECT_EQ(ev.thread, GetCurrentThreadId());
  }
  EXPECT_EQ(r.Count('X'), 1);
  EXPECT_EQ(r.events.back().kind, 'X');
  EXPECT_EQ(r.Count('E'), 0);
}

TEST_F(WinExec, ChunksAreCutAtTheFirstZeroByte) {
  THIWinExec e;
  Recorder r;
  r.Attach(e);
  RunCmd(e, Child() + " zero");
  ASSERT_TRUE(PumpUntil([&] { return r.Count('X') > 0; }));
  ASSERT_EQ(r.Count('O'), 1);
  EXPECT_EQ(r.Text('O'), "ab");
}

TEST_F(WinExec, ErrorIsServedBeforeOutputInOnePass) {
  // The child writes output first and error right after; only a pass that
  // finds both waiting can deliver the error first.
  THIWinExec e;
  Recorder r;
  r.Attach(e);
  const int rounds = 20;
  RunCmd(e, Child() + " rounds " + std::to_string(rounds));
  ASSERT_TRUE(PumpUntil([&] { return r.Count('X') > 0; }));
  std::string out = r.Text('O'), err = r.Text('E');
  std::string expectOut, expectErr;
  for (int i = 0; i < rounds; ++i) {
    expectOut += "O" + std::to_string(i) + ";";
    expectErr += "E" + std::to_string(i) + ";";
  }
  EXPECT_EQ(out, expectOut);
  EXPECT_EQ(err, expectErr);
  int errorFirst = 0;
  for (int i = 0; i < rounds; ++i) {
    size_t o = 0, x = 0;
    for (size_t k = 0; k < r.events.size(); ++k) {
      if (r.events[k].text.find("O" + std::to_string(i) + ";") != std::string::npos) o = k;
      if (r.events[k].text.find("E" + std::to_string(i) + ";") != std::string::npos) x = k;
    }
    errorFirst += x < o;
  }
  EXPECT_GE(errorFirst, 1) << "no round had its error chunk before its output chunk";
}

TEST_F(WinExec, CommandLineIsFileNameSpaceParams) {
  THIWinExec e;
  Recorder r;
  r.Attach(e);
  // Unlinked and unset: the event value is the whole line, plus one space.
  RunCmd(e, Child() + " line");
  ASSERT_TRUE(PumpUntil([&] { return r.Count('X') > 0; }));
  EXPECT_EQ(r.Text('O'), "[" + Child() + " line ]");

  THIWinExec p;
  Recorder q;
  q.Attach(p);
  p.FileName = Child();
  p.Params = "line a b";
  RunCmd(p, "ignored");
  ASSERT_TRUE(PumpUntil([&] { return q.Count('X') > 0; }));
  EXPECT_EQ(q.Text('O'), "[" + Child() + " line a b]");
}

TEST_F(WinExec, ASecondRunKillsTheFirstWithoutItsEnd) {
  THIWinExec e;
  Recorder r;
  r.Attach(e);
  RunCmd(e, Child() + " wait");
  ASSERT_TRUE(PumpUntil([&] { return r.Pid() != 0; }));
  kol::KernelHandle first = OpenChild(r.Pid());
  ASSERT_TRUE(first);
  // Its input pipe stays open: it keeps waiting.
  PumpFor(300);
  EXPECT_EQ(WaitForSingleObject(first.get(), 0), DWORD(WAIT_TIMEOUT));

  r.events.clear();
  RunCmd(e, Child() + " pid 100");
  ASSERT_EQ(WaitForSingleObject(first.get(), 5000), DWORD(WAIT_OBJECT_0));
  DWORD code = 1234;
  GetExitCodeProcess(first.get(), &code);
  EXPECT_EQ(code, 0u);  // killed, not ended by itself (it would return 3)
  ASSERT_TRUE(PumpUntil([&] { return r.Count('X') > 0; }));
  PumpFor(100);
  EXPECT_EQ(r.Count('S'), 1);
  EXPECT_EQ(r.Count('X'), 1);  // the second run's end only
  kol::KernelHandle second = OpenChild(r.Pid());
  if (second) {
    EXPECT_EQ(WaitForSingleObject(second.get(), 5000), DWORD(WAIT_OBJECT_0));
  }
}

TEST_F(WinExec, TheChildInheritsOnlyItsOwnPipeEnds) {
  // Any inheritable handle of the host, say another window's pipe, stays
  // out of the child.
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  kol::KernelHandle event(CreateEventA(&sa, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  THIWinExec e;
  Recorder r;
  r.Attach(e);
  RunCmd(e, Child() + " signal " + std::to_string(reinterpret_cast<uintptr_t>(event.get())));
  ASSERT_TRUE(PumpUntil([&] { return r.Count('X') > 0; }));
  EXPECT_EQ(r.Text('O'), "not set");
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), DWORD(WAIT_TIMEOUT));
}

TEST_F(WinExec, AMissingProgramFiresNothingAndStillStopsTheOldOne) {
  THIWinExec e;
  Recorder r;
  r.Attach(e);
  RunCmd(e, "Z:\\no\\such\\program.exe");
  PumpFor(200);
  EXPECT_TRUE(r.events.empty());

  RunCmd(e, Child() + " wait");
  ASSERT_TRUE(PumpUntil([&] { return r.Pid() != 0; }));
  kol::KernelHandle running = OpenChild(r.Pid());
  r.events.clear();
  RunCmd(e, "Z:\\no\\such\\program.exe");
  EXPECT_EQ(WaitForSingleObject(running.get(), 5000), DWORD(WAIT_OBJECT_0));
  PumpFor(200);
  EXPECT_TRUE(r.events.empty());
}

TEST_F(WinExec, DestructionLeavesNoProcessAndNoThread) {
  const std::vector<DWORD> before = ThreadIds();
  std::vector<DWORD> started;
  kol::KernelHandle child;
  {
    Recorder r;
    auto e = std::make_unique<THIWinExec>();
    r.Attach(*e);
    RunCmd(*e, Child() + " wait");
    ASSERT_TRUE(PumpUntil([&] { return r.Pid() != 0; }));
    child = OpenChild(r.Pid());
    ASSERT_TRUE(child);
    // Put in a job that kills it when the element lets go of it.
    BOOL inJob = FALSE;
    EXPECT_TRUE(IsProcessInJob(child.get(), nullptr, &inJob));
    EXPECT_TRUE(inJob);
    started = Added(before, ThreadIds());
    EXPECT_GE(started.size(), 1u);  // the worker
    e.reset();
    EXPECT_EQ(WaitForSingleObject(child.get(), 5000), DWORD(WAIT_OBJECT_0));
  }
  DWORD code = 1234;
  GetExitCodeProcess(child.get(), &code);
  EXPECT_EQ(code, 0u);
  // The worker killed it and ends on its own, soon after.
  auto outlived = [&] {
    const std::vector<DWORD> now = ThreadIds();
    std::vector<DWORD> left;
    for (DWORD id : started)
      if (std::binary_search(now.begin(), now.end(), id)) left.push_back(id);
    return left;
  };
  for (int i = 0; i < 100 && !outlived().empty(); ++i) Sleep(50);
  for (DWORD id : outlived()) ADD_FAILURE() << "thread " << id;
  PumpFor(50);  // nothing queued for the destroyed element may run
}

TEST_F(WinExec, StopRacingTheWorkersOwnEnd) {
  // Children that end at once, stopped after a random pause: sometimes the
  // worker has already seen the end, sometimes not. Each run ends once, and
  // nothing of a stopped run arrives after the next one started. (The same
  // race runs thousands of times, without processes, in the native build.)
  THIWinExec e;
  Recorder r;
  r.Attach(e);
  std::mt19937 random(12345);
  // How long a child takes here from its start to its end event.
  std::vector<DWORD> samples;
  for (int i = 0; i < 3; ++i) {
    const ULONGLONG t0 = GetTickCount64();
    RunCmd(e, Child() + " line");
    ASSERT_TRUE(PumpUntil([&] { return r.Count('X') == i + 1; }));
    samples.push_back(DWORD(GetTickCount64() - t0) + 1);
  }
  std::sort(samples.begin(), samples.end());
  const DWORD lifetime = samples[1];
  r.events.clear();

  const int runs = 100;
  int ends = 0;
  bool lastEnded = false;
  for (int i = 0; i < runs; ++i) {
    const size_t before = r.events.size();
    // Each run prints its own command line, so its output names the run.
    const std::string tagged = Child() + " line run" + std::to_string(i);
    RunCmd(e, tagged);
    ASSERT_EQ(r.Count('S'), i + 1);
    PumpFor(DWORD(random() % (2 * lifetime)));
    int endsHere = 0;
    std::string out;
    for (size_t k = before; k < r.events.size(); ++k) {
      const Event& ev = r.events[k];
      if (ev.kind == 'X') ++endsHere;
      if (ev.kind != 'O') continue;
      EXPECT_EQ(endsHere, 0) << "output after the end";
      out += ev.text;
    }
    EXPECT_LE(endsHere, 1);
    const std::string whole = "[" + tagged + " ]";
    EXPECT_EQ(whole.compare(0, out.size(), out), 0) << "output of another run: " << out;
    if (endsHere) {
      EXPECT_EQ(out, whole);
    }
    ends += endsHere;
    lastEnded = endsHere > 0;
  }
  if (!lastEnded) {
    ASSERT_TRUE(PumpUntil([&] { return r.Count('X') == ends + 1; }));
    ++ends;
  }
  PumpFor(100);
  EXPECT_EQ(r.Count('X'), ends);
  std::printf("runs %d, ended by themselves %d, stopped %d, child lifetime %lu ms\n", runs, ends, runs - ends,
              static_cast<unsigned long>(lifetime));
  // Both sides of the race were taken.
  EXPECT_GE(ends, runs / 20);
  EXPECT_GE(runs - ends, runs / 20);
}

namespace {

std::string WinPath(std::string unixPath) {
  if (unixPath.empty() || unixPath[0] != '/') return unixPath;
  for (char& c : unixPath)
    if (c == '/') c = '\\';
  return "Z:" + unixPath;
}

// Runs a command line to its end in a folder; its exit code.
DWORD RunAndWait(const std::string& commandLine, const std::string& folder) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, folder.c_str(), &si,
                      &pi))
    return DWORD(-1);
  kol::KernelHandle process(pi.hProcess), thread(pi.hThread);
  WaitForSingleObject(process.get(), 60000);
  DWORD code = DWORD(-1);
  GetExitCodeProcess(process.get(), &code);
  return code;
}

struct Text {
  std::string text;
  void Get(TData& v, uint16_t) { MakeString(v, text); }
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(WinExec, TheRealArchiverExtractsTheThumbnail) {
  const std::string archiver = WinPath(SEVENZA_EXE_PATH);
  ASSERT_FALSE(archiver.empty()) << "the build was not given SEVENZA_EXE";
  ASSERT_NE(GetFileAttributesA(archiver.c_str()), INVALID_FILE_ATTRIBUTES) << archiver;

  const std::string work = kol::TempFolder() + "cdrthumb_exec_" + std::to_string(GetCurrentProcessId());
  const std::string members = work + "\\src\\metadata\\thumbnails";
  for (const std::string& d : {work, work + "\\src", work + "\\src\\metadata", members})
    CreateDirectoryA(d.c_str(), nullptr);
  std::string png = "\x89PNG\r\n\x1a\n";
  for (int i = 0; i < 300; ++i) png += char(i * 7);
  std::ofstream(members + "\\thumbnail.png", std::ios::binary) << png;
  // A document name that holds a placeholder of the command-line mask.
  const std::string document = work + "\\sale%3.cdr";
  ASSERT_EQ(RunAndWait("\"" + archiver + "\" a -tzip \"" + document + "\" metadata\\thumbnails\\thumbnail.png",
                       work + "\\src"),
            0u);

  // The viewer's command line, formed and run as the viewer does.
  THIFormatStr cmd;
  cmd.SetCount(4);
  cmd.Mask = "%4 e -o\"%1_tc\" \"%2\" %3 -r -aoa";
  Text folder{work + "\\"}, doc{document}, mask{"thumbnail.*"}, exe{archiver};
  cmd.Arg = {LinkTo<&Text::Get>(&folder), LinkTo<&Text::Get>(&doc), LinkTo<&Text::Get>(&mask),
             LinkTo<&Text::Get>(&exe)};
  THIWinExec e;
  Recorder r;
  r.Attach(e);
  cmd.onResult = LinkTo<&THIWinExec::doRunCmd>(&e, 2);
  TData v;
  FireEvent(LinkTo<&THIFormatStr::doString>(&cmd), v);
  EXPECT_EQ(cmd.LastResult, archiver + " e -o\"" + work + "\\_tc\" \"" + document + "\" thumbnail.* -r -aoa");
  ASSERT_EQ(r.Count('S'), 1);
  ASSERT_TRUE(PumpUntil([&] { return r.Count('X') > 0; }, 60000));
  EXPECT_GE(r.Count('O'), 1);
  EXPECT_NE(r.Text('O').find("Everything is Ok"), std::string::npos) << r.Text('O');
  EXPECT_EQ(r.Text('E'), "");
  const std::string extracted = work + "\\_tc\\thumbnail.png";
  EXPECT_EQ(ReadAll(extracted), png);

  for (const std::string& f : {extracted, members + "\\thumbnail.png", document}) DeleteFileA(f.c_str());
  for (const std::string& d : {work + "\\_tc", members, work + "\\src\\metadata", work + "\\src", work})
    RemoveDirectoryA(d.c_str());
}
