#include "scheme/format_str.h"

namespace hi {

namespace detail {

// Code 0 stands for a literal percent sign while placeholders are replaced;
// code 1 goes in front of every inserted value so that a value beginning
// with a digit never lengthens the placeholder right before it.
constexpr char LiteralPercent = '\0';
constexpr char ValueMark = '\1';

FormatRun::FormatRun(const std::string& mask) {
  text_.reserve(mask.size());
  for (size_t i = 0; i < mask.size(); ++i) {
    if (mask[i] == '%' && i + 1 < mask.size() && mask[i + 1] == '%') {
      text_ += LiteralPercent;
      ++i;
    } else {
      text_ += mask[i];
    }
  }
  inserted_.assign(text_.size(), false);
}

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void FormatRun::Replace(int32_t number, const std::string& value) {
  const std::string placeholder = "%" + FormatInteger(number);
  const std::string replacement = ValueMark + value;
  size_t pos = text_.find(placeholder);
  while (pos != std::string::npos) {
    const size_t end = pos + placeholder.size();
    bool fromMask = true;
    for (size_t i = pos; i < end && fromMask; ++i) fromMask = !inserted_[i];
    // %1 inside %10 is not a match; a placeholder at the very end is.
    if (fromMask && (end == text_.size() || !IsDigit(text_[end]))) {
      text_.replace(pos, placeholder.size(), replacement);
      inserted_.erase(inserted_.begin() + std::ptrdiff_t(pos), inserted_.begin() + std::ptrdiff_t(end));
      inserted_.insert(inserted_.begin() + std::ptrdiff_t(pos), replacement.size(), true);
      pos = text_.find(placeholder, pos + replacement.size());
    } else {
      pos = text_.find(placeholder, pos + 1);
    }
  }
}

std::string FormatRun::Finish() const {
  std::string out;
  out.reserve(text_.size());
  for (char c : text_) {
    if (c == ValueMark) continue;
    out += c == LiteralPercent ? '%' : c;
  }
  return out;
}

}  // namespace detail

void THIFormatStr::SetCount(int32_t n) {
  if (n < 0) n = 0;
  Arg.assign(size_t(n), TEventLink());
  Count = n;
}

void THIFormatStr::doString(TData& value, uint16_t) {
  static const TEventLink unlinked;
  LastResult = FormatPlaceholders(Mask, Count, [&](int32_t i) {
    const TEventLink& link = size_t(i) <= Arg.size() ? Arg[size_t(i - 1)] : unlinked;
    return ReadString(value, link, std::string());
  });
  ForwardString(value, onResult, LastResult);
}

void THIFormatStr::Result(TData& value, uint16_t) { MakeString(value, LastResult); }

}  // namespace hi
