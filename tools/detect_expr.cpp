#include "tools/detect_expr.h"

#include <cctype>
#include <cstdint>

namespace listerhost {

namespace {

enum class Op { eq, ne, lt, gt, le, ge };

template <class T>
bool Apply(Op op, const T& a, const T& b) {
  switch (op) {
    case Op::eq: return a == b;
    case Op::ne: return !(a == b);
    case Op::lt: return a < b;
    case Op::gt: return b < a;
    case Op::le: return !(b < a);
    case Op::ge: return !(a < b);
  }
  return false;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class Parser {
 public:
  Parser(const std::string& text, const DetectSubject& subject) : s_(text), subject_(subject) {}

  DetectResult Run() {
    DetectResult r;
    bool value = Or();
    Skip();
    if (error_.empty() && pos_ != s_.size()) error_ = "unexpected text at " + std::to_string(pos_);
    r.ok = error_.empty();
    r.match = r.ok && value;
    r.error = error_;
    return r;
  }

 private:
  void Skip() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }
  bool Accept(const char* token) {
    Skip();
    size_t n = std::char_traits<char>::length(token);
    if (s_.compare(pos_, n, token) == 0) {
      pos_ += n;
      return true;
    }
    return false;
  }
  bool AcceptWord(const char* word) {
    Skip();
    size_t n = std::char_traits<char>::length(word);
    if (Upper(s_.substr(pos_, n)) != word) return false;
    if (pos_ + n < s_.size() && std::isalnum(static_cast<unsigned char>(s_[pos_ + n]))) return false;
    pos_ += n;
    return true;
  }
  void Fail(const std::string& what) {
    if (error_.empty()) error_ = what + " at " + std::to_string(pos_);
  }

  bool Or() {
    bool v = And();
    while (error_.empty() && Accept("|")) v = And() || v;
    return v;
  }
  bool And() {
    bool v = Unary();
    while (error_.empty() && Accept("&")) v = Unary() && v;
    return v;
  }
  bool Unary() {
    if (Accept("!=")) {  // not an operator here
      Fail("misplaced !=");
      return false;
    }
    if (Accept("!")) return !Unary();
    if (Accept("(")) {
      bool v = Or();
      if (!Accept(")")) Fail("missing )");
      return v;
    }
    if (AcceptWord("FORCE")) return subject_.force;
    if (AcceptWord("EXT")) {
      Op op = Operator();
      std::string text = Quoted();
      return Apply(op, Upper(FileExtension(subject_.fileName)), Upper(text));
    }
    if (AcceptWord("SIZE")) {
      Op op = Operator();
      return Apply(op, subject_.size, Number());
    }
    if (Accept("[")) {
      unsigned long long offset = Number();
      if (!Accept("]")) Fail("missing ]");
      Op op = Operator();
      Skip();
      long long expected;
      if (pos_ < s_.size() && s_[pos_] == '"') {
        std::string text = Quoted();
        if (text.size() != 1) Fail("one character expected");
        expected = text.empty() ? -1 : static_cast<unsigned char>(text[0]);
      } else {
        expected = (long long)Number();
      }
      if (offset >= subject_.head.size()) return false;
      return Apply(op, (long long)subject_.head[size_t(offset)], expected);
    }
    Fail("term expected");
    return false;
  }
  Op Operator() {
    if (Accept("!=")) return Op::ne;
    if (Accept("<=")) return Op::le;
    if (Accept(">=")) return Op::ge;
    if (Accept("=")) return Op::eq;
    if (Accept("<")) return Op::lt;
    if (Accept(">")) return Op::gt;
    Fail("operator expected");
    return Op::eq;
  }
  std::string Quoted() {
    Skip();
    if (pos_ >= s_.size() || s_[pos_] != '"') {
      Fail("quoted text expected");
      return std::string();
    }
    size_t end = s_.find('"', pos_ + 1);
    if (end == std::string::npos) {
      Fail("unterminated text");
      pos_ = s_.size();
      return std::string();
    }
    std::string text = s_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    return text;
  }
  unsigned long long Number() {
    Skip();
    size_t start = pos_;
    unsigned long long n = 0;
    while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_])) && n < (1ull << 60))
      n = n * 10 + unsigned(s_[pos_++] - '0');
    if (pos_ == start) Fail("number expected");
    return n;
  }

  const std::string& s_;
  const DetectSubject& subject_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

std::string FileExtension(const std::string& fileName) {
  size_t slash = fileName.find_last_of("\\/:");
  size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return fileName.substr(dot + 1);
}

DetectResult EvaluateDetectString(const std::string& expression, const DetectSubject& subject) {
  return Parser(expression, subject).Run();
}

}  // namespace listerhost
