#include "scheme/lib_folder_scheme_win.h"

#include "scheme/scheme_links.h"

namespace hi {

using S = TClassMultiElementEx_97D3AB0;

// The inner scheme's links, row for row.
static const TSchemeLink<S> kInnerLinks[] = {
    /*  1 */ SCHEME_LINK(InnerBoundary, onWork[0], InnerHub, THIHub::doEvent, 0),
    /*  2 */ SCHEME_LINK(InnerBoundary, Data[0], IniPath, THIFormatStr::Result, 0),
    /*  3 */ SCHEME_LINK(InnerBoundary, Data[1], LibFolder, THIFilePartElm::Result, 0),
    /*  4 */ SCHEME_LINK(LibFolder, FileName, Library, THIApplication::ModuleName, 0),
    /*  5 */ SCHEME_LINK(LibName, FileName, Library, THIApplication::ModuleName, 0),
    /*  6 */ SCHEME_LINK(IniPath, onResult, InnerBoundary, THIEditMultiEx::doWork, 0),
    /*  7 */ SCHEME_LINK(IniPath, Arg[0], LibFolder, THIFilePartElm::Result, 0),
    /*  8 */ SCHEME_LINK(IniPath, Arg[1], LibName, THIFilePartElm::Result, 0),
    /*  9 */ SCHEME_LINK(InnerHub, onEvent[0], LibFolder, THIFilePartElm::doPart, 0),
    /* 10 */ SCHEME_LINK(InnerHub, onEvent[1], LibName, THIFilePartElm::doPart, 0),
    /* 11 */ SCHEME_LINK(InnerHub, onEvent[2], IniPath, THIFormatStr::doString, 0),
};
static_assert(sizeof(kInnerLinks) / sizeof(kInnerLinks[0]) == S::LinkCount, "the inner scheme has 11 links");

const TSchemeLink<S>* S::Links() { return kInnerLinks; }

TClassMultiElementEx_97D3AB0::TClassMultiElementEx_97D3AB0(THIMultiElementEx* container, void* parentValue,
                                                           TObject* owner)
    : TClassMultiBase(owner, parentValue) {
  InnerBoundary = Own(new THIEditMultiEx(1, 2));
  Library = Own(new THIApplication());
  Library->Flag = 1;
  // An empty title leaves the application window as it is: the call has no
  // effect and is kept as the scheme makes it.
  Library->Title("");
  LibFolder = Own(new THIFilePartElm());
  LibFolder->Mode = 0;
  LibName = Own(new THIFilePartElm());
  LibName->Mode = 2;
  // The settings file path beside the library (Data[0]) is formed on every
  // run, but the viewer scheme reads only the folder (Data[1]).
  IniPath = Own(new THIFormatStr());
  IniPath->SetCount(2);
  IniPath->Mask = "%1%2.ini";
  InnerHub = Own(new THIHub());
  InnerHub->SetOutCount(3);

  InnerBoundary->Bind(this, container);
  MakeSchemeLinks(*this, kInnerLinks);
}

TClassMultiElementEx_97D3AB0::~TClassMultiElementEx_97D3AB0() { elements_.ReleaseAll(); }

THIEditMultiEx* TClassMultiElementEx_97D3AB0::Create(THIMultiElementEx* container, void* parentValue, TObject* owner) {
  return (new TClassMultiElementEx_97D3AB0(container, parentValue, owner))->Boundary;
}

}  // namespace hi
