// The plugin file's viewer scheme.
#include "dll/project_win.h"
#include "scheme/viewer_scheme_win.h"

hi::THIEditMultiEx* hi::ViewerSchemeFactory(THIMultiElementEx* container, void* parentValue, TObject* owner) {
  return TClassListPlug_97CE780::Create(container, parentValue, owner);
}
