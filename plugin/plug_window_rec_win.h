// The record of one viewer window, attached to it as the property "hiPlug".
#pragma once

#include <windows.h>

namespace hi {

class THiListPlug;
class THIEditMultiEx;
class THiListerForm;

struct TPlugWindowRec {
  THiListPlug* Container = nullptr;
  THIEditMultiEx* Instance = nullptr;
  THiListerForm* Form = nullptr;
  HWND HostWindow = nullptr;

  static constexpr const char* PropName = "hiPlug";
  // The record of a viewer window, or null for any other window.
  static TPlugWindowRec* Of(HWND window) {
    return window ? static_cast<TPlugWindowRec*>(GetPropA(window, PropName)) : nullptr;
  }
};

}  // namespace hi
