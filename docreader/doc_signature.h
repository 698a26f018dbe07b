// What a drawing document is, told from its first bytes alone. The one rule
// for the viewer, the document reader, the file panel and the expression
// the host evaluates before it offers a file to the plugin.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hi {

enum class TDocEra : uint8_t {
  none,  // no drawing document
  zip,   // format versions 14 and later: a ZIP archive, "PK\3\4"
  riff,  // format versions up to 13: "RIFF", a size, the form type "CDR" and a version letter
};

// The bytes the rule looks at; fewer never make a RIFF drawing.
constexpr size_t DocSignatureBytes = 12;

// The form type's letters match in either case and the version letter is a
// space, a digit 1 to 9 or any byte from 'A' up: the rule of libcdr, which
// reads these documents. Every test is one byte against one value, so the
// detection expression below can say the same.
TDocEra DocumentEraOf(const void* head, size_t size);

// The detection expression the host evaluates for every file: one of the
// drawing extensions (or FORCE), and the rule of DocumentEraOf. The host
// compares bytes exactly and a byte past the file's end never matches.
constexpr const char DetectString[] =
    "(FORCE|EXT=\"CDR\"|EXT=\"CDT\"|EXT=\"PAT\"|EXT=\"DES\")&(([0]=\"P\"&[1]=\"K\"&[2]=3&[3]=4)|"
    "([0]=\"R\"&[1]=\"I\"&[2]=\"F\"&[3]=\"F\"&([8]=\"C\"|[8]=\"c\")&([9]=\"D\"|[9]=\"d\")&([10]=\"R\"|[10]=\"r\")&"
    "([11]=32|[11]>=\"1\"&[11]<=\"9\"|[11]>=\"A\")))";

}  // namespace hi
