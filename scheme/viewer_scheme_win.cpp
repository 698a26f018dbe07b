#include "scheme/viewer_scheme_win.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "scheme/lib_folder_scheme_win.h"
#include "scheme/scheme_links.h"
#include "toolkit/platform.h"
#include "toolkit/wide.h"

namespace hi {

using S = TClassListPlug_97CE780;

// The viewer scheme's links, row for row; Arg[i] is the data link of %(i+1).
//
// Additions for the documents the viewer reads itself: rows 71 to 77, and
// rows 23 and 40 re-pointed through DocPreview, which opens the document
// once per load.
// - 23: the load step asks DocPreview first. A RIFF drawing's DISP picture is
//   shown at once without the archiver (71, then 72: LoadSucceeded); a RIFF
//   drawing without a usable preview gets "No_Thumb" (73). Any other file
//   goes on as before (74) to the archiver test that row 23 used to reach.
// - 40: with the archiver present, DocPreview's guard decides instead of a
//   second look at the document. The archiver takes '?' and '*' in a name as
//   a pattern and would extract whatever document matches, so it is started
//   only for a name that is an existing file: a missing document, or a name
//   that no file can have (a host had to put '?' for characters of another
//   code page), shows "No_Thumb" (73). An existing ZIP document does not
//   start the archiver at once either: declared "thumbnail.*" sizes over the
//   guard's limit, or a clean directory without any, give "No_Thumb" (73);
//   every other case runs the archiver (75).
// - 76: the document's name for both points. 77: the load hub's spare output
//   stops the previous file's archiver, so that its late output cannot probe
//   over a picture shown in-process.
static const TSchemeLink<S> kViewerLinks[] = {
    /*  1 */ SCHEME_LINK(ViewerForm, onLoad, LoadHub, THIHub::doEvent, 0),
    /*  2 */ SCHEME_LINK(ViewerForm, onUnload, ThumbCleaner, THIFileTools::doDelete, 0),
    /*  3 */ SCHEME_LINK(ShowFlagsHub, onEvent[0], FitFlagMask, THIMath::doOperation, 0),
    /*  4 */ SCHEME_LINK(LoadFailed, onData, ViewerForm, THiListerForm::doResult, 0),
    /*  5 */ SCHEME_LINK(HostCommand, onParamsChanged, ParamsHub, THIHub::doEvent, 0),
    /*  6 */ SCHEME_LINK(CommandDone, onData, HostCommand, THitcListCommand::doResult, 0),
    /*  7 */ SCHEME_LINK(ParamsHub, onEvent[0], FitParamTest, THIIf_else::doCompare, 0),
    /*  8 */ SCHEME_LINK(ParamsHub, onEvent[1], CommandDone, THIDoData::doData, 0),
    /*  9 */ SCHEME_LINK(FitParamTest, onTrue, ViewStylePicker, THIChanelToIndex::doChannel, 0),
    /* 10 */ SCHEME_LINK(FitParamTest, onFalse, ViewStylePicker, THIChanelToIndex::doChannel, 2),
    /* 11 */ SCHEME_LINK(FitParamTest, Op1Link, HostCommand, THitcListCommand::FitToWindow, 0),
    /* 12 */ SCHEME_LINK(FitFlagTest, onTrue, ViewStylePicker, THIChanelToIndex::doChannel, 0),
    /* 13 */ SCHEME_LINK(FitFlagTest, onFalse, ViewStylePicker, THIChanelToIndex::doChannel, 2),
    /* 14 */ SCHEME_LINK(FitFlagMask, onResult, FitFlagTest, THIIf_else::doCompare, 0),
    /* 15 */ SCHEME_LINK(ViewStylePicker, onIndex, ThumbImage, THIImage::doViewStyle, 0),
    /* 16 */ SCHEME_LINK(ThumbImage, onShow, ViewerForm, THiListerForm::doResult, 0),
    /* 17 */ SCHEME_LINK(BmpLoader, onLoad, ThumbImage, THIImage::doLoad, 0),
    /* 18 */ SCHEME_LINK(BmpLoader, FileNameLink, BmpPath, THIFormatStr::Result, 0),
    /* 19 */ SCHEME_LINK(LoadHub, onEvent[0], CleanMask, THIFormatStr::doString, 0),
    /* 20 */ SCHEME_LINK(LoadHub, onEvent[1], ArchiverPathHub, THIHub::doEvent, 0),
    /* 21 */ SCHEME_LINK(LoadHub, onEvent[2], ThumbCleaner, THIFileTools::doDelete, 0),
    /* 22 */ SCHEME_LINK(LoadHub, onEvent[3], ThumbImage, THIImage::doClear, 0),
    /* 23 */ SCHEME_LINK(LoadHub, onEvent[5], DocPreview, THIDocPreview::doPreview, 0),  // re-pointed
    /* 24 */ SCHEME_LINK(PngExists, onResult, PngFoundTest, THIIf_else::doCompare, 0),
    /* 25 */ SCHEME_LINK(PngExists, FileName, PngPath, THIFormatStr::Result, 0),
    /* 26 */ SCHEME_LINK(PngFoundTest, onTrue, PngHub, THIHub::doEvent, 0),
    /* 27 */ SCHEME_LINK(PngFoundTest, onFalse, BmpExists, THIFileTools::doFileExists, 0),
    /* 28 */ SCHEME_LINK(Extractor, onOutput, OutputHub, THIHub::doEvent, 0),
    /* 29 */ SCHEME_LINK(Extractor, onError, LoadFailed, THIDoData::doData, 0),
    /* 30 */ SCHEME_LINK(ExtractCmd, onResult, Extractor, THIWinExec::doRunCmd, 0),
    /* 31 */ SCHEME_LINK(ExtractCmd, Arg[0], TempFolder, THIDir::TempDir, 0),
    /* 32 */ SCHEME_LINK(ExtractCmd, Arg[1], ViewerForm, THiListerForm::FileNameData, 0),
    /* 33 */ SCHEME_LINK(ExtractCmd, Arg[2], ThumbMaskVar, THIGlobalVar::Value, 0),
    /* 34 */ SCHEME_LINK(ExtractCmd, Arg[3], ArchiverPath, THIFormatStr::Result, 0),
    /* 35 */ SCHEME_LINK(CleanMask, onResult, CleanMaskVar, THIGlobalVar::doValue, 0),
    /* 36 */ SCHEME_LINK(CleanMask, Arg[0], TempFolder, THIDir::TempDir, 0),
    /* 37 */ SCHEME_LINK(CleanMask, Arg[1], ThumbMaskVar, THIGlobalVar::Value, 0),
    /* 38 */ SCHEME_LINK(ArchiverExists, onResult, ArchiverFoundTest, THIIf_else::doCompare, 0),
    /* 39 */ SCHEME_LINK(ArchiverExists, FileName, ArchiverPath, THIFormatStr::Result, 0),
    /* 40 */ SCHEME_LINK(ArchiverFoundTest, onTrue, DocPreview, THIDocPreview::doGuard, 0),  // re-pointed
    /* 41 */ SCHEME_LINK(ArchiverFoundTest, onFalse, PickNo7za, THIDoData::doData, 0),
    /* 42 */ SCHEME_LINK(ThumbCleaner, FileName, CleanMaskVar, THIGlobalVar::Value, 0),
    /* 43 */ SCHEME_LINK(CheckThumbs, onData, PngExists, THIFileTools::doFileExists, 0),
    /* 44 */ SCHEME_LINK(PlaceholderReader, onRead, PlaceholderHub, THIHub::doEvent, 0),
    /* 45 */ SCHEME_LINK(PlaceholderReader, ArrayLink, Placeholders, TArray::Array, 0),
    /* 46 */ SCHEME_LINK(PickNo7za, onData, PlaceholderReader, THIArrayRW::doRead, 0),
    /* 47 */ SCHEME_LINK(PickNoThumb, onData, PlaceholderReader, THIArrayRW::doRead, 0),
    /* 48 */ SCHEME_LINK(StartExtract, onData, ExtractCmd, THIFormatStr::doString, 0),
    /* 49 */ SCHEME_LINK(PlaceholderHub, onEvent[0], ThumbImage, THIImage::doLoadArtwork, 0),
    /* 50 */ SCHEME_LINK(PlaceholderHub, onEvent[1], LoadSucceeded, THIDoData::doData, 0),
    /* 51 */ SCHEME_LINK(LoadSucceeded, onData, ViewerForm, THiListerForm::doResult, 0),
    /* 52 */ SCHEME_LINK(ArchiverPath, Arg[0], LibFolderBox, THIMultiElementEx::Data, 1),
    /* 53 */ SCHEME_LINK(ArchiverPath, Arg[1], ArchiverNameVar, THIGlobalVar::Value, 0),
    /* 54 */ SCHEME_LINK(ArchiverPathHub, onEvent[0], LibFolderBox, THIMultiElementEx::doWork, 0),
    /* 55 */ SCHEME_LINK(ArchiverPathHub, onEvent[1], ArchiverPath, THIFormatStr::doString, 0),
    /* 56 */ SCHEME_LINK(PngHub, onEvent[1], PngLoader, THIPNG::doLoad, 0),
    /* 57 */ SCHEME_LINK(PngHub, onEvent[2], PngLoader, THIPNG::doGetBitmap, 0),
    /* 58 */ SCHEME_LINK(PngLoader, onBitmap, ThumbImage, THIImage::doLoad, 0),
    /* 59 */ SCHEME_LINK(PngLoader, FileNameLink, PngPath, THIFormatStr::Result, 0),
    /* 60 */ SCHEME_LINK(BmpFoundTest, onTrue, BmpLoader, THIPictureStream::doLoad, 0),
    /* 61 */ SCHEME_LINK(BmpFoundTest, onFalse, PickNoThumb, THIDoData::doData, 0),
    /* 62 */ SCHEME_LINK(BmpExists, onResult, BmpFoundTest, THIIf_else::doCompare, 0),
    /* 63 */ SCHEME_LINK(BmpExists, FileName, BmpPath, THIFormatStr::Result, 0),
    /* 64 */ SCHEME_LINK(PngPath, Arg[0], TempFolder, THIDir::TempDir, 0),
    /* 65 */ SCHEME_LINK(PngPath, Arg[1], PngNameVar, THIGlobalVar::Value, 0),
    /* 66 */ SCHEME_LINK(BmpPath, Arg[0], TempFolder, THIDir::TempDir, 0),
    /* 67 */ SCHEME_LINK(BmpPath, Arg[1], BmpNameVar, THIGlobalVar::Value, 0),
    /* 68 */ SCHEME_LINK(OutputHub, onEvent[0], PngPath, THIFormatStr::doString, 0),
    /* 69 */ SCHEME_LINK(OutputHub, onEvent[1], BmpPath, THIFormatStr::doString, 0),
    /* 70 */ SCHEME_LINK(OutputHub, onEvent[2], CheckThumbs, THIDoData::doData, 0),
    /* 71 */ SCHEME_LINK(DocPreview, onBitmap, ThumbImage, THIImage::doLoad, 0),               // added
    /* 72 */ SCHEME_LINK(DocPreview, onShown, LoadSucceeded, THIDoData::doData, 0),            // added
    /* 73 */ SCHEME_LINK(DocPreview, onNoThumb, PickNoThumb, THIDoData::doData, 0),            // added
    /* 74 */ SCHEME_LINK(DocPreview, onOther, ArchiverExists, THIFileTools::doFileExists, 0),  // added
    /* 75 */ SCHEME_LINK(DocPreview, onRun, StartExtract, THIDoData::doData, 0),               // added
    /* 76 */ SCHEME_LINK(DocPreview, FileName, ViewerForm, THiListerForm::FileNameData, 0),    // added
    /* 77 */ SCHEME_LINK(LoadHub, onEvent[4], Extractor, THIWinExec::doStop, 0),               // added
    // The host's newer show flags and its copy command.
    /* 78 */ SCHEME_LINK(ViewerForm, onShowFlags, ShowFlagsHub, THIHub::doEvent, 0),       // added
    /* 79 */ SCHEME_LINK(ShowFlagsHub, onEvent[1], ThumbImage, THIImage::doShowFlags, 0),  // added
    /* 80 */ SCHEME_LINK(HostCommand, onShowFlags, ThumbImage, THIImage::doShowFlags, 0),  // added
    /* 81 */ SCHEME_LINK(HostCommand, onCommand1, ThumbImage, THIImage::doCopy, 0),        // added
    /* 82 */ SCHEME_LINK(ThumbImage, onCopy, HostCommand, THitcListCommand::doResult, 0),  // added
    // The rendered document: the image element asks for a page in a box, the
    // renderer answers with the picture and the page count; a new load stops
    // the run under way (96). Keys the viewer window keeps and its wheel
    // step pages, zoom and pan; a page's stored picture comes from the
    // document at once.
    /* 83 */ SCHEME_LINK(ThumbImage, onRender, Renderer, THIDocRender::doRender, 0),           // added
    /* 84 */ SCHEME_LINK(Renderer, onRendered, ThumbImage, THIImage::doRendered, 0),           // added
    /* 85 */ SCHEME_LINK(Renderer, onPages, ThumbImage, THIImage::doPageCount, 0),             // added
    /* 86 */ SCHEME_LINK(Renderer, FolderLink, LibFolderBox, THIMultiElementEx::Data, 1),      // added
    /* 87 */ SCHEME_LINK(Renderer, TempLink, TempFolder, THIDir::TempDir, 0),                  // added
    /* 88 */ SCHEME_LINK(Renderer, FileNameLink, ViewerForm, THiListerForm::FileNameData, 0),  // added
    /* 89 */ SCHEME_LINK(Renderer, PageLink, ThumbImage, THIImage::RenderPage, 0),             // added
    /* 90 */ SCHEME_LINK(Renderer, WidthLink, ThumbImage, THIImage::RenderWidth, 0),           // added
    /* 91 */ SCHEME_LINK(Renderer, HeightLink, ThumbImage, THIImage::RenderHeight, 0),         // added
    /* 92 */ SCHEME_LINK(ThumbImage, onPage, DocPreview, THIDocPreview::doPage, 0),            // added
    /* 93 */ SCHEME_LINK(DocPreview, onPage, ThumbImage, THIImage::doPagePicture, 0),          // added
    /* 94 */ SCHEME_LINK(ViewerForm, onKeyDown, ThumbImage, THIImage::doKey, 0),               // added
    /* 95 */ SCHEME_LINK(ViewerForm, onMouseWheel, ThumbImage, THIImage::doWheel, 0),          // added
    /* 96 */ SCHEME_LINK(LoadHub, onEvent[6], Renderer, THIDocRender::doStop, 0),              // added
    // A rendering ready before the stored preview waits for it, or for the
    // archiver's end when that brings no picture.
    /* 97 */ SCHEME_LINK(Extractor, onEnd, ThumbImage, THIImage::doSettled, 0),  // added
};
static_assert(sizeof(kViewerLinks) / sizeof(kViewerLinks[0]) == S::LinkCount, "the viewer scheme has 97 links");

const TSchemeLink<S>* S::Links() { return kViewerLinks; }

namespace {

THIDoData* WithValue(THIDoData* d, int32_t value) {
  MakeInteger(d->Value, value);
  return d;
}

THIIf_else* Test(THIIf_else* t, bool op2IsOne) {
  t->Type = 0;
  if (op2IsOne) MakeInteger(t->Op2, 1);
  return t;
}

THIHub* Hub(THIHub* h, uint8_t outputs) {
  h->SetOutCount(outputs);
  return h;
}

THIFormatStr* Format(THIFormatStr* f, int32_t count, const char* mask) {
  f->SetCount(count);
  f->Mask = mask;
  return f;
}

THIFileTools* FileTest(THIFileTools* f) {
  f->NoRecycle = true;
  return f;
}

THIGlobalVar* Shared(THIGlobalVar* v, const char* name, const char* def) {
  v->SetName(name);
  if (def) {
    TData d;
    MakeString(d, def);
    v->SetDefault(d);
  }
  return v;
}

void WindowLook(THIWin* w) {
  w->Color = 0xFF00000F;
  MakeFontRec("MS Sans Serif", 8, 0, 0, 1, w->Font);
  w->ParentFont = 0;
  w->Enabled = 1;
  w->Cursor = nullptr;
  w->TabOrder = 0;
  w->Frame = 1;
  w->WindowEdge = 0;
  w->Hint.clear();
  w->MouseCapture = 0;
}

HANDLE LoadPlaceholder(const char* name) {
  return LoadImageW(kol::ThisModule(), kol::Wide(name).c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
}

}  // namespace

bool RenderingWanted() {
  const TData* setting = GlobalVars::Bind("render");
  return setting->Kind == data_null || ToInteger(*setting) != 0;
}

THiListerForm* SetUpViewerForm(THiListerForm* form) {
  form->Left = 35;
  form->Top = 105;
  form->Width = 435;
  form->Height = 413;
  form->Align = 0;
  WindowLook(form);
  form->Visible = 0;
  form->DragForm = 0;
  form->AddBorders = 0;
  form->ResizeHost = 0;
  form->PassKeys = 1;
  form->Init();
  return form;
}

TClassListPlug_97CE780::TClassListPlug_97CE780(THIMultiElementEx* container, void* parentValue, TObject* owner)
    : TClassMultiBase(owner, parentValue) {
  /*  1 */ ViewerForm = SetUpViewerForm(Own(new THiListerForm(static_cast<TPlugWindowRec*>(parentValue))));
  /*  2 */ SchemeBoundary = Own(new THIEditMultiEx(0, 0));
  /*  3 */ LoadFailed = Own(WithValue(new THIDoData(), 0));
  /*  4 */ HostCommand = Own(new THitcListCommand(ViewerForm->Control()->Handle()));
  HostCommand->DefaultResult = 0;
  /*  5 */ CommandDone = Own(WithValue(new THIDoData(), 1));
  /*  6 */ ParamsHub = Own(Hub(new THIHub(), 2));
  /*  7 */ FitParamTest = Own(Test(new THIIf_else(), false));
  MakeInteger(FitParamTest->Op2, 0);
  /*  8 */ FitFlagTest = Own(Test(new THIIf_else(), false));
  /*  9 */ FitFlagMask = Own(new THIMath());
  FitFlagMask->Operation = MathOperationAnd;
  FitFlagMask->Op1 = 0.0;
  FitFlagMask->Op2 = 2.0;
  FitFlagMask->ResultType = 1;
  FitFlagMask->SetResultDefault(0.0);
  FitFlagMask->SetAngleMode(false);
  /* 10 */ ViewStylePicker = Own(new THIChanelToIndex());
  ViewStylePicker->Count = 3;
  /* 11 */ ThumbImage = Own(new THIImage(ViewerForm->Control()));
  ThumbImage->Left = 0;
  ThumbImage->Top = 0;
  ThumbImage->Width = 392;
  ThumbImage->Height = 266;
  ThumbImage->Align = kol::alClient;
  WindowLook(ThumbImage);
  ThumbImage->Visible = 1;
  ThumbImage->AutoSize = 0;
  ThumbImage->SetViewStyle(vsFit);
  ThumbImage->SetSmooth(true);
  ThumbImage->Init();
  /* 12 */ BmpLoader = Own(new THIPictureStream());
  BmpLoader->Quality = 75;
  /* 13 */ LoadHub = Own(Hub(new THIHub(), 7));
  /* 14 */ PngExists = Own(FileTest(new THIFileTools()));
  /* 15 */ PngFoundTest = Own(Test(new THIIf_else(), true));
  /* 16 */ ThumbMaskVar = Own(Shared(new THIGlobalVar(), "thumb", "thumbnail.*"));
  /* 17 */ Extractor = Own(new THIWinExec());
  /* 18 */ ExtractCmd = Own(Format(new THIFormatStr(), 4, ExtractMask));
  /* 19 */ CleanMask = Own(Format(new THIFormatStr(), 2, "%1_tc\\%2"));
  /* 20 */ TempFolder = Own(new THIDir());
  /* 21 */ ArchiverExists = Own(FileTest(new THIFileTools()));
  /* 22 */ ArchiverFoundTest = Own(Test(new THIIf_else(), true));
  /* 23 */ ArchiverNameVar = Own(Shared(new THIGlobalVar(), "7z", "7za.exe"));
  /* 24 */ ThumbCleaner = Own(FileTest(new THIFileTools()));
  /* 25 */ CheckThumbs = Own(new THIDoData());
  /* 26 */ Placeholders = Own(new THIBitmapArray());
  Placeholders->SetBitmaps(
      ParseNameList("No_Thumb\r\nNo_7za", {LoadPlaceholder("BITMAP0"), LoadPlaceholder("BITMAP1")}));
  Placeholders->NamedIndex = true;
  /* 27 */ PlaceholderReader = Own(new THIArrayRW());
  /* 28 */ PickNo7za = Own(WithValue(new THIDoData(), 1));
  /* 29 */ PickNoThumb = Own(WithValue(new THIDoData(), 0));
  /* 30 */ StartExtract = Own(new THIDoData());
  /* 31 */ PlaceholderHub = Own(Hub(new THIHub(), 2));
  /* 32 */ LoadSucceeded = Own(WithValue(new THIDoData(), 1));
  /* 33 */ LibFolderBox = Own(new THIMultiElementEx(1, 0));
  LibFolderBox->ParentValue = ViewerForm->Control();
  LibFolderBox->OnDemand = 0;
  LibFolderBox->Owner = this;
  /* 34 */ ArchiverPath = Own(Format(new THIFormatStr(), 2, "%1\\%2"));
  /* 35 */ ArchiverPathHub = Own(Hub(new THIHub(), 2));
  /* 36 */ CleanMaskVar = Own(Shared(new THIGlobalVar(), "fn", nullptr));
  /* 37 */ PngHub = Own(Hub(new THIHub(), 3));
  /* 38 */ PngLoader = Own(new THIPNG());
  PngLoader->Flag = 0;
  PngLoader->Value = 0;
  /* 39 */ BmpFoundTest = Own(Test(new THIIf_else(), true));
  /* 40 */ BmpExists = Own(FileTest(new THIFileTools()));
  /* 41 */ PngPath = Own(Format(new THIFormatStr(), 2, "%1_tc\\%2"));
  /* 42 */ PngNameVar = Own(Shared(new THIGlobalVar(), "png", "thumbnail.png"));
  /* 43 */ BmpPath = Own(Format(new THIFormatStr(), 2, "%1_tc\\%2"));
  /* 44 */ BmpNameVar = Own(Shared(new THIGlobalVar(), "bmp", "thumbnail.bmp"));
  /* 45 */ OutputHub = Own(Hub(new THIHub(), 3));
  /* 46 */ DocPreview = Own(new THIDocPreview());
  /* 47 */ ShowFlagsHub = Own(Hub(new THIHub(), 2));
  /* 48 */ Renderer = Own(new THIDocRender());
  Renderer->Enabled = RenderingWanted();
  // Each viewer window renders into a file of its own.
  char tag[2 * sizeof(uintptr_t) + 1];
  std::snprintf(tag, sizeof tag, "%0*llx", int(2 * sizeof(uintptr_t)),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ViewerForm->Window())));
  Renderer->Tag = tag;
  ThumbImage->SetRendering(Renderer->Enabled);
  // The placeholders' other variants: dark, and both at 200 %.
  static const char* const kVariants[2][3] = {{"BITMAP0_DARK", "BITMAP0_2X", "BITMAP0_DARK_2X"},
                                              {"BITMAP1_DARK", "BITMAP1_2X", "BITMAP1_DARK_2X"}};
  for (size_t i = 0; i < 2; ++i) {
    std::unique_ptr<TBitmapObject> v[3];
    for (size_t k = 0; k < 3; ++k) {
      v[k] = CreateDeviceBitmap(0, 0);
      v[k]->SetHandle(LoadPlaceholder(kVariants[i][k]));
    }
    // A rendering of the document replaces "No_Thumb", never "No_7za".
    ThumbImage->AddArtwork(static_cast<const TBitmapObject*>(Placeholders->Items[i].Item), v[0].get(), v[1].get(),
                           v[2].get(), i == 0);
  }

  SchemeBoundary->Bind(this, container);
  MakeSchemeLinks(*this, kViewerLinks);
  ViewerForm->SetupHint(nullptr);
  ThumbImage->SetupHint(nullptr);
  LibFolderBox->SetFactory(&TClassMultiElementEx_97D3AB0::Create);
  ViewerForm->Control()->SetTabulate(true);
  MainWindowElement = ViewerForm;
}

TClassListPlug_97CE780::~TClassListPlug_97CE780() {
  // The archiver and its worker go first: nothing may reach an element
  // that is already released.
  elements_.ReleaseFirst(Extractor);
  elements_.ReleaseFirst(Renderer);
  elements_.ReleaseAll();
}

THIEditMultiEx* TClassListPlug_97CE780::Create(THIMultiElementEx* container, void* parentValue, TObject* owner) {
  return (new TClassListPlug_97CE780(container, parentValue, owner))->Boundary;
}

}  // namespace hi
