// The common base of elements: owned through a base pointer and destroyed
// in the reverse of their creation order by the scheme that made them.
#pragma once

namespace hi {

class TObject {
 public:
  virtual ~TObject() = default;
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
};

}  // namespace hi
