#include "scheme/doc_render.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "toolkit/handles.h"
#include "toolkit/message_window.h"
#include "toolkit/platform.h"

using namespace hi;

namespace {

struct Text {
  std::string text;
  void Get(TData& v, uint16_t) { MakeString(v, text); }
};

// Records the element's events; a bitmap is looked at while it is valid.
struct Recorder {
  std::vector<int32_t> pages, failures;
  struct Picture {
    int32_t width, height;
    int white, other;  // pixels
  };
  std::vector<Picture> pictures;

  void doPages(TData& v, uint16_t) { pages.push_back(ToInteger(v)); }
  void doFailed(TData& v, uint16_t) { failures.push_back(ToInteger(v)); }
  void doRendered(TData& v, uint16_t) {
    TBitmapObject* b = ReadBitmap(v, TEventLink(), nullptr);
    ASSERT_NE(b, nullptr);
    Picture p{b->Width(), b->Height(), 0, 0};
    for (int32_t y = 0; y < b->Height(); ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(b->ScanLine(y));
      for (int32_t x = 0; x < b->Width(); ++x) ++((row[x] & 0xFFFFFF) == 0xFFFFFF ? p.white : p.other);
    }
    pictures.push_back(p);
  }
  size_t Events() const { return pages.size() + failures.size() + pictures.size(); }
};

std::string WinPath(std::string unixPath) {
  std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
  return "Z:" + unixPath;
}

// An element wired as the viewer wires it, with its own temporary folder.
struct Rig {
  std::string work = kol::TempFolder() + "cdrthumb_render_" + std::to_string(GetCurrentProcessId()) + "\\";
  Text folder, temp{work}, document;
  Recorder r;
  std::unique_ptr<THIDocRender> e = std::make_unique<THIDocRender>();

  explicit Rig(const std::string& programFolder) : folder{programFolder} {
    CreateDirectoryA(work.c_str(), nullptr);
    e->Tag = "t1";
    e->FolderLink = LinkTo<&Text::Get>(&folder);
    e->TempLink = LinkTo<&Text::Get>(&temp);
    e->FileNameLink = LinkTo<&Text::Get>(&document);
    e->onPages = LinkTo<&Recorder::doPages>(&r);
    e->onFailed = LinkTo<&Recorder::doFailed>(&r);
    e->onRendered = LinkTo<&Recorder::doRendered>(&r);
  }
  ~Rig() {
    e.reset();
    RemoveDirectoryA((work + "_tc").c_str());
    RemoveDirectoryA(work.c_str());
  }
  std::string Output() const { return work + "_tc\\render-t1.bmp"; }
  void Render() {
    TData v;
    FireEvent(LinkTo<&THIDocRender::doRender>(e.get()), v);
  }
  void Stop() {
    TData v;
    FireEvent(LinkTo<&THIDocRender::doStop>(e.get()), v);
  }
};

bool PumpUntil(const std::function<bool()>& done, DWORD ms = 30000) { return kol::PumpMessagesUntil(done, ms); }

bool Exists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Renderer processes this test program started, found by name.
std::vector<DWORD> RendererIds() {
  kol::KernelHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 pe = {};
  pe.dwSize = sizeof pe;
  std::vector<DWORD> ids;
  for (BOOL ok = Process32First(snap.get(), &pe); ok; ok = Process32Next(snap.get(), &pe))
    if (pe.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiA(pe.szExeFile, "docrender.exe") == 0)
      ids.push_back(pe.th32ProcessID);
  return ids;
}
int Renderers() { return int(RendererIds().size()); }

// The stand-in as docrender.exe in a folder of its own, in the mode given.
struct StandIn {
  std::string folder = kol::TempFolder() + "cdrthumb_stand_in_" + std::to_string(GetCurrentProcessId());
  StandIn() {
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyFileA((kol::ExeFolder() + "render_stand_in.exe").c_str(), (folder + "\\docrender.exe").c_str(), FALSE);
  }
  ~StandIn() {
    for (const char* f : {"\\docrender.exe", "\\mode.txt"}) DeleteFileA((folder + f).c_str());
    RemoveDirectoryA(folder.c_str());
  }
  void Mode(const char* mode) const {
    FILE* f = std::fopen((folder + "\\mode.txt").c_str(), "wb");
    std::fputs(mode, f);
    std::fclose(f);
  }
};

class DocRender : public ::testing::Test {
 protected:
  void SetUp() override { InstallDispatchers(); }
};

}  // namespace

#ifdef DOCRENDER_DIR
TEST_F(DocRender, TheRealRendererDrawsTheSecondPageInsideTheBox) {
  Rig rig(WinPath(DOCRENDER_DIR));
  rig.document.text = WinPath(SAMPLES_DIR "/brochure-3pages.cdr");
  rig.e->Page = 2;
  rig.e->Width = 400;
  rig.e->Height = 300;
  rig.Render();
  ASSERT_TRUE(PumpUntil([&] { return rig.r.Events() >= 2 || !rig.r.failures.empty(); }, 60000));
  ASSERT_TRUE(rig.r.failures.empty()) << "failure " << rig.r.failures[0];
  EXPECT_EQ(rig.r.pages, std::vector<int32_t>{3});
  ASSERT_EQ(rig.r.pictures.size(), 1u);
  const Recorder::Picture& p = rig.r.pictures[0];
  EXPECT_LE(p.width, 400);
  EXPECT_LE(p.height, 300);
  EXPECT_TRUE(p.width == 400 || p.height == 300) << p.width << "x" << p.height;
  // The drawing's own rows: a white background with something drawn on it.
  EXPECT_GT(p.white, 0);
  EXPECT_GT(p.other, 0);
  EXPECT_FALSE(Exists(rig.Output()));
}
#endif

TEST_F(DocRender, EachMisbehaviourEndsInItsFailureWithNothingLeft) {
  {
    Rig rig(kol::TempFolder() + "no-such-folder");
    rig.Render();  // reported at once, inside doRender
    EXPECT_EQ(rig.r.failures, std::vector<int32_t>{render_no_program});
  }
  StandIn standIn;
  const struct {
    const char* mode;
    int32_t failure;
  } cases[] = {{"crash", render_exit},
               {"exit3", render_exit},
               {"hang", render_time},
               {"flood", render_output},
               {"truncated", render_file},
               {"huge", render_file},
               {"ok", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    standIn.Mode(c.mode);
    Rig rig(standIn.folder);
    rig.e->Width = 100;
    rig.e->Height = 60;
    rig.e->TimeLimitMs = 1500;
    rig.Render();
    ASSERT_TRUE(PumpUntil([&] { return !rig.r.failures.empty() || !rig.r.pictures.empty(); }));
    kol::PumpMessagesUntil([] { return false; }, 50);
    if (c.failure != 0) {
      EXPECT_EQ(rig.r.failures, std::vector<int32_t>{c.failure});
      EXPECT_TRUE(rig.r.pages.empty());
      EXPECT_TRUE(rig.r.pictures.empty());
    } else {
      EXPECT_TRUE(rig.r.failures.empty());
      EXPECT_EQ(rig.r.pages, std::vector<int32_t>{2});
      ASSERT_EQ(rig.r.pictures.size(), 1u);
      EXPECT_EQ(rig.r.pictures[0].width, 50);
      EXPECT_EQ(rig.r.pictures[0].height, 60);
      EXPECT_EQ(rig.r.pictures[0].other, 50 * 60);
    }
    EXPECT_FALSE(Exists(rig.Output()));
    EXPECT_TRUE(PumpUntil([] { return Renderers() == 0; }, 5000)) << Renderers() << " left";
  }
}

TEST_F(DocRender, StoppedRunsLeaveOneProcessAtATimeAndNoLateResults) {
  StandIn standIn;
  standIn.Mode("hang");
  Rig rig(standIn.folder);
  rig.e->Width = 100;
  rig.e->Height = 60;
  rig.e->TimeLimitMs = 30000;
  rig.Render();
  ASSERT_TRUE(PumpUntil([] { return Renderers() == 1; }));
  kol::KernelHandle first(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, RendererIds()[0]));
  BOOL inJob = FALSE;
  EXPECT_TRUE(IsProcessInJob(first.get(), nullptr, &inJob));
  EXPECT_TRUE(inJob);
  // New requests while one hangs, some before the last one's process has
  // even started: each waits until the one before is dead.
  int most = 0;
  for (int i = 0; i < 20; ++i) {
    rig.Render();
    kol::PumpMessagesUntil(
        [&] {
          most = std::max(most, Renderers());
          return false;
        },
        DWORD(i % 4 * 40));
  }
  ASSERT_TRUE(PumpUntil([&] {
    most = std::max(most, Renderers());
    return Renderers() == 1;
  }));
  EXPECT_EQ(most, 1);
  rig.Stop();
  EXPECT_TRUE(PumpUntil([] { return Renderers() == 0; }, 5000));
  // A good run stopped at once, and one replaced at once by the next.
  standIn.Mode("ok");
  rig.Render();
  rig.Stop();
  kol::PumpMessagesUntil([] { return false; }, 1000);
  EXPECT_EQ(rig.r.Events(), 0u);
  rig.Render();
  rig.Render();
  ASSERT_TRUE(PumpUntil([&] { return !rig.r.pictures.empty(); }));
  kol::PumpMessagesUntil([] { return false; }, 1000);
  EXPECT_EQ(rig.r.pictures.size(), 1u);
  EXPECT_TRUE(rig.r.failures.empty());
  // Destroyed in the middle of a run: its worker still kills the process.
  standIn.Mode("hang");
  rig.Render();
  ASSERT_TRUE(PumpUntil([] { return Renderers() == 1; }));
  rig.e.reset();
  EXPECT_TRUE(PumpUntil([] { return Renderers() == 0; }, 5000));
  EXPECT_FALSE(Exists(rig.Output()));
}
