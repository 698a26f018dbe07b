// Two threads take the panel picture of the same documents at once, as two
// file panels do, and scale it: built with ThreadSanitizer, which fails the
// run on any data race in the reader, the decoders or the scaler. Each
// answer must also equal the one a single call gave.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "plugin/panel_preview.h"
#include "tests/docreader/doc_builder.h"

using namespace testing_doc;

namespace {

std::vector<uint8_t> Thumbnail(const std::string& name, const std::vector<uint8_t>& head) {
  hi::TPanelThumbnail thumbnail;
  if (!hi::MakePanelThumbnailFile(name, head.data(), head.size(), 96, 96, thumbnail).Ok()) return {};
  return thumbnail.bgr;
}

}  // namespace

int main() {
  // libzip turns member times into time_t through mktime; with TZ unset,
  // glibc's tzset replaces its copy of the zone name on every call, under a
  // lock of its own that ThreadSanitizer cannot see. A set TZ skips that.
  setenv("TZ", "UTC", 1);
  const std::vector<Bytes> docs = {
      ModernDocument(Png24(256, 256, 3), 0),
      BmpEraDocument(Bmp24(200, 150, 4), 8),
      BuildRiff({{"DISP", DispData(120, 90, 0)}}),
  };
  std::vector<std::string> names;
  std::vector<Bytes> expected;
  for (size_t i = 0; i < docs.size(); ++i) {
    names.push_back("/tmp/panel_tsan_" + std::to_string(getpid()) + "_" + std::to_string(i) + ".cdr");
    std::FILE* f = std::fopen(names.back().c_str(), "wb");
    if (!f || std::fwrite(docs[i].data(), 1, docs[i].size(), f) != docs[i].size()) return 2;
    std::fclose(f);
    expected.push_back(Thumbnail(names[i], docs[i]));
    if (expected.back().empty()) {
      std::fprintf(stderr, "no thumbnail for document %zu\n", i);
      return 1;
    }
  }
  int wrong[2] = {0, 0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 150; ++i) {
        const size_t d = size_t(i + t) % docs.size();
        if (Thumbnail(names[d], docs[d]) != expected[d]) ++wrong[t];
      }
    });
  for (auto& th : threads) th.join();
  for (const std::string& n : names) std::remove(n.c_str());
  std::printf("300 calls on 2 threads, %d wrong answers\n", wrong[0] + wrong[1]);
  return wrong[0] + wrong[1] == 0 ? 0 : 1;
}
