#include <gtest/gtest.h>

#include "plugin/ftcg_tools.h"
#include "plugin/list_plug_win.h"
#include "plugin/lister_form_win.h"
#include "tests/plugin/host.h"
#include "tests/plugin/test_scheme.h"
#include "toolkit/platform.h"

using test::g_log;
using test::TCountScheme;

namespace {

std::vector<std::string> g_boxes;
int CaptureBox(HWND, const std::string& text, const char* caption, UINT) {
  g_boxes.push_back(std::string(caption ? caption : "") + "|" + text);
  return IDOK;
}

struct Counts : ::testing::Test {
  void SetUp() override {
    g_log.clear();
    g_boxes.clear();
    TCountScheme::Made = TCountScheme::Destroyed = 0;
  }
};

// Deletes the instance that fires the container's event, from inside it.
struct Deleter : hi::TObject {
  hi::THIMultiElementEx* box = nullptr;
  void onEvent(hi::TData& v, uint16_t) {
    g_log.push_back("event:" + hi::ToString(v));
    hi::TData zero;
    hi::MakeInteger(zero, 0);
    box->DeleteInstance(zero, 0);
  }
};

}  // namespace

TEST(Viewers, ClosingTheNewerLeavesNoCurrentInstance) {
  hi::THiListPlug plug;
  plug.SetUp();
  plug.SetFactory(&test::TViewerScheme::Create);
  HWND host = test::MakeHost();
  HWND older = reinterpret_cast<HWND>(plug.LoadStep(host, nullptr, "1.cdr", 0));
  hi::THIEditMultiEx* olderEdge = plug.Current;
  HWND newer = reinterpret_cast<HWND>(plug.LoadStep(host, nullptr, "2.cdr", 0));
  ASSERT_TRUE(older && newer);
  EXPECT_NE(older, newer);
  EXPECT_EQ(plug.Instances.size(), 2u);
  EXPECT_NE(plug.Current, olderEdge);
  plug.CloseStep(newer);
  EXPECT_EQ(plug.Current, nullptr);
  ASSERT_EQ(plug.Instances.size(), 1u);
  EXPECT_EQ(plug.Instances[0], olderEdge);
  EXPECT_TRUE(IsWindow(older));
  EXPECT_FALSE(IsWindow(newer));
  // A stale or foreign window is neither reloaded nor closed.
  EXPECT_EQ(plug.LoadStep(host, newer, "x", 0), 1);
  EXPECT_EQ(plug.LoadStep(host, host, "x", 0), 1);
  plug.CloseStep(host);
  EXPECT_EQ(plug.Instances.size(), 1u);
  plug.CloseStep(older);
  EXPECT_TRUE(plug.Instances.empty());
  DestroyWindow(host);
  hi::ViewerContainer = nullptr;
}

TEST_F(Counts, PointsWithoutCurrentInstanceUseATemporaryOne) {
  hi::THIMultiElementEx box(1, 0);
  box.OnDemand = 1;
  box.SetFactory(&TCountScheme::Create);
  EXPECT_EQ(TCountScheme::Made, 0);
  hi::TData v;
  hi::MakeString(v, "hello");
  box.doWork(v, 0);
  EXPECT_EQ(TCountScheme::Made, 1);
  EXPECT_EQ(TCountScheme::Destroyed, 1);
  EXPECT_TRUE(box.Instances.empty());
  EXPECT_EQ(g_log, (std::vector<std::string>{"start:1", "work1:hello", "gone:1"}));

  hi::TData d;
  box.Data(d, 0);
  EXPECT_EQ(hi::ToInteger(d), 102);
  EXPECT_EQ(TCountScheme::Destroyed, 2);
  EXPECT_TRUE(box.Instances.empty());

  // With a current instance the points reach it and nothing is made.
  box.MakeInstance();
  g_log.clear();
  box.doWork(v, 0);
  box.Data(d, 0);
  EXPECT_EQ(hi::ToInteger(d), 103);
  EXPECT_EQ(TCountScheme::Made, 3);
  EXPECT_EQ(g_log, std::vector<std::string>{"work3:hello"});
  // A point past the boundary's arrays is silent.
  box.doWork(v, 4);
  box.Data(d, 4);
  EXPECT_EQ(hi::TypeOf(d), hi::data_break);
}

TEST_F(Counts, StartHandlersOfANewInstanceRunAfterTheFactoryOnlyOnceStarted) {
  hi::THIMultiElementEx box(0, 0);
  box.OnDemand = 1;
  box.Factory = &TCountScheme::Create;
  ASSERT_TRUE(hi::StartupDone);
  box.MakeInstance();
  EXPECT_EQ(g_log, std::vector<std::string>{"start:1"});
  EXPECT_TRUE(hi::StartupDone);

  // Made while another start-up is pending: queued for that run.
  hi::StartupDone = false;
  g_log.clear();
  box.MakeInstance();
  EXPECT_TRUE(g_log.empty());
  EXPECT_FALSE(hi::StartupDone);
  EXPECT_EQ(hi::PendingStartupHandlers(), 1u);
  hi::RunStartupHandlers();
  EXPECT_EQ(g_log, std::vector<std::string>{"start:2"});
}

TEST_F(Counts, DeletingRefusesSelfDestructionAndNotifiesOthers) {
  kol::MessageBoxProc old = kol::SetMessageBoxProc(&CaptureBox);
  {
    hi::THIMultiElementEx box(1, 0);
    Deleter deleter;
    deleter.box = &box;
    box.onEvent[0] = hi::LinkTo<&Deleter::onEvent>(&deleter);
    box.SetFactory(&TCountScheme::Create);  // OnDemand 0: made at once
    ASSERT_EQ(box.Instances.size(), 1u);
    ASSERT_NE(box.Current, nullptr);

    hi::TData v;
    hi::MakeString(v, "out");
    box.doWork(v, 0);
    EXPECT_EQ(g_boxes, std::vector<std::string>{"String-Debug|Self destruction is not allowed !!!"});
    EXPECT_EQ(box.Instances.size(), 1u);
    EXPECT_EQ(TCountScheme::Destroyed, 0);
    EXPECT_FALSE(box.InActiveCall(box.Instances[0])) << "the chain is unwound after the event";

    hi::TData bad;
    hi::MakeInteger(bad, 1);
    box.DeleteInstance(bad, 0);
    hi::MakeInteger(bad, -1);
    box.DeleteInstance(bad, 0);
    EXPECT_EQ(box.Instances.size(), 1u);

    // Deleting from outside notifies the instance with its index, then
    // destroys it.
    g_log.clear();
    box.MakeInstance();
    hi::TData zero;
    hi::MakeInteger(zero, 0);
    box.DeleteInstance(zero, 0);
    EXPECT_EQ(g_log, (std::vector<std::string>{"start:2", "work1:0", "gone:1"}));
    ASSERT_EQ(box.Instances.size(), 1u);
    EXPECT_NE(box.Current, nullptr) << "the current instance was the other one";
    g_log.clear();
  }
  // Destroying the container deletes the rest, unnotified.
  EXPECT_EQ(g_log, std::vector<std::string>{"gone:2"});
  EXPECT_EQ(TCountScheme::Made, TCountScheme::Destroyed);
  kol::SetMessageBoxProc(old);
}

TEST(Tools, ContainerBuildsItsSchemeAtOnce) {
  hi::THIFTCG_Tools tools(0);
  EXPECT_EQ(tools.Instance, nullptr);
  tools.SetFactory(&hi::TClassFTCG_Tools_97CF1D0::Create);
  ASSERT_NE(tools.Instance, nullptr);
  EXPECT_EQ(tools.Instance->Container, &tools);
  ASSERT_EQ(tools.Instance->Tools.size(), 1u);
  EXPECT_EQ(tools.Instance->Tools[0].Owner, tools.Instance.get());
  EXPECT_TRUE(tools.Instance->Second.empty());
  tools.Instance->Tools[0].Proc(tools.Instance->Tools[0].Owner);
}
