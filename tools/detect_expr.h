// Evaluates a Lister plugin's detect string on a file, as the file manager
// does before it offers the file to the plugin.
#pragma once

#include <string>
#include <vector>

namespace listerhost {

struct DetectSubject {
  std::string fileName;             // the extension is taken from it
  std::vector<unsigned char> head;  // the first bytes of the file
  unsigned long long size = 0;
  bool force = false;  // the user asked for this plugin explicitly
};

struct DetectResult {
  bool ok = false;     // the expression parsed
  bool match = false;  // and it holds for the subject
  std::string error;
};

// Grammar: or := and ('|' and)*; and := unary ('&' unary)*;
// unary := '!' unary | '(' or ')' | FORCE | EXT op "text" | [n] op ("c" | number)
//          | SIZE op number; op is one of = != < > <= >=.
// EXT compares case-insensitively; a byte beyond the file's end never matches.
DetectResult EvaluateDetectString(const std::string& expression, const DetectSubject& subject);

// The extension of a file name without its dot ("" when there is none).
std::string FileExtension(const std::string& fileName);

}  // namespace listerhost
