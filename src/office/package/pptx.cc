// PowerPoint presentations in Office Open XML: the slides in presentation
// order, each one's shapes in the order of its shape tree. A shape's text
// is the paragraphs of its text body; a group, a picture, a table or a
// chart is a shape without text. After them, the notes of each slide.
#include "office/package/package_read.h"

namespace strbatch {
namespace {

bool IsP(std::string_view uri) { return uri == ns::kP || uri == ns::kPStrict; }
bool IsA(std::string_view uri) { return uri == ns::kA || uri == ns::kAStrict; }

// The shapes of a slide, or of a notes page: there only the notes
// placeholders that hold text, the image of the slide, its number, date,
// header and footer being no text of the notes.
class SlideReader : public XmlHandler {
 public:
  SlideReader(PackageText& text, uint32_t part, uint32_t& region, bool notes = false)
      : text_(text), part_(part), region_(region), notes_(notes) {}

  void StartElement(const XmlElement& e) override {
    if (skip_.Active()) return skip_.Start();
    if (e.uri == ns::kMc) {
      if (e.local == "AlternateContent") alternatives_.push_back(false);
      if (e.local == "Choice" || e.local == "Fallback") {
        if (alternatives_.empty() || alternatives_.back()) return skip_.Start();
        alternatives_.back() = true;
      }
      return;
    }
    if (!inTree_) {
      if (IsP(e.uri) && e.local == "spTree") {
        inTree_ = true;
        level_ = 0;
      }
      return;
    }
    if (level_ == 0) {
      const std::string_view n = e.local;
      if (!IsP(e.uri) || !(n == "sp" || n == "grpSp" || n == "graphicFrame" || n == "pic" ||
                           n == "cxnSp" || n == "contentPart")) {
        return skip_.Start();
      }
      region_++;
      paragraphs_ = 0;
      level_ = 1;
      // Only a plain shape holds text of its own.
      if (n != "sp") {
        level_ = 0;
        if (!notes_) text_.items.push_back(Mark(kShapeEnd, region_));
        return skip_.Start();
      }
      shapeStart_ = text_.items.size();
      notesBody_ = false;
      return;
    }
    level_++;
    const std::string_view n = e.local;
    if (IsP(e.uri) && n == "ph") {
      const std::string* type = e.Attribute("", "type");
      notesBody_ = type && *type == "body";
    }
    // A joined paragraph keeps its properties first: the join takes the
    // second one's along.
    if (!(IsA(e.uri) && n == "pPr")) join_ = SIZE_MAX;
    if (IsA(e.uri)) {
      if (n == "p") {
        join_ = SIZE_MAX;
        if (paragraphs_++ > 0) {
          if (e.empty) {
            text_.items.push_back(Mark(' ', region_));
          } else {
            text_.items.push_back(ParagraphJoin(text_, part_, '\r', region_, endedBegin_,
                                                endedEnd_, e.tagBegin, e.tagEnd));
            if (text_.items.back().kind == ItemKind::kElement) join_ = text_.items.size() - 1;
          }
        }
        endedBegin_ = UINT32_MAX;
        paragraphTag_ = std::string(e.qname);
        paragraphProperties_.clear();
        inParagraph_ = true;
      } else if ((n == "pPr" && inParagraph_) || n == "rPr") {
        propertiesBegin_ = e.tagBegin;
      } else if (n == "endParaRPr") {
        endedBegin_ = e.tagBegin;
      } else if (n == "r") {
        runTag_ = std::string(e.qname);
        runProperties_.clear();
      } else if (n == "t" && !runTag_.empty()) {
        node_ = TextNode(e);
      } else if (n == "br") {
        breakBegin_ = e.tagBegin;
      } else if (n == "fld") {
        // A field: one character that reads as an object.
        PackageItem item;
        item.kind = ItemKind::kObject;
        item.code = 0xFFFC;
        item.part = part_;
        item.region = region_;
        item.lock = Lock(NotAppliedReason::kObjectAnchor);
        text_.items.push_back(item);
        level_--;
        return skip_.Start();
      }
    }
  }

  void EndElement(const XmlElement& e, uint32_t tagBegin, uint32_t tagEnd) override {
    if (skip_.Active()) return skip_.End();
    if (e.uri == ns::kMc) {
      if (e.local == "AlternateContent" && !alternatives_.empty()) alternatives_.pop_back();
      return;
    }
    if (!inTree_) return;
    if (level_ == 0) {
      if (IsP(e.uri) && e.local == "spTree") inTree_ = false;
      return;
    }
    if (--level_ == 0) {
      // A shape of a notes page that holds no notes is read and dropped:
      // whether it does is told by its properties, before its text. An
      // empty notes placeholder is no note either (applications make one
      // for every notes page, and some save none).
      if (notes_ && (!notesBody_ || text_.items.size() == shapeStart_)) {
        text_.items.resize(shapeStart_);
      } else {
        text_.items.push_back(Mark(kShapeEnd, region_));
      }
      return;
    }
    if (!IsA(e.uri)) return;
    const std::string_view n = e.local;
    if (n == "p") {
      inParagraph_ = false;
      if (endedBegin_ == UINT32_MAX) endedBegin_ = tagBegin;
      endedEnd_ = tagEnd;
    } else if (n == "pPr" && inParagraph_) {
      paragraphProperties_ = Bytes(propertiesBegin_, tagEnd);
      if (join_ != SIZE_MAX) text_.items[join_].end = tagEnd;
    } else if (n == "rPr") {
      runProperties_ = Bytes(propertiesBegin_, tagEnd);
    } else if (n == "r") {
      runTag_.clear();
    } else if (n == "t") {
      node_ = UINT32_MAX;
    } else if (n == "br" && inParagraph_) {
      if (breakNode_ == UINT32_MAX) breakNode_ = text_.AddNode(BreakNode());
      PackageItem item;
      item.kind = ItemKind::kElement;
      item.code = 0x0B;
      item.part = part_;
      item.begin = breakBegin_;
      item.end = tagEnd;
      item.node = breakNode_;
      item.region = region_;
      text_.items.push_back(item);
    }
  }

  void Text(const std::vector<XmlChar>& chars) override {
    if (skip_.Active() || node_ == UINT32_MAX) return;
    for (const XmlChar& c : chars) {
      PackageItem item;
      item.code = c.code;
      item.part = part_;
      item.begin = c.begin;
      item.end = c.end;
      item.node = node_;
      item.region = region_;
      text_.items.push_back(item);
    }
  }

 private:
  std::string Bytes(uint32_t begin, uint32_t end) const {
    return text_.parts[part_].bytes.substr(begin, end - begin);
  }
  std::string Prefixed(std::string_view local) const {
    const size_t colon = runTag_.find(':');
    return (colon == std::string::npos ? std::string() : runTag_.substr(0, colon + 1)) +
           std::string(local);
  }
  uint32_t TextNode(const XmlElement& e) {
    PackageNode node;
    node.part = part_;
    node.format = PackageFormat::kPresentation;
    node.inText = true;
    node.textTagEnd = e.empty ? 0 : e.tagEnd;
    const std::string t = Prefixed("t");
    const std::string runAgain = "<" + runTag_ + ">" + runProperties_ + "<" + t + ">";
    // A text keeps its tabs as characters; a line break and a paragraph
    // break end the run.
    node.tab = "\t";
    node.lineBreak = "</" + t + "></" + runTag_ + "><" + Prefixed("br") + ">" + runProperties_ +
                     "</" + Prefixed("br") + ">" + runAgain;
    node.paragraph = "</" + t + "></" + runTag_ + "></" + paragraphTag_ + "><" + paragraphTag_ +
                     ">" + paragraphProperties_ + runAgain;
    return text_.AddNode(std::move(node));
  }
  // A line break stands between runs: text cannot be put in its place.
  PackageNode BreakNode() const {
    PackageNode node;
    node.part = part_;
    node.format = PackageFormat::kPresentation;
    node.insertable = false;
    return node;
  }

  PackageText& text_;
  uint32_t part_;
  uint32_t& region_;
  const bool notes_;
  bool notesBody_ = false;    // the shape is a notes placeholder
  size_t shapeStart_ = 0;     // the shape's first item
  Skipper skip_;
  std::vector<bool> alternatives_;
  bool inTree_ = false;
  int level_ = 0;
  int paragraphs_ = 0;
  bool inParagraph_ = false;
  std::string paragraphTag_, runTag_, paragraphProperties_, runProperties_;
  uint32_t propertiesBegin_ = 0, breakBegin_ = 0;
  uint32_t node_ = UINT32_MAX, breakNode_ = UINT32_MAX;
  uint32_t endedBegin_ = UINT32_MAX, endedEnd_ = 0;  // the last paragraph's end
  size_t join_ = SIZE_MAX;  // the join before the paragraph being read
};

}  // namespace

bool ReadPresentation(PackageSource& source, Message* error) {
  PackageText& text = source.text();
  std::string presentation;
  for (const Relationship& r : source.Relationships("", error)) {
    if (r.type == "officeDocument") presentation = r.target;
  }
  if (presentation.empty()) {
    *error = Message(MessageId::kNoPresentation);
    return false;
  }
  const uint32_t part = source.Part(presentation, error);
  if (part == UINT32_MAX) return false;
  struct SlideList : XmlHandler {
    std::vector<std::string> ids;
    bool writeProtected = false;
    void StartElement(const XmlElement& e) override {
      if (!IsP(e.uri)) return;
      if (e.local == "sldId") {
        const std::string* id = e.Attribute(ns::kR, "id");
        if (!id) id = e.Attribute(ns::kRStrict, "id");
        ids.push_back(id ? *id : "");
      }
      if (e.local == "modifyVerifier") writeProtected = true;
    }
    void EndElement(const XmlElement&, uint32_t, uint32_t) override {}
    void Text(const std::vector<XmlChar>&) override {}
  } list;
  if (!source.Scan(part, list, error)) return false;
  text.protectedDocument = list.writeProtected;
  const std::vector<Relationship> relationships = source.Relationships(presentation, error);
  uint32_t region = 0;
  std::vector<std::string> slides;
  for (const std::string& id : list.ids) {
    std::string target;
    for (const Relationship& r : relationships) {
      if (r.id == id) target = r.target;
    }
    if (!target.empty() && source.zip().Has(target)) {
      const uint32_t slide = source.Part(target, error);
      if (slide == UINT32_MAX) return false;
      SlideReader reader(text, slide, region);
      if (!source.Scan(slide, reader, error)) return false;
      slides.push_back(target);
    } else {
      slides.emplace_back();
    }
    text.items.push_back(Mark(kSlideEnd, region));
  }

  // The notes, slide by slide, each from the notes page the slide names.
  text.AddStoryMark();
  for (const std::string& slide : slides) {
    for (const Relationship& r : slide.empty() ? std::vector<Relationship>()
                                               : source.Relationships(slide, error)) {
      if (r.type != "notesSlide" || !source.zip().Has(r.target)) continue;
      const uint32_t notes = source.Part(r.target, error);
      if (notes == UINT32_MAX) return false;
      SlideReader reader(text, notes, region, true);
      if (!source.Scan(notes, reader, error)) return false;
    }
    text.items.push_back(Mark(kSlideEnd, region));
  }
  return true;
}

}  // namespace strbatch
