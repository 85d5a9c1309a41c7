// OpenDocument presentations, read in the layout of a presentation: the
// shapes of the pages, then the notes of the pages as a further story.
#include "office/package/odf.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace strbatch {
namespace {

// ---- Presentations ---------------------------------------------------------

// The shapes of the pages, or (notes) the text boxes of the pages' notes:
// the frames the notes are written in that hold text, not the image of the
// page.
class PresentationReader : public XmlHandler {
 public:
  PresentationReader(PackageText& text, uint32_t part, uint32_t& region, bool notes)
      : text_(text), paragraph_(text, part, true), part_(part), region_(region), notes_(notes) {}

  void StartElement(const XmlElement& e) override {
    if (paragraph_.Active()) return paragraph_.Start(e);
    if (skip_.Active()) return skip_.Start();
    if (!inBody_) {
      if (e.uri == ns::kOffice && e.local == "presentation") inBody_ = true;
      return;
    }
    if (!inPage_) {
      if (e.uri == ns::kDraw && e.local == "page") {
        inPage_ = true;
        return;
      }
      return skip_.Start();
    }
    if (level_ == 0) {
      if (notes_ && !inNotes_) {
        inNotes_ = e.uri == ns::kPresentation && e.local == "notes";
        if (!inNotes_) skip_.Start();
        return;
      }
      if (inNotes_) {
        const std::string* kind = e.Attribute(ns::kPresentation, "class");
        if (e.uri != ns::kDraw || e.local != "frame" || !kind || *kind != "notes") {
          return skip_.Start();
        }
      }
      // Each drawing element of the page is one shape; a group has no text
      // of its own.
      if (e.uri != ns::kDraw && e.uri != kDr3d) return skip_.Start();
      level_ = 1;
      region_++;
      paragraphs_ = 0;
      group_ = e.local == "g";
      shapeStart_ = text_.items.size();
      return;
    }
    if (group_) return skip_.Start();
    if (e.uri == ns::kText && (e.local == "p" || e.local == "h")) {
      if (paragraphs_++ > 0) {
        text_.items.push_back(
            ended_.empty || e.empty
                ? Mark(' ', region_)
                : ParagraphJoin(text_, part_, '\r', region_, ended_.begin, ended_.end,
                                e.tagBegin, e.tagEnd));
      }
      return paragraph_.Begin(e, region_, 0);
    }
    if ((e.uri == ns::kText &&
         (e.local == "list" || e.local == "list-item" || e.local == "list-header")) ||
        (e.uri == ns::kDraw && (e.local == "text-box" || e.local == "image"))) {
      level_++;
      return;
    }
    skip_.Start();
  }

  void EndElement(const XmlElement& e, uint32_t tagBegin, uint32_t tagEnd) override {
    if (paragraph_.Active()) {
      if (paragraph_.End(e, tagBegin, tagEnd)) ended_ = {tagBegin, tagEnd, e.empty};
      return;
    }
    if (skip_.Active()) return skip_.End();
    if (!inBody_) return;
    if (level_ > 0) {
      // An empty notes frame is no note (an application makes one for
      // every page).
      if (--level_ == 0 && !(notes_ && text_.items.size() == shapeStart_)) {
        text_.items.push_back(Mark(kShapeEnd, region_));
      }
      return;
    }
    if (inNotes_) {
      inNotes_ = false;
      return;
    }
    if (inPage_) {
      inPage_ = false;
      text_.items.push_back(Mark(kSlideEnd, region_));
      return;
    }
    if (e.uri == ns::kOffice && e.local == "presentation") inBody_ = false;
  }

  void Text(const std::vector<XmlChar>& chars) override {
    if (paragraph_.Active()) paragraph_.Text(chars);
  }

 private:
  PackageText& text_;
  OdfParagraphReader paragraph_;
  uint32_t part_;
  Skipper skip_;
  struct {
    uint32_t begin = 0, end = 0;
    bool empty = true;
  } ended_;
  bool inPage_ = false;
  bool inBody_ = false;
  bool group_ = false;
  int level_ = 0;
  uint32_t& region_;
  const bool notes_;
  bool inNotes_ = false;
  size_t shapeStart_ = 0;  // the first item of the shape being read
  int paragraphs_ = 0;
};


}  // namespace

bool ReadOpenDocumentPresentation(PackageSource& source, Message* error) {
  const uint32_t part = source.Part("content.xml", error);
  if (part == UINT32_MAX || !SplitSpaceRuns(source, part, error)) return false;
  source.text().protectedDocument = OpenDocumentLoadsReadOnly(source);
  // The pages' shapes, then their notes from a second reading of the part.
  uint32_t region = 0;
  PresentationReader slides(source.text(), part, region, false);
  if (!source.Scan(part, slides, error)) return false;
  source.text().AddStoryMark();
  PresentationReader notes(source.text(), part, region, true);
  return source.Scan(part, notes, error);
}

}  // namespace strbatch
