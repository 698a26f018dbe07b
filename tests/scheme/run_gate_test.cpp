#include "scheme/run_gate.h"

#include <gtest/gtest.h>

using namespace hi;

TEST(RunGate, RunsEndOnceAndStopCountingAfterRelease) {
  TRunGate gate;
  EXPECT_EQ(gate.Current(), TRunGate::NoRun);
  EXPECT_FALSE(gate.Accepts(TRunGate::NoRun));
  EXPECT_FALSE(gate.End(TRunGate::NoRun));

  const uint32_t a = gate.Begin();
  EXPECT_NE(a, TRunGate::NoRun);
  EXPECT_TRUE(gate.Live(a));
  EXPECT_TRUE(gate.Accepts(a));
  EXPECT_TRUE(gate.End(a));
  EXPECT_FALSE(gate.End(a));
  EXPECT_FALSE(gate.Live(a));
  // Ended by its worker, the run's queued chunks still count until released.
  EXPECT_TRUE(gate.Accepts(a));
  gate.Release();
  EXPECT_FALSE(gate.Accepts(a));

  const uint32_t b = gate.Begin();
  EXPECT_NE(b, a);
  EXPECT_FALSE(gate.End(a));  // a late end of the old run leaves the new one alone
  EXPECT_TRUE(gate.Live(b));
  gate.Release();
  EXPECT_FALSE(gate.Live(b));
  EXPECT_FALSE(gate.End(b));
}

TEST(RunGate, ChunkTextEndsAtTheFirstZeroByte) {
  EXPECT_EQ(ChunkText("abc", 3), "abc");
  EXPECT_EQ(ChunkText("ab\0cd", 5), "ab");
  EXPECT_EQ(ChunkText("\0x", 2), "");
  EXPECT_EQ(ChunkText("", 0), "");
  std::string big(1024, 'q');
  EXPECT_EQ(ChunkText(big.data(), big.size()), big);
}
