// The document reader against synthetic documents of both eras, laid out as
// the program writes them, decoded by the system's own picture readers; and
// against hostile documents, each of which must get its own result code.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <thread>

#include "docreader/doc_reader.h"
#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"
#include "tests/docreader/doc_builder.h"

using namespace hi;
using namespace testing_doc;

namespace {

// Decodes a preview with the reader its kind names; top-down RGB triples.
bool Decode(const TPreview& p, int32_t& w, int32_t& h, Bytes& rgb) {
  TMemoryStream s(p.bytes.data(), p.bytes.size());
  std::unique_ptr<TPngDecoder> png;
  std::unique_ptr<TBitmapObject> bmp;
  TBitmapObject* picture = nullptr;
  if (p.kind == TPreviewKind::png) {
    png = CreatePngDecoder();
    if (!png->LoadFromStream(s)) return false;
    picture = png->GetBitmap();
  } else {
    bmp = CreateDeviceBitmap(0, 0);
    if (!bmp->LoadFromStream(s)) return false;
    picture = bmp.get();
  }
  if (!picture || !ExpandToRgb(*picture, rgb)) return false;
  w = picture->Width();
  h = picture->Height();
  return true;
}

void ExpectPixels(const TPreview& p, int32_t w, int32_t h, uint32_t seed) {
  ASSERT_EQ(p.result, TDocResult::ok) << DocResultMessage(p.result);
  int32_t dw = 0, dh = 0;
  Bytes rgb;
  ASSERT_TRUE(Decode(p, dw, dh, rgb));
  ASSERT_EQ(dw, w);
  ASSERT_EQ(dh, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* px = &rgb[(size_t(y) * w + x) * 3];
      ASSERT_EQ(uint32_t(px[0]) << 16 | px[1] << 8 | px[2], PixelAt(x, y, seed)) << x << "," << y;
    }
}

TDocResult ResultOf(const Bytes& doc) { return ReadPreviewMemory(doc.data(), doc.size()).result; }

void Patch32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

Bytes OneMember(Member m) {
  Archive a;
  a.members.push_back(std::move(m));
  return BuildZip(a);
}

}  // namespace

TEST(DocZip, BothEraLayoutsStoredAndDeflatedDecodeToTheirPixels) {
  for (uint16_t method : {0, 8}) {
    SCOPED_TRACE(method);
    // Widths that need row padding; the PNG has its shorter side 256.
    for (int32_t w : {431, 503}) {
      Bytes doc = BmpEraDocument(Bmp24(w, 9, w), method);
      TPreview p = ReadPreviewMemory(doc.data(), doc.size());
      EXPECT_EQ(p.kind, TPreviewKind::bmp);
      EXPECT_EQ(p.source, "metadata/thumbnails/thumbnail.bmp");
      ExpectPixels(p, w, 9, uint32_t(w));
    }
    Bytes doc = ModernDocument(Png24(300, 256, 11), method);
    TPreview p = ReadPreviewMemory(doc.data(), doc.size());
    EXPECT_EQ(p.kind, TPreviewKind::png);
    EXPECT_EQ(p.source, "previews/thumbnail.png");
    ExpectPixels(p, 300, 256, 11);
  }
}

TEST(DocResults, EachCodeHasItsOwnMessage) {
  std::set<std::string> seen;
  for (int code = 0; code <= int(TDocResult::read_error); ++code)
    EXPECT_TRUE(seen.insert(DocResultMessage(TDocResult(code))).second) << code;
  EXPECT_EQ(seen.count("unknown result"), 0u);
}

TEST(DocZip, MemberRuleAndThumbnailReport) {
  EXPECT_EQ(ThumbnailRank("previews/THUMBNAIL.PNG"), 2);
  EXPECT_EQ(ThumbnailRank("a\\b\\Thumbnail.Bmp"), 1);
  EXPECT_EQ(ThumbnailRank("thumbnail.png/x"), 0);
  EXPECT_EQ(ThumbnailRank("mythumbnail.png"), 0);
  EXPECT_TRUE(IsThumbnailMember("x/thumbnail.jpg"));
  EXPECT_FALSE(IsThumbnailMember("x/thumbnails/page1.png"));

  // PNG beats a BMP that comes later; of two PNGs the later one wins; a
  // UTF-8 folder name does not matter.
  Archive a;
  a.members.push_back({"previews/thumbnail.png", Png24(4, 3, 1), 8});
  a.members.push_back({"Vorschau/\xC3\xBC/Thumbnail.PNG", Png24(5, 2, 2), 0});
  a.members.push_back({"metadata/thumbnails/thumbnail.bmp", Bmp24(6, 6, 3), 8});
  a.members.push_back({"thumbnail.txt", Bytes(10, 't'), 12});
  Bytes doc = BuildZip(a);
  TPreview p = ReadPreviewMemory(doc.data(), doc.size());
  EXPECT_EQ(p.source, "Vorschau/\xC3\xBC/Thumbnail.PNG");
  ExpectPixels(p, 5, 2, 2);

  TMemoryDocSource src(doc.data(), doc.size());
  std::vector<TThumbnailMember> list;
  ASSERT_EQ(ListThumbnailMembers(src, list), TDocResult::ok);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].method, 8);
  EXPECT_EQ(list[0].size, Png24(4, 3, 1).size());
  EXPECT_LT(list[0].compressedSize, list[0].size + 16);
  EXPECT_EQ(list[3].name, "thumbnail.txt");
  EXPECT_EQ(list[3].method, 12);
  EXPECT_EQ(list[3].index, 3u);

  Bytes none = BuildZip(Archive{{{"previews/page1.png", Png24(2, 2, 0), 0}}});
  EXPECT_EQ(ResultOf(none), TDocResult::no_preview);
}

TEST(DocZip, PagePreviewsByNumberPngFirst) {
  Archive a;
  a.members.push_back({"previews/page12.png", Png24(3, 3, 5), 8});
  a.members.push_back({"metadata/thumbnails/page2.bmp", Bmp24(4, 2, 6), 8});
  a.members.push_back({"Previews\\Page2.PNG", Png24(5, 2, 7), 0});
  a.members.push_back({"metadata/thumbnails/page1.bmp", Bmp24(2, 2, 8), 0});
  a.members.push_back({"other/previews/page3.png", Png24(2, 2, 9), 0});
  Bytes doc = BuildZip(a);
  TMemoryDocSource src(doc.data(), doc.size());
  TPreview two = ReadPagePreview(src, 2);
  EXPECT_EQ(two.kind, TPreviewKind::png);
  ExpectPixels(two, 5, 2, 7);
  TPreview one = ReadPagePreview(src, 1);
  EXPECT_EQ(one.kind, TPreviewKind::bmp);
  EXPECT_EQ(one.source, "metadata/thumbnails/page1.bmp");
  // Page 1 is not page 12, and a path elsewhere in the archive is no page's.
  EXPECT_EQ(ReadPagePreview(src, 3).result, TDocResult::no_preview);
  EXPECT_EQ(ReadPagePreview(src, 0).result, TDocResult::no_preview);
  Bytes riff = BuildRiff({{"DISP", DispData(2, 2, 0)}});
  TMemoryDocSource riffSrc(riff.data(), riff.size());
  EXPECT_EQ(ReadPagePreview(riffSrc, 1).result, TDocResult::no_preview);
}

TEST(DocZip, ReadsTheDirectoryAndTheOneMemberOnly) {
  // A 4 MB document whose drawing data lies before the stored thumbnail.
  Archive a;
  a.members.push_back({"mimetype", Bytes{'x'}, 0});
  Bytes filler(4 << 20);
  for (size_t i = 0; i < filler.size(); ++i) filler[i] = uint8_t(i * 2654435761u >> 13);
  a.members.push_back({"content/root.dat", filler, 0});
  Bytes png = Png24(256, 256, 4);
  a.members.push_back({"previews/thumbnail.png", png, 0});
  Bytes doc = BuildZip(a);
  TMemoryDocSource src(doc.data(), doc.size());
  TPreview p = ReadPreview(src);
  ASSERT_EQ(p.result, TDocResult::ok);
  EXPECT_EQ(p.bytes, png);
  // The directory search reads at most the last 64 KiB and a bit; the rest
  // is the member and its header.
  EXPECT_LT(src.BytesRead(), png.size() + 70000);
  std::printf("document %zu bytes, read %llu bytes\n", doc.size(), (unsigned long long)src.BytesRead());
}

// The thumbnail view asks from worker threads, often two at once, for the
// same or different files.
TEST(DocZip, TwoThreadsReadTheSameFile) {
  Bytes png = Png24(64, 48, 5);
  Bytes doc = ModernDocument(png, 8);
  std::string path = testing::TempDir() + "docreader-threads.cdr";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(doc.data(), 1, doc.size(), f), doc.size());
  std::fclose(f);
  int good[2] = {0, 0};
  auto work = [&](int slot) {
    for (int i = 0; i < 40; ++i) {
      TPreview p = ReadPreviewFile(path);
      if (p.result == TDocResult::ok && p.bytes == png) ++good[slot];
    }
  };
  std::thread a(work, 0), b(work, 1);
  a.join();
  b.join();
  std::remove(path.c_str());
  EXPECT_EQ(good[0], 40);
  EXPECT_EQ(good[1], 40);
}

TEST(DocRiff, ChunkWalkPaddingProfileFirstAndFullTable) {
  // An odd-sized chunk before DISP (padding), a colour-profile LIST first,
  // biClrUsed 236 over a full table.
  Bytes lst = {'i', 'c', 'c', 'p', 1, 2, 3};
  Bytes doc = BuildRiff({{"vrsn", Bytes{0x4C, 0x04}},
                         {"LIST", lst},
                         {"odd_", Bytes(3, 9)},
                         {"DISP", DispData(13, 5, 236)},
                         {"LIST", Bytes(40, 0)}});
  TPreview p = ReadPreviewMemory(doc.data(), doc.size());
  ASSERT_EQ(p.result, TDocResult::ok) << DocResultMessage(p.result);
  EXPECT_EQ(p.kind, TPreviewKind::dib);
  int32_t w = 0, h = 0;
  Bytes rgb;
  ASSERT_TRUE(Decode(p, w, h, rgb));
  ASSERT_EQ(w, 13);
  ASSERT_EQ(h, 5);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint32_t c = DispColor((x + 3 * y) & 255);
      const uint8_t* px = &rgb[(size_t(y) * w + x) * 3];
      ASSERT_EQ(uint32_t(px[0]) << 16 | px[1] << 8 | px[2], c) << x << "," << y;
    }
  Bytes plain = BuildRiff({{"vrsn", Bytes{0x4C, 0x04}}, {"page", Bytes(10, 0)}});
  EXPECT_EQ(ResultOf(plain), TDocResult::no_preview);
  TMemoryDocSource src(doc.data(), doc.size());
  std::vector<TThumbnailMember> list;
  EXPECT_EQ(ListThumbnailMembers(src, list), TDocResult::ok);
  EXPECT_TRUE(list.empty());
}

TEST(DocHostile, CutAtEveryByteNeverSucceedsOrCrashes) {
  Bytes zip = ModernDocument(Png24(7, 5, 1), 8);
  for (size_t n = 0; n < zip.size(); ++n) {
    TDocResult r = ReadPreviewMemory(zip.data(), n).result;
    ASSERT_NE(r, TDocResult::ok) << n;
    if (n >= 4) {
      ASSERT_EQ(r, TDocResult::damaged) << n;
    }
  }
  Bytes riff = BuildRiff({{"vrsn", Bytes{1, 2}}, {"DISP", DispData(6, 3, 236)}});
  for (size_t n = 0; n < riff.size(); ++n) {
    TDocResult r = ReadPreviewMemory(riff.data(), n).result;
    ASSERT_NE(r, TDocResult::ok) << n;
  }
  EXPECT_EQ(ReadPreviewMemory("GIF89a", 6).result, TDocResult::not_document);
  EXPECT_EQ(ReadPreviewFile("/nonexistent/x.cdr").result, TDocResult::read_error);
}

TEST(DocHostile, DirectoryAndSizeFaults) {
  Archive a;
  a.members.push_back({"previews/thumbnail.png", Png24(8, 8, 1), 8});
  uint32_t dir = 0, end = 0;
  Bytes good = BuildZip(a, &dir, &end);
  ASSERT_EQ(ResultOf(good), TDocResult::ok);

  Bytes b = good;
  Patch32(b, end + 16, 0x7FFFFFF0);  // directory offset past the end
  EXPECT_EQ(ResultOf(b), TDocResult::damaged);
  b = good;
  Patch32(b, end + 12, 0xFFFFFFF0);  // directory size that overflows the offset
  EXPECT_EQ(ResultOf(b), TDocResult::damaged);
  b = good;
  Patch32(b, dir + 42, 0xFFFFFF00);  // member's local header offset out of range
  EXPECT_EQ(ResultOf(b), TDocResult::damaged);
  b = good;
  Patch32(b, dir + 16, 0x12345678);  // CRC
  Patch32(b, 14, 0x12345678);
  EXPECT_EQ(ResultOf(b), TDocResult::damaged);

  // Declares 10 GB through zip64: refused before inflating.
  Member huge{"previews/thumbnail.png", Png24(8, 8, 1), 8};
  huge.declaredSize = int64_t(10) << 30;
  huge.zip64Size = true;
  EXPECT_EQ(ResultOf(OneMember(huge)), TDocResult::over_limit);
  // Inflates past what it declares.
  Member longer{"previews/thumbnail.png", Bytes(5000, 'a'), 8};
  longer.declaredSize = 1000;
  EXPECT_EQ(ResultOf(OneMember(longer)), TDocResult::damaged);
  EXPECT_EQ(ResultOf(OneMember({"previews/thumbnail.png", Bytes(), 0})), TDocResult::damaged);
  // A limit narrower than the member.
  TDocLimits narrow;
  narrow.maxPreviewBytes = 100;
  EXPECT_EQ(ReadPreviewMemory(good.data(), good.size(), narrow).result, TDocResult::over_limit);
}

TEST(DocHostile, EncryptionMethodsAndZip64) {
  Member enc{"previews/thumbnail.png", Png24(4, 4, 1), 0};
  enc.flags |= 1;
  EXPECT_EQ(ResultOf(OneMember(enc)), TDocResult::encrypted);
  EXPECT_EQ(ResultOf(OneMember({"previews/thumbnail.png", Png24(4, 4, 1), 12})), TDocResult::unsupported_method);
  EXPECT_EQ(ResultOf(OneMember({"previews/thumbnail.png", Png24(4, 4, 1), 14})), TDocResult::unsupported_method);

  // Well-formed zip64 records are read; one pointing outside is damage.
  Archive a;
  Member m{"previews/thumbnail.png", Png24(6, 4, 7), 0};
  m.zip64Size = true;
  a.members.push_back(m);
  a.zip64End = true;
  uint32_t end = 0;
  Bytes doc = BuildZip(a, nullptr, &end);
  TPreview p = ReadPreviewMemory(doc.data(), doc.size());
  ExpectPixels(p, 6, 4, 7);
  // The zip64 end record's directory offset (56 bytes + 20-byte locator before the classic end).
  Bytes bad = doc;
  size_t end64 = end - 20 - 56;
  Patch32(bad, end64 + 48, 0x7FFFFFFF);
  Patch32(bad, end64 + 52, 0x10);
  EXPECT_EQ(ResultOf(bad), TDocResult::damaged);
  bad = doc;
  Patch32(bad, end64 + 40, 0xFFFFFFF0);  // directory size that overflows
  Patch32(bad, end64 + 44, 0xFFFFFFFF);
  EXPECT_EQ(ResultOf(bad), TDocResult::damaged);
}

TEST(DocHostile, RiffFaults) {
  Bytes disp = DispData(6, 3, 236);
  Bytes past = BuildRiff({{"vrsn", Bytes{1, 2}}, {"DISP", disp}});
  Patch32(past, 12 + 10 + 4, 0x7FFFFFFF);  // DISP size past the end
  EXPECT_EQ(ResultOf(past), TDocResult::damaged);
  Bytes form = BuildRiff({{"vrsn", Bytes{1, 2}}, {"DISP", disp}});
  Patch32(form, 4, 0xFFFFFFFF);  // form size past the end: the chunks that are there count
  EXPECT_EQ(ResultOf(form), TDocResult::ok);
  Bytes shortForm = BuildRiff({{"DISP", disp}});
  Patch32(shortForm, 4, 2);  // a form too short for its own type: no chunk is read
  EXPECT_EQ(ResultOf(shortForm), TDocResult::no_preview);

  Bytes colors = disp;
  Patch32(colors, 4 + 32, 300);
  EXPECT_EQ(ResultOf(BuildRiff({{"DISP", colors}})), TDocResult::damaged);
  for (uint32_t wh : {0x7FFFFFFFu, 0x10000u}) {
    Bytes big = disp;
    Patch32(big, 4 + 4, wh);
    Patch32(big, 4 + 8, wh);
    EXPECT_EQ(ResultOf(BuildRiff({{"DISP", big}})), TDocResult::damaged) << wh;
  }
  Bytes negative = disp;
  Patch32(negative, 4 + 8, 0x80000000u);
  EXPECT_EQ(ResultOf(BuildRiff({{"DISP", negative}})), TDocResult::damaged);

  // Many empty chunks: the walk stops at its count.
  std::vector<RiffChunk> many(5000, RiffChunk{"junk", Bytes()});
  many.push_back({"DISP", disp});
  EXPECT_EQ(ResultOf(BuildRiff(many)), TDocResult::over_limit);
}
