// The recorder: librevenge's drawing interface, which the format library
// (libcdr) calls while it interprets a document, turned into the display
// list of one chosen page (draw_list.h). It counts every page and keeps only
// the chosen one. Property names are those the interface's own SVG writer
// reads; what it does not know (tables, connectors, fields, lists) is left
// out. Each call checks the cookie and, once it stopped, throws
// TRenderStopped to leave the library's parse.
#pragma once

#include <librevenge/librevenge.h>

#include <string>

#include "painter/draw_list.h"
#include "painter/render_cookie.h"

namespace hi {

class TDrawRecorder : public librevenge::RVNGDrawingInterface {
 public:
  // pageIndex counts from 0; a negative one keeps no page (counting only).
  TDrawRecorder(int pageIndex, TRenderCookie& cookie) : wanted_(pageIndex), cookie_(cookie) {}

  int PageCount() const { return pages_; }
  bool HasPage() const { return kept_; }
  TDrawPage& Page() { return page_; }

  void startDocument(const librevenge::RVNGPropertyList&) override {}
  void endDocument() override {}
  void setDocumentMetaData(const librevenge::RVNGPropertyList&) override {}
  void defineEmbeddedFont(const librevenge::RVNGPropertyList&) override {}
  void startPage(const librevenge::RVNGPropertyList& props) override;
  void endPage() override;
  void startMasterPage(const librevenge::RVNGPropertyList&) override { Check(); }
  void endMasterPage() override {}
  void setStyle(const librevenge::RVNGPropertyList& props) override;
  // Layers and groups carry no opacity or clip from the library: their
  // members are drawn in order as they come.
  void startLayer(const librevenge::RVNGPropertyList&) override { Check(); }
  void endLayer() override {}
  void startEmbeddedGraphics(const librevenge::RVNGPropertyList&) override {}
  void endEmbeddedGraphics() override {}
  void openGroup(const librevenge::RVNGPropertyList&) override { Check(); }
  void closeGroup() override {}
  void drawRectangle(const librevenge::RVNGPropertyList& props) override;
  void drawEllipse(const librevenge::RVNGPropertyList& props) override;
  void drawPolygon(const librevenge::RVNGPropertyList& props) override;
  void drawPolyline(const librevenge::RVNGPropertyList& props) override;
  void drawPath(const librevenge::RVNGPropertyList& props) override;
  void drawGraphicObject(const librevenge::RVNGPropertyList& props) override;
  void drawConnector(const librevenge::RVNGPropertyList&) override {}
  void startTextObject(const librevenge::RVNGPropertyList& props) override;
  void endTextObject() override;
  void startTableObject(const librevenge::RVNGPropertyList&) override {}
  void openTableRow(const librevenge::RVNGPropertyList&) override {}
  void closeTableRow() override {}
  void openTableCell(const librevenge::RVNGPropertyList&) override {}
  void closeTableCell() override {}
  void insertCoveredTableCell(const librevenge::RVNGPropertyList&) override {}
  void endTableObject() override {}
  void insertTab() override { AddText("\t"); }
  void insertSpace() override { AddText(" "); }
  void insertText(const librevenge::RVNGString& text) override { AddText(text.cstr()); }
  void insertLineBreak() override;
  void insertField(const librevenge::RVNGPropertyList&) override {}
  void openOrderedListLevel(const librevenge::RVNGPropertyList&) override {}
  void openUnorderedListLevel(const librevenge::RVNGPropertyList&) override {}
  void closeOrderedListLevel() override {}
  void closeUnorderedListLevel() override {}
  void openListElement(const librevenge::RVNGPropertyList& props) override { openParagraph(props); }
  void closeListElement() override {}
  void defineParagraphStyle(const librevenge::RVNGPropertyList&) override {}
  void openParagraph(const librevenge::RVNGPropertyList& props) override;
  void closeParagraph() override {}
  void defineCharacterStyle(const librevenge::RVNGPropertyList&) override {}
  void openSpan(const librevenge::RVNGPropertyList& props) override;
  void closeSpan() override;
  void openLink(const librevenge::RVNGPropertyList&) override {}
  void closeLink() override {}

 private:
  void Check();
  bool Recording() const { return inPage_ && pages_ - 1 == wanted_; }
  void AddShape(TPathData&& path);
  // A polygon (closed) or a polyline from the svg:points list.
  void AddPointList(const librevenge::RVNGPropertyList& props, bool closed);
  void AddText(const char* utf8);
  void Count(const TDrawItem& item);

  int wanted_;
  TRenderCookie& cookie_;
  int pages_ = 0;
  bool inPage_ = false;
  bool kept_ = false;
  TDrawPage page_;
  uint64_t points_ = 0;
  uint64_t imagePixels_ = 0;

  // The current style, interpreted when it is set.
  TPaint fill_;
  double fillOpacity_ = 1;
  bool evenOdd_ = true;
  TStroke stroke_;
  std::string fillImageSource_;  // the encoded fill picture last read, to reuse its raster
  std::shared_ptr<const TRaster> fillImage_;

  // The text object being built.
  bool inText_ = false;
  TDrawItem text_;
  TTextAlign align_ = TTextAlign::left;
  TTextSpan span_;
};

}  // namespace hi
