// The plugin project: built once by ListSetDefaultParams, alive until the
// process ends or the library is unloaded with no viewer open.
#pragma once

#include <cstdint>
#include <string>

#include "docreader/doc_signature.h"
#include "framework/data.h"
#include "framework/object.h"
#include "plugin/ftcg_tools.h"
#include "plugin/list_plug_win.h"
#include "plugin/multi_element.h"

namespace hi {

// The host's default-parameters record, kept as a verbatim copy: no field of
// it is read, the INI name included.
struct TListDefaultParams {
  int32_t Size;
  uint32_t PluginInterfaceVersionLow;
  uint32_t PluginInterfaceVersionHi;
  char DefaultIniName[260];  // MAX_PATH
};
static_assert(sizeof(TListDefaultParams) == 272, "the host's record is 272 bytes");

class THIListPlugProject : public TObject {
 public:
  THIListPlugProject();
  std::string DetectText;
  TEventLink onStart;

 private:
  static void Started(void* self);
};

// The constructor of the viewer scheme that the container builds for every
// quick-view window. The plugin file links the real scheme; test plugins
// link their own.
THIEditMultiEx* ViewerSchemeFactory(THIMultiElementEx* container, void* parentValue, TObject* owner);

class TClassListPlugProject_9772B88 : public TObject {
 public:
  TClassListPlugProject_9772B88();
  ~TClassListPlugProject_9772B88() override;

  THIListPlugProject* Project = nullptr;
  THiListPlug* Viewers = nullptr;
  THIFTCG_Tools* Tools = nullptr;
};

// Library-wide references.
extern TClassListPlugProject_9772B88* PluginProject;
extern THIListPlugProject* PluginProjectElement;
extern TListDefaultParams DefaultParams;

}  // namespace hi
