// The settings inner scheme: it yields the folder of the plugin library
// (Data[1]) and the path of a settings file beside it (Data[0]).
#pragma once

#include "framework/hub.h"
#include "plugin/application_win.h"
#include "plugin/multi_element.h"
#include "scheme/file_part_elm.h"
#include "scheme/format_str.h"
#include "scheme/scheme_links.h"

namespace hi {

class TClassMultiElementEx_97D3AB0 : public TClassMultiBase, private TSchemeOwner {
 public:
  TClassMultiElementEx_97D3AB0(THIMultiElementEx* container, void* parentValue, TObject* owner);
  ~TClassMultiElementEx_97D3AB0() override;
  static THIEditMultiEx* Create(THIMultiElementEx* container, void* parentValue, TObject* owner);
  // The wiring, LinkCount rows; the constructor makes these links.
  static constexpr size_t LinkCount = 11;
  static const TSchemeLink<TClassMultiElementEx_97D3AB0>* Links();

  THIEditMultiEx* InnerBoundary;
  THIApplication* Library;
  THIFilePartElm* LibFolder;
  THIFilePartElm* LibName;
  THIFormatStr* IniPath;
  THIHub* InnerHub;
};

}  // namespace hi
