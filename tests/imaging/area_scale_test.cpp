// The area-averaging scaler against netpbm's pamscale, whose default
// resampling ("pixel mixing") is the same area average computed its own way;
// -linear keeps it on the stored values, as the scaler does, instead of
// mixing in linear light.
#include "imaging/area_scale.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace hi;

namespace {

struct TPicture {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;  // top-down, no padding
};

// Line art over a gradient: one-pixel lines in both directions, a diagonal,
// and noise, the content that punishes point sampling.
TPicture LineArt(int32_t w, int32_t h) {
  TPicture p{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
  uint32_t seed = 12345;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* px = &p.rgb[(size_t(y) * w + x) * 3];
      seed = seed * 1103515245u + 12345u;
      px[0] = uint8_t(x * 255 / w);
      px[1] = uint8_t(y * 255 / h);
      px[2] = uint8_t(seed >> 24);
      if (x % 17 == 0 || y % 13 == 0 || x == y) px[0] = px[1] = px[2] = 0;
    }
  }
  return p;
}

std::string TempName(const char* suffix) {
  char name[] = "/tmp/area_scale_XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  std::remove(name);
  return std::string(name) + suffix;
}

// pamscale's picture of p at w x h, or an empty picture without netpbm.
TPicture PamScale(const TPicture& p, int32_t w, int32_t h) {
  TPicture out;
  const std::string in = TempName(".ppm"), res = TempName(".ppm");
  std::FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return out;
  std::fprintf(f, "P6\n%d %d\n255\n", p.width, p.height);
  std::fwrite(p.rgb.data(), 1, p.rgb.size(), f);
  std::fclose(f);
  const std::string cmd = "pamscale -linear -width " + std::to_string(w) + " -height " + std::to_string(h) + " " + in +
                          " > " + res + " 2>/dev/null";
  if (std::system(cmd.c_str()) == 0 && (f = std::fopen(res.c_str(), "rb")) != nullptr) {
    int rw = 0, rh = 0, max = 0;
    if (std::fscanf(f, "P6 %d %d %d", &rw, &rh, &max) == 3 && rw == w && rh == h && max == 255 &&
        std::fgetc(f) != EOF) {
      out = TPicture{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
      if (std::fread(out.rgb.data(), 1, out.rgb.size(), f) != out.rgb.size()) out = TPicture();
    }
    std::fclose(f);
  }
  std::remove(in.c_str());
  std::remove(res.c_str());
  return out;
}

TPicture Scale(const TPicture& p, int32_t w, int32_t h) {
  TPicture out{w, h, std::vector<uint8_t>(size_t(w) * h * 3, 0xEE)};
  EXPECT_TRUE(
      AreaScale24(p.rgb.data(), p.width, p.height, ptrdiff_t(p.width) * 3, out.rgb.data(), w, h, ptrdiff_t(w) * 3));
  return out;
}

}  // namespace

TEST(FitInside, KeepsProportionsNeverEnlargesNeverPads) {
  struct Case {
    int32_t w, h, bw, bh, ow, oh;
  } cases[] = {
      {400, 300, 128, 128, 128, 96},  {300, 600, 128, 128, 64, 128},
      {64, 48, 128, 128, 64, 48},     {128, 128, 128, 128, 128, 128},
      {1000, 1, 128, 128, 128, 1},    {1, 1000, 96, 128, 1, 128},
      {256, 256, 200, 100, 100, 100}, {3, 2, 2, 2, 2, 1},
  };
  for (const Case& c : cases) {
    int32_t ow = -1, oh = -1;
    EXPECT_TRUE(FitInside(c.w, c.h, c.bw, c.bh, ow, oh));
    EXPECT_EQ(ow, c.ow) << c.w << "x" << c.h << " in " << c.bw << "x" << c.bh;
    EXPECT_EQ(oh, c.oh) << c.w << "x" << c.h << " in " << c.bw << "x" << c.bh;
  }
  int32_t ow = 0, oh = 0;
  EXPECT_FALSE(FitInside(0, 10, 128, 128, ow, oh));
  EXPECT_FALSE(FitInside(10, 10, -1, 128, ow, oh));
  // Products of the largest sizes do not overflow.
  EXPECT_TRUE(FitInside(INT32_MAX, 1, 128, 128, ow, oh));
  EXPECT_EQ(ow, 128);
  EXPECT_EQ(oh, 1);
}

TEST(AreaScale, MatchesPamscaleOnLineArt) {
  struct Case {
    int32_t w, h, ow, oh;
  } cases[] = {{400, 300, 128, 96}, {300, 600, 64, 128}, {256, 256, 100, 100}, {97, 61, 13, 7}, {50, 40, 50, 40}};
  for (const Case& c : cases) {
    TPicture src = LineArt(c.w, c.h);
    TPicture ref = PamScale(src, c.ow, c.oh);
    if (ref.rgb.empty()) GTEST_SKIP() << "pamscale (netpbm) is not installed";
    TPicture got = Scale(src, c.ow, c.oh);
    double total = 0;
    int worst = 0;
    for (size_t i = 0; i < got.rgb.size(); ++i) {
      int d = std::abs(int(got.rgb[i]) - int(ref.rgb[i]));
      total += d;
      worst = std::max(worst, d);
    }
    EXPECT_LT(total / double(got.rgb.size()), 0.6) << c.w << "x" << c.h << " to " << c.ow << "x" << c.oh;
    EXPECT_LE(worst, 2) << c.w << "x" << c.h << " to " << c.ow << "x" << c.oh;
  }
}

TEST(AreaScale, ThinLinesKeepTheirShareOfInk) {
  // A one-pixel black column on white in every fourth column of a 400-wide
  // picture, shrunk to 128: every output pixel covers 3.125 source pixels,
  // so each holds a part of some line and none is pure white or pure black.
  TPicture p{400, 8, std::vector<uint8_t>(400 * 8 * 3, 255)};
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 400; x += 4) std::fill_n(&p.rgb[(size_t(y) * 400 + x) * 3], 3, uint8_t(0));
  TPicture got = Scale(p, 128, 2);
  double mean = 0;
  for (uint8_t v : got.rgb) {
    EXPECT_GT(v, 0);
    EXPECT_LT(v, 255);
    mean += v;
  }
  EXPECT_NEAR(mean / double(got.rgb.size()), 255.0 * 3 / 4, 1.0);
}

TEST(AreaScale, BottomUpRowsAndRefusedSizes) {
  TPicture src = LineArt(60, 40);
  TPicture top = Scale(src, 20, 10);
  // Both buffers bottom-up: the same picture.
  std::vector<uint8_t> flipped(src.rgb.size()), out(size_t(20) * 10 * 3);
  for (int32_t y = 0; y < 40; ++y) std::copy_n(&src.rgb[size_t(y) * 180], 180, &flipped[size_t(39 - y) * 180]);
  ASSERT_TRUE(AreaScale24(flipped.data() + 39 * 180, 60, 40, -180, out.data() + 9 * 60, 20, 10, -60));
  for (int32_t y = 0; y < 10; ++y)
    EXPECT_TRUE(std::equal(&out[size_t(9 - y) * 60], &out[size_t(9 - y) * 60 + 60], &top.rgb[size_t(y) * 60]));
  uint8_t one[3];
  EXPECT_FALSE(AreaScale24(src.rgb.data(), 60, 40, 180, one, 61, 1, 3));
  EXPECT_FALSE(AreaScale24(src.rgb.data(), 60, 40, 180, one, 0, 1, 3));
  EXPECT_FALSE(AreaScale24(nullptr, 60, 40, 180, one, 1, 1, 3));
}
