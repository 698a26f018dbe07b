#include "docreader/doc_reader.h"

#include <zip.h>
#include <zlib.h>

#include <cstring>
#include <memory>

#include "docreader/riff_preview.h"

namespace hi {

const char* DocResultMessage(TDocResult result) {
  switch (result) {
    case TDocResult::ok: return "ok";
    case TDocResult::not_document: return "not a drawing document";
    case TDocResult::no_preview: return "the document carries no preview";
    case TDocResult::unsupported_method: return "the preview is compressed with an unsupported method";
    case TDocResult::encrypted: return "the preview is encrypted";
    case TDocResult::damaged: return "the document is damaged";
    case TDocResult::over_limit: return "a size in the document is over the limit";
    case TDocResult::read_error: return "the document could not be read";
  }
  return "unknown result";
}

const char* PreviewKindName(TPreviewKind kind) {
  switch (kind) {
    case TPreviewKind::none: return "none";
    case TPreviewKind::png: return "png";
    case TPreviewKind::bmp: return "bmp";
    case TPreviewKind::dib: return "dib";
  }
  return "none";
}

namespace {

constexpr uint16_t MethodStored = 0;
constexpr uint16_t MethodDeflated = 8;

std::string BaseName(const std::string& name) {
  size_t cut = name.find_last_of("/\\");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

bool EqualsAsciiNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return true;
}

TPreview Fail(TDocResult why) {
  TPreview p;
  p.result = why;
  return p;
}

// libzip reads the document through this callback, so every byte it takes
// goes through the counted source and nothing opens the file a second time.
struct TZipFeed {
  explicit TZipFeed(TDocSource& from) : source(&from) { zip_error_init(&error); }
  ~TZipFeed() { zip_error_fini(&error); }
  TZipFeed(const TZipFeed&) = delete;
  TZipFeed& operator=(const TZipFeed&) = delete;
  TDocSource* source;
  uint64_t position = 0;
  bool readFailed = false;  // the source itself failed, not the archive's offsets
  zip_error_t error;
};

zip_int64_t FeedCallback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* feed = static_cast<TZipFeed*>(state);
  switch (cmd) {
    case ZIP_SOURCE_OPEN: feed->position = 0; return 0;
    case ZIP_SOURCE_READ: {
      size_t want = len > SIZE_MAX ? SIZE_MAX : size_t(len);
      int64_t n = feed->source->ReadAt(feed->position, data, want);
      if (n < 0) {
        feed->readFailed = true;
        zip_error_set(&feed->error, ZIP_ER_READ, 0);
        return -1;
      }
      feed->position += uint64_t(n);
      return n;
    }
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE: return 0;
    case ZIP_SOURCE_STAT: {
      if (len < sizeof(zip_stat_t)) {
        zip_error_set(&feed->error, ZIP_ER_INVAL, 0);
        return -1;
      }
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->size = feed->source->Size();
      st->valid |= ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR: return zip_error_to_data(&feed->error, data, len);
    case ZIP_SOURCE_SEEK: {
      zip_int64_t to = zip_source_seek_compute_offset(feed->position, feed->source->Size(), data, len, &feed->error);
      if (to < 0) return -1;
      feed->position = uint64_t(to);
      return 0;
    }
    case ZIP_SOURCE_TELL: return zip_int64_t(feed->position);
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                                            ZIP_SOURCE_SUPPORTS, -1);
    default: zip_error_set(&feed->error, ZIP_ER_OPNOTSUPP, 0); return -1;
  }
}

// A read or seek that fails while the source is sound means the archive
// pointed past its own end.
TDocResult FromZipError(int code, const TZipFeed& feed) {
  if (feed.readFailed) return TDocResult::read_error;
  switch (code) {
    case ZIP_ER_COMPNOTSUPP: return TDocResult::unsupported_method;
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD: return TDocResult::encrypted;
    case ZIP_ER_MEMORY: return TDocResult::over_limit;
    default: return TDocResult::damaged;
  }
}

struct TArchiveCloser {
  void operator()(zip_t* za) const { zip_discard(za); }
};
struct TMemberCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using TArchive = std::unique_ptr<zip_t, TArchiveCloser>;
using TMember = std::unique_ptr<zip_file_t, TMemberCloser>;

// Opens the archive read-only: duplicate names are then allowed, as the
// archiver allows them, and the directory is checked for consistency.
TDocResult OpenArchive(TZipFeed& feed, TArchive& archive) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_function_create(FeedCallback, &feed, &error);
  if (!src) return TDocResult::over_limit;
  zip_t* za = zip_open_from_source(src, ZIP_RDONLY, &error);
  int code = zip_error_code_zip(&error);
  zip_error_fini(&error);
  if (!za) {
    zip_source_free(src);
    // Past a local-header signature, a missing directory means a cut file.
    return code == ZIP_ER_NOZIP ? TDocResult::damaged : FromZipError(code, feed);
  }
  archive.reset(za);
  return TDocResult::ok;
}

// The members whose name the rule accepts, in archive order.
template <class Rule>
TDocResult CollectMembers(zip_t* za, const TDocLimits& limits, std::vector<TThumbnailMember>& members,
                          const Rule& accepts) {
  zip_int64_t count = zip_get_num_entries(za, 0);
  if (count < 0) return TDocResult::damaged;
  if (uint64_t(count) > limits.maxMembers) return TDocResult::over_limit;
  for (zip_uint64_t i = 0; i < zip_uint64_t(count); ++i) {
    zip_stat_t st;
    if (zip_stat_index(za, i, 0, &st) != 0) return TDocResult::damaged;
    if (!(st.valid & ZIP_STAT_NAME) || !st.name || !accepts(std::string(st.name))) continue;
    TThumbnailMember m;
    m.index = i;
    m.name = st.name;
    m.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    m.compressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    m.method = (st.valid & ZIP_STAT_COMP_METHOD) ? st.comp_method : 0;
    m.encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    members.push_back(std::move(m));
  }
  return TDocResult::ok;
}

// Reads one member to its declared size and no further. One byte more than
// declared is asked for: getting it means the member inflates past its size;
// getting end-of-data lets libzip compare its CRC. The CRC is also compared
// here, so the check does not rest on one library's habits.
TPreview ReadMember(zip_t* za, const TZipFeed& feed, const TThumbnailMember& m, const TDocLimits& limits) {
  if (m.encrypted) return Fail(TDocResult::encrypted);
  if (m.method != MethodStored && m.method != MethodDeflated) return Fail(TDocResult::unsupported_method);
  if (m.size > limits.maxPreviewBytes || m.size > SIZE_MAX - 1) return Fail(TDocResult::over_limit);
  if (m.size == 0) return Fail(TDocResult::damaged);
  zip_stat_t st;
  if (zip_stat_index(za, m.index, 0, &st) != 0 || !(st.valid & ZIP_STAT_CRC)) return Fail(TDocResult::damaged);
  TMember file(zip_fopen_index(za, m.index, 0));
  if (!file) return Fail(FromZipError(zip_error_code_zip(zip_get_error(za)), feed));
  TPreview p;
  p.bytes.resize(size_t(m.size));
  uint64_t got = 0;
  while (got < m.size) {
    zip_int64_t n = zip_fread(file.get(), p.bytes.data() + got, m.size - got);
    if (n < 0) return Fail(FromZipError(zip_error_code_zip(zip_file_get_error(file.get())), feed));
    if (n == 0) return Fail(TDocResult::damaged);
    got += uint64_t(n);
  }
  uint8_t extra;
  zip_int64_t n = zip_fread(file.get(), &extra, 1);
  if (n != 0)
    return Fail(n > 0 ? TDocResult::damaged : FromZipError(zip_error_code_zip(zip_file_get_error(file.get())), feed));
  uLong crc = crc32(0L, Z_NULL, 0);
  for (uint64_t at = 0; at < got;) {
    uInt step = got - at > 0x40000000u ? 0x40000000u : uInt(got - at);
    crc = crc32(crc, p.bytes.data() + at, step);
    at += step;
  }
  if (uint32_t(crc) != st.crc) return Fail(TDocResult::damaged);
  p.result = TDocResult::ok;
  const std::string base = BaseName(m.name);
  p.kind = base.size() > 4 && EqualsAsciiNoCase(base.substr(base.size() - 4), ".png") ? TPreviewKind::png
                                                                                      : TPreviewKind::bmp;
  p.source = m.name;
  return p;
}

// The member of the highest rank; among equal ranks the latest in the
// archive, as the archiver's overwrite of an earlier extracted file of the
// same name does.
template <class Rank>
TPreview ReadBestMember(zip_t* za, const TZipFeed& feed, const std::vector<TThumbnailMember>& members,
                        const Rank& rankOf, const TDocLimits& limits) {
  const TThumbnailMember* best = nullptr;
  int bestRank = 0;
  for (const TThumbnailMember& m : members) {
    const int rank = rankOf(m.name);
    if (rank > 0 && rank >= bestRank) {
      best = &m;
      bestRank = rank;
    }
  }
  if (!best) return Fail(TDocResult::no_preview);
  return ReadMember(za, feed, *best, limits);
}

TDocEra Detect(TDocSource& source, TDocResult& why) {
  uint8_t head[DocSignatureBytes] = {};
  int64_t n = source.ReadAt(0, head, sizeof head);
  if (n < 0) {
    why = TDocResult::read_error;
    return TDocEra::none;
  }
  TDocEra era = DocumentEraOf(head, size_t(n));
  if (era == TDocEra::none) why = TDocResult::not_document;
  return era;
}

}  // namespace

TDocEra DocumentEra(TDocSource& source) {
  TDocResult why = TDocResult::ok;
  return Detect(source, why);
}

int ThumbnailRank(const std::string& memberName) {
  std::string base = BaseName(memberName);
  if (EqualsAsciiNoCase(base, "thumbnail.png")) return 2;
  if (EqualsAsciiNoCase(base, "thumbnail.bmp")) return 1;
  return 0;
}

int PagePreviewRank(const std::string& memberName, int page) {
  std::string name = memberName;
  for (char& c : name)
    if (c == '\\') c = '/';
  const std::string number = std::to_string(page);
  if (EqualsAsciiNoCase(name, ("previews/page" + number + ".png").c_str())) return 2;
  if (EqualsAsciiNoCase(name, ("metadata/thumbnails/page" + number + ".bmp").c_str())) return 1;
  return 0;
}

bool IsThumbnailMember(const std::string& memberName) {
  std::string base = BaseName(memberName);
  return base.size() >= 10 && EqualsAsciiNoCase(base.substr(0, 10), "thumbnail.");
}

TPreview ReadPreview(TDocSource& source, const TDocLimits& limits) {
  TDocResult why = TDocResult::ok;
  TDocEra era = Detect(source, why);
  return era == TDocEra::none ? Fail(why) : ReadPreview(source, era, limits);
}

TPreview ReadPreview(TDocSource& source, TDocEra era, const TDocLimits& limits) {
  switch (era) {
    case TDocEra::none: return Fail(TDocResult::not_document);
    case TDocEra::riff: return ReadRiffPreview(source, limits);
    case TDocEra::zip: break;
  }
  TZipFeed feed(source);
  TArchive archive;
  TDocResult opened = OpenArchive(feed, archive);
  if (opened != TDocResult::ok) return Fail(opened);
  std::vector<TThumbnailMember> members;
  TDocResult listed = CollectMembers(archive.get(), limits, members, IsThumbnailMember);
  if (listed != TDocResult::ok) return Fail(listed);
  return ReadBestMember(archive.get(), feed, members, ThumbnailRank, limits);
}

TPreview ReadPagePreview(TDocSource& source, int page, const TDocLimits& limits) {
  TDocResult why = TDocResult::ok;
  const TDocEra era = Detect(source, why);
  if (era == TDocEra::none) return Fail(why);
  if (era == TDocEra::riff || page < 1) return Fail(TDocResult::no_preview);
  TZipFeed feed(source);
  TArchive archive;
  TDocResult opened = OpenArchive(feed, archive);
  if (opened != TDocResult::ok) return Fail(opened);
  auto rank = [page](const std::string& name) { return PagePreviewRank(name, page); };
  std::vector<TThumbnailMember> members;
  TDocResult listed = CollectMembers(archive.get(), limits, members, [&](const std::string& n) { return rank(n) > 0; });
  if (listed != TDocResult::ok) return Fail(listed);
  return ReadBestMember(archive.get(), feed, members, rank, limits);
}

TPreview ReadPreviewFile(const std::string& utf8Name, const TDocLimits& limits) {
  std::unique_ptr<TDocSource> source = OpenDocFile(utf8Name);
  if (!source) return Fail(TDocResult::read_error);
  return ReadPreview(*source, limits);
}

TPreview ReadPreviewMemory(const void* data, size_t size, const TDocLimits& limits) {
  TMemoryDocSource source(data, size);
  return ReadPreview(source, limits);
}

TDocResult ListThumbnailMembers(TDocSource& source, std::vector<TThumbnailMember>& members, const TDocLimits& limits) {
  members.clear();
  TDocResult why = TDocResult::ok;
  TDocEra era = Detect(source, why);
  return era == TDocEra::none ? why : ListThumbnailMembers(source, era, members, limits);
}

TDocResult ListThumbnailMembers(TDocSource& source, TDocEra era, std::vector<TThumbnailMember>& members,
                                const TDocLimits& limits) {
  members.clear();
  switch (era) {
    case TDocEra::none: return TDocResult::not_document;
    case TDocEra::riff: return TDocResult::ok;
    case TDocEra::zip: break;
  }
  TZipFeed feed(source);
  TArchive archive;
  TDocResult opened = OpenArchive(feed, archive);
  if (opened != TDocResult::ok) return opened;
  return CollectMembers(archive.get(), limits, members, IsThumbnailMember);
}

}  // namespace hi
