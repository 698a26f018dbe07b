#include "dll/project_win.h"

namespace hi {

TClassListPlugProject_9772B88* PluginProject = nullptr;
THIListPlugProject* PluginProjectElement = nullptr;
TListDefaultParams DefaultParams;

THIListPlugProject::THIListPlugProject() { AddStartupHandler(&Started, this); }

void THIListPlugProject::Started(void* self) { FireNull(static_cast<THIListPlugProject*>(self)->onStart); }

TClassListPlugProject_9772B88::TClassListPlugProject_9772B88() {
  PluginProject = this;

  Project = new THIListPlugProject();
  Project->DetectText = DetectString;

  Viewers = new THiListPlug();
  Viewers->DefaultResult = 0;
  Viewers->ErrorMode = 0;
  Viewers->SetUp();
  Viewers->Owner = this;
  Viewers->onEvent.clear();
  Viewers->DataLinks.clear();

  Tools = new THIFTCG_Tools(0);
  Tools->Owner = this;
  Tools->Links1.clear();
  Tools->Links2.clear();

  Viewers->SetFactory(&ViewerSchemeFactory);
  Tools->SetFactory(&TClassFTCG_Tools_97CF1D0::Create);
}

TClassListPlugProject_9772B88::~TClassListPlugProject_9772B88() {
  delete Tools;
  if (ViewerContainer == Viewers) ViewerContainer = nullptr;
  delete Viewers;
  delete Project;
  if (PluginProject == this) PluginProject = nullptr;
}

}  // namespace hi
