// Builds a string from a template by replacing the placeholders %1..%N with
// the values pulled through the element's argument points.
#pragma once

#include <string>
#include <vector>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIFormatStr : public TObject {
 public:
  std::string LastResult;  // empty until the first doString
  int32_t Count = 0;
  std::vector<TEventLink> Arg;  // Arg[i - 1] gives the value of %i
  std::string Mask;
  TEventLink onResult;

  // Sizes the argument array to n empty links.
  void SetCount(int32_t n);

  // Formats Mask, pulling every argument exactly once in order 1..Count,
  // and forwards the result to onResult.
  void doString(TData& value, uint16_t index);
  // Data point: the last formatted string.
  void Result(TData& value, uint16_t index);
};

// The formatting rules on their own; arg(i) is asked once for each i in
// 1..count, in order. Text that was inserted for a placeholder is never
// searched for a later placeholder.
template <class ArgFn>
std::string FormatPlaceholders(const std::string& mask, int32_t count, ArgFn&& arg);

namespace detail {
// One formatting run: the text and, per character, whether it was inserted.
class FormatRun {
 public:
  explicit FormatRun(const std::string& mask);
  void Replace(int32_t number, const std::string& value);
  std::string Finish() const;

 private:
  std::string text_;
  std::vector<bool> inserted_;
};
}  // namespace detail

template <class ArgFn>
std::string FormatPlaceholders(const std::string& mask, int32_t count, ArgFn&& arg) {
  detail::FormatRun run(mask);
  for (int32_t i = 1; i <= count; ++i) run.Replace(i, arg(i));
  return run.Finish();
}

}  // namespace hi
