// A scheme's wiring as a table: each row names the source element and its
// link field, and the target element and its point, like a diagram's link
// list. Event links and data links are the same record.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

template <class Scheme>
struct TSchemeLink {
  TEventLink& (*Source)(Scheme&);
  TEventLink (*Target)(Scheme&);
  // The two elements the row names, so that a check can see them created.
  const TObject* (*SourceElement)(Scheme&);
  const TObject* (*TargetElement)(Scheme&);
};

template <class Scheme, size_t N>
void MakeSchemeLinks(Scheme& scheme, const TSchemeLink<Scheme> (&links)[N]) {
  for (const TSchemeLink<Scheme>& row : links) row.Source(scheme) = row.Target(scheme);
}

// The elements a scheme owns, released in the reverse of their creation.
class TSchemeElements {
 public:
  ~TSchemeElements() { ReleaseAll(); }
  template <class T>
  T* Own(T* element) {
    list_.emplace_back(element);
    return element;
  }
  // Releases one element ahead of the others.
  void ReleaseFirst(const TObject* element) {
    for (auto& e : list_)
      if (e.get() == element) e.reset();
  }
  void ReleaseAll() {
    while (!list_.empty()) list_.pop_back();
  }

 private:
  std::vector<std::unique_ptr<TObject>> list_;
};

// Base of a generated scheme class: Own(new element) keeps what the scheme
// creates, and the scheme's destructor releases it through elements_.
class TSchemeOwner {
 protected:
  template <class T>
  T* Own(T* element) {
    return elements_.Own(element);
  }
  TSchemeElements elements_;
};

}  // namespace hi

// SCHEME_LINK(source element, its link field, target element, Class::point, index)
#define SCHEME_LINK(src, field, dst, point, index)                                                             \
  ::hi::TSchemeLink<S> {                                                                                       \
    [](S& s) -> ::hi::TEventLink& { return s.src->field; },                                                    \
        [](S& s) { return ::hi::LinkTo<&::hi::point>(s.dst, uint16_t(index)); },                               \
        [](S& s) -> const ::hi::TObject* { return s.src; }, [](S& s) -> const ::hi::TObject* { return s.dst; } \
  }
