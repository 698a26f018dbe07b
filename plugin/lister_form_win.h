// THiListerForm: the viewer window element. It makes the window the host
// embeds, carries the window record, turns loads and closes into events
// and passes the host's hot keys back to the host window.
#pragma once

#include <windows.h>

#include <string>

#include "plugin/plug_window_rec_win.h"
#include "toolkit/hi_win.h"

namespace hi {

class THiListerForm : public THIWin {
 public:
  explicit THiListerForm(TPlugWindowRec* record);
  ~THiListerForm() override;

  int32_t Result = 0;
  HWND HostWindow = nullptr;
  uint8_t HostHasParent = 0;
  std::string FileName;
  TEventLink onLoad, onUnload, onAttach, onShowFlags, onCreate, onFormShow, onFormMove, onClose;
  uint8_t DragForm = 0;
  uint8_t AddBorders = 0;
  uint8_t ResizeHost = 0;
  uint8_t PassKeys = 0;

  // Work point: 0 (success) unless the value is the integer 0.
  void doResult(TData& value, uint16_t index);
  // Data point FileName: the file of the current load.
  void FileNameData(TData& value, uint16_t index);

  int32_t Load(const std::string& fileName, int32_t showFlags, int32_t preset);
  void FireUnload() { FireNull(onUnload); }
  void FireClose() { FireNull(onClose); }
  void Attach(HWND host);
  void Show();

  HWND Window() const { return Control() ? Control()->HandleIfCreated() : nullptr; }
  // Whether a key is one of the host's hot keys passed back to it.
  bool PassesKey(int key, uint32_t shift) const;

  static constexpr const char* Caption = "Lister plugin. Debug version!..";

  void KeyDown(int& key, uint32_t shift) override;
  void KeyUp(int& key, uint32_t shift) override;
  void MouseDown(const kol::MouseData& m) override;
  bool Message(MSG& msg, LRESULT& result) override;
  void Shown() override;

 private:
  static void Started(void* self);
};

}  // namespace hi
