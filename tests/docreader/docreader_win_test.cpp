// Under Windows the reader opens documents by their wide name: a document
// whose name lies outside any ANSI code page must still be read.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "docreader/doc_reader.h"
#include "tests/docreader/doc_builder.h"

using namespace hi;
using namespace testing_doc;

TEST(DocReaderWin, OpensByWideName) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  // Cyrillic, CJK and a Greek letter: no single code page holds all three.
  std::wstring wide = std::wstring(temp) + L"\x0414\x043E\x043A-\x6587\x66F8-\x03A9.cdr";
  Bytes png = Png24(5, 4, 3);
  Bytes doc = ModernDocument(png, 8);
  FILE* f = _wfopen(wide.c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fwrite(doc.data(), 1, doc.size(), f), doc.size());
  fclose(f);
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], n, nullptr, nullptr);

  TPreview p = ReadPreviewFile(utf8);
  DeleteFileW(wide.c_str());
  ASSERT_EQ(p.result, TDocResult::ok) << DocResultMessage(p.result);
  EXPECT_EQ(p.kind, TPreviewKind::png);
  EXPECT_EQ(p.bytes, png);
  EXPECT_EQ(ReadPreviewFile(utf8).result, TDocResult::read_error);
  // A name that is not UTF-8 is not guessed at.
  EXPECT_EQ(ReadPreviewFile("\xFF\xFE.cdr").result, TDocResult::read_error);
}
