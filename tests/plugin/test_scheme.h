// Small schemes for the container and viewer tests: a viewer-like scheme
// with a THiListerForm and one child window element, and a counting scheme
// with one work point, one data point and one outward event.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugin/lister_form_win.h"
#include "plugin/multi_element.h"

namespace test {

// What the next viewer instances do.
struct ViewerConfig {
  bool failLoad = false;
  uint8_t resizeHost = 0;
  uint8_t addBorders = 0;
  uint8_t dragForm = 0;
};
extern ViewerConfig g_config;
// Every event of the test schemes, as "name:value".
extern std::vector<std::string> g_log;
size_t CountLog(const std::string& entry);

// Records events; with failLoad it reports failure from inside onLoad.
class TRecorder : public hi::TObject {
 public:
  std::vector<std::string> Names;
  hi::TEventLink Fail;
  void doEvent(hi::TData& value, uint16_t index);
};

// A window element whose control is a child paint area of its parent.
class TChildElement : public hi::THIWin {
 public:
  explicit TChildElement(kol::TControl* parent);
};

class TViewerScheme : public hi::TClassMultiBase {
 public:
  TViewerScheme(hi::THIMultiElementEx* container, void* parentValue, hi::TObject* owner);
  ~TViewerScheme() override;
  static hi::THIEditMultiEx* Create(hi::THIMultiElementEx* container, void* parentValue, hi::TObject* owner);

  hi::THiListerForm* Form;
  TChildElement* Child;
  TRecorder* Recorder;
  static int Live;

 private:
  std::vector<std::unique_ptr<hi::TObject>> elements_;
};

// One work point (fires the container's event 0 when the value is "out",
// else records it), one data point (its serial number) and a start handler.
class TCountScheme : public hi::TClassMultiBase {
 public:
  TCountScheme(hi::THIMultiElementEx* container, void* parentValue, hi::TObject* owner);
  ~TCountScheme() override;
  static hi::THIEditMultiEx* Create(hi::THIMultiElementEx* container, void* parentValue, hi::TObject* owner);

  void doWork(hi::TData& value, uint16_t index);
  void Serial(hi::TData& value, uint16_t index);

  int Id;
  std::unique_ptr<hi::THIEditMultiEx> Edge;
  static int Made, Destroyed;
};

}  // namespace test
