// The viewer scheme: the elements of one quick-view window and how they are
// wired. The container builds one instance per window the host opens.
#pragma once

#include "framework/array_rw.h"
#include "framework/chanel_to_index.h"
#include "framework/do_data.h"
#include "framework/global_var.h"
#include "framework/hub.h"
#include "framework/if_else.h"
#include "framework/math.h"
#include "imaging/bitmap_array.h"
#include "imaging/image_win.h"
#include "imaging/picture_stream.h"
#include "imaging/png_element.h"
#include "plugin/list_command_win.h"
#include "plugin/lister_form_win.h"
#include "plugin/multi_element.h"
#include "scheme/dir.h"
#include "scheme/doc_preview.h"
#include "scheme/doc_render.h"
#include "scheme/file_tools.h"
#include "scheme/format_str.h"
#include "scheme/scheme_links.h"
#include "scheme/win_exec.h"

namespace hi {

// The viewer window element given the scheme's settings and its window;
// test schemes build their viewers on it too.
THiListerForm* SetUpViewerForm(THiListerForm* form);

class TClassListPlug_97CE780 : public TClassMultiBase, private TSchemeOwner {
 public:
  TClassListPlug_97CE780(THIMultiElementEx* container, void* parentValue, TObject* owner);
  ~TClassListPlug_97CE780() override;
  static THIEditMultiEx* Create(THIMultiElementEx* container, void* parentValue, TObject* owner);
  // The wiring, LinkCount rows; the constructor makes these links.
  static constexpr size_t LinkCount = 97;
  static const TSchemeLink<TClassListPlug_97CE780>* Links();

  // The archiver's command line: the path is quoted so that a plugin folder
  // with spaces cannot start another program.
  static constexpr const char* ExtractMask = "\"%4\" e -o\"%1_tc\" \"%2\" %3 -r -aoa";

  THiListerForm* ViewerForm;
  THIEditMultiEx* SchemeBoundary;
  THIDoData* LoadFailed;
  THitcListCommand* HostCommand;
  THIDoData* CommandDone;
  THIHub* ParamsHub;
  THIIf_else* FitParamTest;
  THIIf_else* FitFlagTest;
  THIMath* FitFlagMask;
  THIChanelToIndex* ViewStylePicker;
  THIImage* ThumbImage;
  THIPictureStream* BmpLoader;
  THIHub* LoadHub;
  THIFileTools* PngExists;
  THIIf_else* PngFoundTest;
  THIGlobalVar* ThumbMaskVar;
  THIWinExec* Extractor;
  THIFormatStr* ExtractCmd;
  THIFormatStr* CleanMask;
  THIDir* TempFolder;
  THIFileTools* ArchiverExists;
  THIIf_else* ArchiverFoundTest;
  THIGlobalVar* ArchiverNameVar;
  THIFileTools* ThumbCleaner;
  THIDoData* CheckThumbs;
  THIBitmapArray* Placeholders;
  THIArrayRW* PlaceholderReader;
  THIDoData* PickNo7za;
  THIDoData* PickNoThumb;
  THIDoData* StartExtract;
  THIHub* PlaceholderHub;
  THIDoData* LoadSucceeded;
  THIMultiElementEx* LibFolderBox;
  THIFormatStr* ArchiverPath;
  THIHub* ArchiverPathHub;
  THIGlobalVar* CleanMaskVar;
  THIHub* PngHub;
  THIPNG* PngLoader;
  THIIf_else* BmpFoundTest;
  THIFileTools* BmpExists;
  THIFormatStr* PngPath;
  THIGlobalVar* PngNameVar;
  THIFormatStr* BmpPath;
  THIGlobalVar* BmpNameVar;
  THIHub* OutputHub;
  THIDocPreview* DocPreview;
  THIHub* ShowFlagsHub;
  THIDocRender* Renderer;
};

// Whether the viewers render the document: on unless the host's settings
// turned it off (the shared variable "render" set to 0).
bool RenderingWanted();

}  // namespace hi
