// The plugin project: built once by ListSetDefaultParams, alive until the
// process ends.
#pragma once

#include <string>

#include "framework/data.h"
#include "framework/object.h"
#include "plugin/ftcg_tools.h"
#include "plugin/list_plug_win.h"
#include "plugin/multi_element.h"

namespace hi {

// The detection expression the host evaluates for every file: one of the
// drawing extensions (or FORCE) and the ZIP local-header signature.
constexpr const char DetectString[] =
    "(FORCE|EXT=\"CDR\"|EXT=\"CDT\"|EXT=\"PAT\"|EXT=\"DES\")&([0]=\"P\" & [1]=\"K\" & [2]=3 & [3]=4)";
static_assert(sizeof(DetectString) - 1 == 83, "the detect string has 83 characters");

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
extern unsigned char DefaultParams[272];

}  // namespace hi
