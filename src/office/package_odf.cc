// OpenDocument text, spreadsheets and presentations: content.xml read in
// the layouts of Word, Excel and PowerPoint documents. A text's further
// stories follow its body: the headers and footers of the master pages in
// styles.xml, then the bodies of the notes, the annotations and the text
// boxes of content.xml, each read as a body.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>

#include "office/package_read.h"

namespace strbatch {
namespace {

constexpr std::string_view kDr3d = "urn:oasis:names:tc:opendocument:xmlns:dr3d:1.0";

long Repeated(const XmlElement& e, std::string_view uri, std::string_view name) {
  const std::string* value = e.Attribute(uri, name);
  return value ? std::max(1L, std::strtol(value->c_str(), nullptr, 10)) : 1;
}

PackageItem Mark(char32_t code, uint32_t region) {
  PackageItem mark;
  mark.kind = ItemKind::kMark;
  mark.code = code;
  mark.region = region;
  mark.lock = Lock(NotAppliedReason::kSpansParts);
  return mark;
}

}  // namespace

// ---- One paragraph ---------------------------------------------------------

void OdfParagraphReader::Begin(const XmlElement& paragraph, uint32_t region, uint8_t lock) {
  depth_ = 1;
  region_ = region;
  lock_ = lock;
  ignoreBlank_ = true;
  chain_.clear();
  nodes_.clear();
  PushChain(paragraph);
}

bool OdfParagraphReader::IsContainer(const XmlElement& e) const {
  if (e.uri == ns::kLoExt) return e.local == "content-control";
  if (e.uri != ns::kText) return false;
  const std::string_view n = e.local;
  return n == "span" || n == "meta" || n == "ruby" || n == "ruby-base" ||
         (n == "a" && !linksAreFields_);
}

void OdfParagraphReader::PushChain(const XmlElement& e) {
  bool hasId = false;
  for (const XmlAttribute& attribute : *e.attributes) {
    if (attribute.local == "id") hasId = true;
  }
  chain_.push_back({std::string(e.qname), StartTag(text_.parts[part_], e), hasId});
  nodes_.push_back(UINT32_MAX);
  if (textPrefix_.empty()) textPrefix_ = std::string(e.Prefix());
}

void OdfParagraphReader::Start(const XmlElement& e) {
  if (skip_.Active()) return skip_.Start();
  depth_++;
  elementBegin_ = e.tagBegin;
  if (IsContainer(e)) return PushChain(e);
  const std::string_view n = e.local;
  if (e.uri == ns::kText) {
    if (n == "s") spaces_ = std::min(Repeated(e, ns::kText, "c"), 255L);
    if (n == "s" || n == "tab" || n == "line-break" || n == "soft-page-break") return;
    if (n == "bookmark" || n == "bookmark-start" || n == "bookmark-end" ||
        n.starts_with("reference-mark") || n.starts_with("change") || n.ends_with("-mark") ||
        n.ends_with("-mark-start") || n.ends_with("-mark-end")) {
      text_.AddAnchor();
      return;
    }
    if (n != "number" && n != "ruby-text") AddObject();
  } else if (e.uri == ns::kOffice && n == "annotation-end") {
    text_.AddAnchor();
    return;
  } else if (e.uri == ns::kDraw) {
    // A drawing or frame: a character when anchored as one, otherwise an
    // anchor without a character.
    const std::string* anchor = e.Attribute(ns::kText, "anchor-type");
    if (anchor && *anchor == "as-char") {
      AddObject();
    } else {
      text_.AddAnchor();
    }
  } else {
    AddObject();
  }
  depth_--;
  skip_.Start();
}

bool OdfParagraphReader::End(const XmlElement& e, uint32_t, uint32_t tagEnd) {
  if (skip_.Active()) {
    skip_.End();
    return false;
  }
  depth_--;
  if (depth_ == 0) return true;
  if (IsContainer(e)) {
    chain_.pop_back();
    nodes_.pop_back();
    return false;
  }
  if (e.uri != ns::kText) return false;
  if (e.local == "s") {
    for (long i = 0; i < spaces_; i++) {
      AddElement(ItemKind::kSpace, ' ', tagEnd)->spaceIndex = static_cast<uint8_t>(i);
    }
    ignoreBlank_ = false;
  } else if (e.local == "tab") {
    AddElement(ItemKind::kElement, '\t', tagEnd);
    ignoreBlank_ = false;
  } else if (e.local == "line-break") {
    AddElement(ItemKind::kElement, 0x0B, tagEnd);
    ignoreBlank_ = false;
  }
  return false;
}

void OdfParagraphReader::Text(const std::vector<XmlChar>& chars) {
  if (skip_.Active()) return;
  const uint32_t node = Node();
  bool touching = false;  // the last item's bytes end where this character begins
  for (const XmlChar& c : chars) {
    const bool blank = c.code == ' ' || c.code == '\t' || c.code == '\n' || c.code == '\r';
    if (blank && ignoreBlank_) {
      // A blank that reads as nothing joins the blank before it in the
      // same text; after an item of another text it is remembered there.
      if (touching) {
        text_.items.back().end = c.end;
      } else if (!text_.items.empty() && text_.items.back().region == region_) {
        text_.items.back().hiddenAfter = true;
      }
      continue;
    }
    PackageItem item;
    item.code = blank ? ' ' : c.code;
    item.part = part_;
    item.begin = c.begin;
    item.end = c.end;
    item.node = node;
    item.region = region_;
    item.lock = lock_;
    text_.items.push_back(item);
    ignoreBlank_ = blank;
    touching = blank;
  }
}

void OdfParagraphReader::AddObject() {
  PackageItem item;
  item.kind = ItemKind::kObject;
  item.code = 0xFFFC;
  item.part = part_;
  item.region = region_;
  item.lock = Lock(NotAppliedReason::kObjectAnchor);
  text_.items.push_back(item);
}

PackageItem* OdfParagraphReader::AddElement(ItemKind kind, char32_t code, uint32_t end) {
  PackageItem item;
  item.kind = kind;
  item.code = code;
  item.part = part_;
  item.begin = elementBegin_;
  item.end = end;
  item.node = Node();
  item.region = region_;
  item.lock = lock_;
  text_.items.push_back(item);
  return &text_.items.back();
}

uint32_t OdfParagraphReader::Node() {
  uint32_t& node = nodes_.back();
  if (node != UINT32_MAX) return node;
  PackageNode made;
  made.part = part_;
  made.format = PackageFormat::kOpenDocument;
  made.inText = true;
  const std::string prefix = textPrefix_.empty() ? "" : textPrefix_ + ":";
  made.tab = "<" + prefix + "tab/>";
  made.lineBreak = "<" + prefix + "line-break/>";
  made.space = "<" + prefix + "s/>";
  // A paragraph break closes the paragraph and the elements inside it and
  // opens them again; an element with an identity cannot be doubled.
  bool splittable = true;
  std::string close, open;
  for (size_t i = chain_.size(); i-- > 0;) {
    close += "</" + chain_[i].qname + ">";
    if (chain_[i].hasId) splittable = false;
  }
  for (const Link& link : chain_) open += link.startTag;
  if (splittable) made.paragraph = close + open;
  node = text_.AddNode(std::move(made));
  return node;
}

namespace {

// ---- Text ------------------------------------------------------------------

class TextReader : public XmlHandler {
 public:
  // inBody: what it is given is a body's content already (a story's), not
  // a part in which office:text holds the body.
  TextReader(PackageText& text, uint32_t part, bool inBody = false)
      : paragraph_(text, part, false), layout_(text), part_(part), inBody_(inBody) {}

  void StartElement(const XmlElement& e) override {
    if (paragraph_.Active()) return paragraph_.Start(e);
    if (skip_.Active()) return skip_.Start();
    if (!inBody_) {
      if (e.uri == ns::kOffice && e.local == "text") inBody_ = true;
      return;
    }
    if (e.uri == ns::kText) {
      const std::string_view n = e.local;
      if (n == "p" || n == "h") return paragraph_.Begin(e, layout_.BeginParagraph(), Locked());
      if (n == "section" || n == "index-body") {
        const std::string* locked = e.Attribute(ns::kText, "protected");
        protection_.push_back(n == "index-body" || (locked && *locked == "true"));
        return;
      }
      if (n == "list" || n == "list-item" || n == "list-header" || n == "soft-page-break" ||
          n.ends_with("index") || n == "table-of-content") {
        return;
      }
      return skip_.Start();
    }
    if (e.uri == ns::kTable) {
      const std::string_view n = e.local;
      if (n == "table-cell" || n == "covered-table-cell") return layout_.BeginCell();
      if (n == "table" || n == "table-row" || n == "table-rows" || n == "table-header-rows" ||
          n == "table-row-group") {
        return;
      }
    }
    // Frames anchored to the page, forms, declarations.
    skip_.Start();
  }

  void EndElement(const XmlElement& e, uint32_t tagBegin, uint32_t tagEnd) override {
    if (paragraph_.Active()) {
      if (paragraph_.End(e, tagBegin, tagEnd)) {
        layout_.EndParagraph(layout_.CurrentRegion(), part_, tagBegin);
      }
      return;
    }
    if (skip_.Active()) return skip_.End();
    if (!inBody_) return;
    if (e.uri == ns::kOffice && e.local == "text") inBody_ = false;
    if (e.uri == ns::kText && (e.local == "section" || e.local == "index-body") &&
        !protection_.empty()) {
      protection_.pop_back();
    }
    if (e.uri == ns::kTable) {
      if (e.local == "table-cell" || e.local == "covered-table-cell") layout_.EndCell();
      if (e.local == "table") layout_.EndTable();
    }
  }

  void Text(const std::vector<XmlChar>& chars) override {
    if (paragraph_.Active()) paragraph_.Text(chars);
  }

 private:
  uint8_t Locked() const {
    for (bool locked : protection_) {
      if (locked) return Lock(NotAppliedReason::kProtected);
    }
    return 0;
  }

  OdfParagraphReader paragraph_;
  WordLayoutBuilder layout_;
  uint32_t part_;
  Skipper skip_;
  bool inBody_;
  std::vector<bool> protection_;
};

// The stories of a text that elements of a part hold (a header, a note's
// body, an annotation, a text box): the content of each such element that
// lies in no other of its story is read as a body, wherever the element
// stands; the body itself reads none of them.
class StoryReader : public XmlHandler {
 public:
  StoryReader(PackageText& text, uint32_t part, OfficeStory story)
      : text_(text), reader_(text, part, true), story_(story) {}

  void StartElement(const XmlElement& e) override {
    if (depth_ > 0) {
      depth_++;
      return reader_.StartElement(e);
    }
    const std::string_view n = e.local;
    if (e.uri == ns::kText && n == "note") {
      const std::string* kind = e.Attribute(ns::kText, "note-class");
      noteClass_ = kind ? *kind : "footnote";
    }
    if (!Holds(e)) return;
    depth_ = 1;
    rank_ = story_ == OfficeStory::kHeadersFooters ? HeaderRank(e.local) : 0;
    begin_ = text_.items.size();
  }

  void EndElement(const XmlElement& e, uint32_t tagBegin, uint32_t tagEnd) override {
    if (depth_ == 0) {
      if (e.uri == ns::kStyle && e.local == "master-page") pages_++;
      return;
    }
    if (--depth_ > 0) return reader_.EndElement(e, tagBegin, tagEnd);
    // A header or footer that holds nothing is none.
    if (text_.items.size() > begin_) pieces_.push_back({pages_, rank_, begin_, text_.items.size()});
  }

  void Text(const std::vector<XmlChar>& chars) override {
    if (depth_ > 0) reader_.Text(chars);
  }

  // The items read, in the order of their story: a master page's headers
  // and footers in the order of HeaderRank, everything else as it stands.
  std::vector<std::pair<size_t, size_t>> Ranges() {
    std::stable_sort(pieces_.begin(), pieces_.end(), [](const Piece& a, const Piece& b) {
      return a.page != b.page ? a.page < b.page : a.rank < b.rank;
    });
    std::vector<std::pair<size_t, size_t>> ranges;
    for (const Piece& piece : pieces_) ranges.emplace_back(piece.begin, piece.end);
    return ranges;
  }

 private:
  static int HeaderRank(std::string_view name) {
    static constexpr std::string_view kOrder[] = {"header", "header-first", "header-left",
                                                  "footer", "footer-first", "footer-left"};
    for (int i = 0; i < 6; i++) {
      if (name == kOrder[i]) return i;
    }
    return -1;
  }
  bool Holds(const XmlElement& e) const {
    switch (story_) {
      case OfficeStory::kHeadersFooters: {
        if (e.uri != ns::kStyle || HeaderRank(e.local) < 0) return false;
        const std::string* display = e.Attribute(ns::kStyle, "display");
        return !display || *display != "false";
      }
      case OfficeStory::kFootnotes:
      case OfficeStory::kEndnotes:
        return e.uri == ns::kText && e.local == "note-body" &&
               noteClass_ == (story_ == OfficeStory::kFootnotes ? "footnote" : "endnote");
      case OfficeStory::kComments:
        return e.uri == ns::kOffice && e.local == "annotation";
      case OfficeStory::kTextBoxes:
        return e.uri == ns::kDraw && e.local == "text-box";
      default:
        return false;
    }
  }

  struct Piece {
    int page, rank;
    size_t begin, end;
  };
  PackageText& text_;
  TextReader reader_;
  OfficeStory story_;
  int depth_ = 0;
  std::string noteClass_;
  int pages_ = 0;  // master pages ended
  int rank_ = 0;
  size_t begin_ = 0;
  std::vector<Piece> pieces_;
};

// ---- Spreadsheets ----------------------------------------------------------

struct CellContent {
  std::vector<PackageItem> items;
};

class SpreadsheetReader : public XmlHandler {
 public:
  SpreadsheetReader(PackageText& text, uint32_t part)
      : text_(text), paragraph_(text, part, true), part_(part) {}

  void StartElement(const XmlElement& e) override {
    if (paragraph_.Active()) return paragraph_.Start(e);
    if (skip_.Active()) return skip_.Start();
    if (e.uri == ns::kStyle && e.local == "style") {
      const std::string* name = e.Attribute(ns::kStyle, "name");
      style_ = name ? *name : "";
      return;
    }
    if (e.uri == ns::kStyle && e.local == "table-cell-properties") {
      const std::string* protect = e.Attribute(ns::kStyle, "cell-protect");
      if (protect && !style_.empty()) unprotected_[style_] = *protect == "none";
      return;
    }
    if (!inBody_) {
      if (e.uri == ns::kOffice && e.local == "spreadsheet") inBody_ = true;
      return;
    }
    if (annotation_.open) {
      // Its paragraphs as a cell's; its author and date are no text of it.
      if (e.uri == ns::kText && (e.local == "p" || e.local == "h")) {
        if (annotation_.paragraphs++ > 0) text_.items.push_back(Join('\n', annotation_.region, e));
        return paragraph_.Begin(e, annotation_.region, 0);
      }
      if (e.uri == ns::kText && (e.local == "list" || e.local == "list-item")) return;
      return skip_.Start();
    }
    if (e.uri == ns::kTable) return StartTable(e);
    if (inCell_ && e.uri == ns::kOffice && e.local == "annotation") {
      annotation_ = {true, text_.items.size(), ++region_, 0, ended_};
      return;
    }
    if (inCell_ && e.uri == ns::kText && (e.local == "p" || e.local == "h")) {
      if (paragraphs_++ > 0) text_.items.push_back(Join('\n', cellRegion_, e));
      return paragraph_.Begin(e, cellRegion_, 0);
    }
    if (inCell_ && e.uri == ns::kText && (e.local == "list" || e.local == "list-item")) return;
    skip_.Start();
  }

  void EndElement(const XmlElement& e, uint32_t tagBegin, uint32_t tagEnd) override {
    if (paragraph_.Active()) {
      if (paragraph_.End(e, tagBegin, tagEnd)) Ended(tagBegin, tagEnd, e.empty);
      return;
    }
    if (skip_.Active()) return skip_.End();
    if (annotation_.open) {
      if (e.uri == ns::kOffice && e.local == "annotation") EndAnnotation();
      return;
    }
    if (!inBody_ || e.uri != ns::kTable) {
      if (e.uri == ns::kOffice && e.local == "spreadsheet") {
        inBody_ = false;
        EmitStories();
      }
      return;
    }
    const std::string_view n = e.local;
    if (n == "table-cell" || n == "covered-table-cell") {
      EndCell();
    } else if (n == "table-row") {
      EndRow();
    } else if (n == "table") {
      EmitSheet();
    }
  }

  void Text(const std::vector<XmlChar>& chars) override {
    if (paragraph_.Active()) paragraph_.Text(chars);
  }

 private:
  void Ended(uint32_t tagBegin, uint32_t tagEnd, bool empty) {
    ended_ = {tagBegin, tagEnd, empty};
  }
  PackageItem Join(char32_t code, uint32_t region, const XmlElement& second) {
    if (ended_.empty || second.empty) return Mark(' ', region);
    return ParagraphJoin(text_, part_, code, region, ended_.begin, ended_.end,
                         second.tagBegin, second.tagEnd);
  }

  void StartTable(const XmlElement& e) {
    const std::string_view n = e.local;
    if (n == "table") {
      const std::string* locked = e.Attribute(ns::kTable, "protected");
      sheetProtected_ = locked && *locked == "true";
      const std::string* name = e.Attribute(ns::kTable, "name");
      sheets_.push_back({name ? *name : "", e.tagBegin, e.tagEnd, {}});
      cells_.clear();
      columnStyles_.clear();
      row_ = 0;
    } else if (n == "table-column") {
      const std::string* style = e.Attribute(ns::kTable, "default-cell-style-name");
      const long count = Repeated(e, ns::kTable, "number-columns-repeated");
      for (long i = 0; i < count && columnStyles_.size() < 16384; i++) {
        columnStyles_.push_back(style ? *style : "");
      }
    } else if (n == "table-row") {
      rowRepeat_ = Repeated(e, ns::kTable, "number-rows-repeated");
      column_ = 0;
      rowCells_.clear();
    } else if (n == "table-cell" || n == "covered-table-cell") {
      inCell_ = true;
      cellRepeat_ = Repeated(e, ns::kTable, "number-columns-repeated");
      const std::string* type = e.Attribute(ns::kOffice, "value-type");
      valueCell_ = type && *type != "string";
      formulaCell_ = e.Attribute(ns::kTable, "formula") != nullptr;
      const std::string* style = e.Attribute(ns::kTable, "style-name");
      cellStyle_ = style ? *style : "";
      cellStart_ = text_.items.size();
      cellRegion_ = ++region_;
      paragraphs_ = 0;
      annotated_ = false;
    } else if (n == "table-columns" || n == "table-header-columns" || n == "table-column-group" ||
               n == "table-rows" || n == "table-header-rows" || n == "table-row-group") {
      return;
    } else {
      skip_.Start();
    }
  }

  bool Protected(long column) const {
    if (!sheetProtected_) return false;
    std::string style = cellStyle_;
    if (style.empty() && column < static_cast<long>(columnStyles_.size())) {
      style = columnStyles_[static_cast<size_t>(column)];
    }
    auto found = unprotected_.find(style);
    return found == unprotected_.end() || !found->second;
  }

  void EndCell() {
    inCell_ = false;
    CellContent content;
    content.items.assign(text_.items.begin() + static_cast<long>(cellStart_), text_.items.end());
    text_.items.resize(cellStart_);
    if (content.items.empty() && !valueCell_) {
      // A cell holding only a comment belongs to the used range, as the
      // spreadsheet counts it (the comment is its first copy's).
      if (annotated_ && column_ < 16384) rowCells_.emplace_back(column_, content);
      column_ += cellRepeat_;
      return;
    }
    uint8_t lock = 0;
    if (valueCell_ || formulaCell_) lock = Lock(NotAppliedReason::kFormulaResult);
    if (Protected(column_)) lock = Lock(NotAppliedReason::kProtected);
    // A cell written once for several: editing it would change them all.
    if (cellRepeat_ > 1 || rowRepeat_ > 1) lock = Lock(NotAppliedReason::kNotInPlace);
    for (PackageItem& item : content.items) {
      if (item.kind != ItemKind::kMark && item.kind != ItemKind::kObject && lock != 0) {
        item.lock = lock;
      }
    }
    for (long i = 0; i < cellRepeat_ && column_ + i < 16384; i++) {
      rowCells_.emplace_back(column_ + i, content);
    }
    column_ += cellRepeat_;
  }

  void EndRow() {
    for (long r = 0; r < rowRepeat_ && !rowCells_.empty() && row_ + r < (1L << 20); r++) {
      for (const auto& [column, content] : rowCells_) cells_[{row_ + r, column}] = content;
    }
    row_ += rowRepeat_;
  }

  // An annotation's text is kept aside for the story of the comments, as
  // the sheet's comment at its cell.
  void EndAnnotation() {
    std::vector<PackageItem> items(text_.items.begin() + static_cast<long>(annotation_.start),
                                   text_.items.end());
    text_.items.resize(annotation_.start);
    if (sheetProtected_) {
      for (PackageItem& item : items) {
        if (item.lock == 0) item.lock = Lock(NotAppliedReason::kProtected);
      }
    }
    if (!sheets_.empty()) sheets_.back().comments.push_back(std::move(items));
    if (inCell_) annotated_ = true;
    ended_ = annotation_.ended;
    annotation_.open = false;
  }

  // After the cells of every sheet: the comments, sheet by sheet (each
  // ended by TAB, each sheet's by CR), then the sheets' names, which are
  // searched, never edited.
  void EmitStories() {
    text_.AddStoryMark();
    for (const Sheet& sheet : sheets_) {
      for (const std::vector<PackageItem>& comment : sheet.comments) {
        const uint32_t region = ++region_;
        for (PackageItem item : comment) {
          item.region = region;
          text_.items.push_back(item);
        }
        text_.items.push_back(Mark('\t', region));
      }
      text_.items.push_back(Mark('\r', region_));
    }
    text_.AddStoryMark();
    for (const Sheet& sheet : sheets_) {
      AddSheetName(text_, sheet.name, part_, sheet.tagBegin, sheet.tagEnd, ++region_);
    }
  }

  void EmitSheet() {
    long top = 0, bottom = 0, left = 0, right = 0;
    if (!cells_.empty()) {
      top = cells_.begin()->first.first;
      bottom = cells_.rbegin()->first.first;
      left = LONG_MAX;
      right = 0;
      for (const auto& entry : cells_) {
        left = std::min(left, entry.first.second);
        right = std::max(right, entry.first.second);
      }
    }
    for (long r = top; r <= bottom; r++) {
      for (long c = left; c <= right; c++) {
        const uint32_t region = ++region_;
        auto found = cells_.find({r, c});
        if (found != cells_.end()) {
          for (PackageItem item : found->second.items) {
            item.region = region;
            text_.items.push_back(item);
          }
        }
        text_.items.push_back(Mark('\t', region));
      }
      text_.items.push_back(Mark('\n', region_));
    }
    text_.items.push_back(Mark('\r', region_));
  }

  PackageText& text_;
  OdfParagraphReader paragraph_;
  uint32_t part_;
  Skipper skip_;
  bool inBody_ = false;
  std::string style_;
  std::map<std::string, bool> unprotected_;
  bool sheetProtected_ = false;
  std::vector<std::string> columnStyles_;
  std::map<std::pair<long, long>, CellContent> cells_;
  std::vector<std::pair<long, CellContent>> rowCells_;
  long row_ = 0, column_ = 0, rowRepeat_ = 1, cellRepeat_ = 1;
  bool inCell_ = false, valueCell_ = false, formulaCell_ = false;
  bool annotated_ = false;  // the cell holds a comment
  std::string cellStyle_;
  size_t cellStart_ = 0;
  uint32_t cellRegion_ = 0;
  uint32_t region_ = 0;
  int paragraphs_ = 0;
  struct ParagraphEnd {
    uint32_t begin = 0, end = 0;
    bool empty = true;
  } ended_;
  // The annotation being read: where its items begin, the region they are
  // read in, its paragraphs so far, and the cell's last paragraph's end.
  struct {
    bool open = false;
    size_t start = 0;
    uint32_t region = 0;
    int paragraphs = 0;
    ParagraphEnd ended;
  } annotation_;
  struct Sheet {
    std::string name;
    uint32_t tagBegin, tagEnd;  // its table:table start tag
    std::vector<std::vector<PackageItem>> comments;  // in the order of their cells
  };
  std::vector<Sheet> sheets_;
};

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
        text_.items.push_back(Mark('\n', region_));
      }
      return;
    }
    if (inNotes_) {
      inNotes_ = false;
      return;
    }
    if (inPage_) {
      inPage_ = false;
      text_.items.push_back(Mark('\r', region_));
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

// Cells (and rows) that hold something and are written once for several
// are written out one by one, so that each can be edited alone: the same
// content, with the attribute that repeats it left out. A comment belongs
// to the first of them only, as the applications read it.
class RepeatedCells : public XmlHandler {
 public:
  RepeatedCells(const std::string& bytes, bool rows) : bytes_(bytes), rows_(rows) {}
  void StartElement(const XmlElement& e) override {
    const bool cell = e.uri == ns::kTable && (e.local == "table-cell" || e.local == "covered-table-cell");
    const bool row = e.uri == ns::kTable && e.local == "table-row";
    for (Open& open : open_) open.content = open.content || (cell && HasValue(e)) || (e.uri == ns::kText && e.local == "p");
    if ((rows_ && row) || (!rows_ && cell)) {
      const char* attribute = rows_ ? "number-rows-repeated" : "number-columns-repeated";
      const long count = Repeated(e, ns::kTable, attribute);
      Open open{e.tagBegin, e.tagEnd, count, cell && HasValue(e), std::string(e.Prefix())};
      open_.push_back(open);
    } else {
      open_.push_back({e.tagBegin, 0, 1, false, ""});
      open_.back().annotation = e.uri == ns::kOffice && e.local == "annotation";
    }
  }
  void EndElement(const XmlElement&, uint32_t, uint32_t tagEnd) override {
    const Open open = open_.back();
    open_.pop_back();
    if (open.annotation) annotations_.emplace_back(open.begin, tagEnd);
    if (open.count > 1 && open.count <= 1024 && open.content) {
      found_.push_back({open.begin, open.tagEnd, tagEnd, open.count, open.prefix});
    }
  }
  void Text(const std::vector<XmlChar>&) override {}

  // The bytes with each repeated element written out; false when there was
  // none.
  bool Expand(std::string* out) const {
    if (found_.empty()) return false;
    const std::string attribute =
        rows_ ? "number-rows-repeated=\"" : "number-columns-repeated=\"";
    size_t copied = 0;
    for (const Found& f : found_) {
      if (f.begin < copied) continue;  // inside one written out already
      std::string tag = bytes_.substr(f.begin, f.tagEnd - f.begin);
      const std::string name = " " + (f.prefix.empty() ? "" : f.prefix + ":") + attribute;
      const size_t at = tag.find(name);
      if (at == std::string::npos) continue;
      const size_t close = tag.find('"', at + name.size());
      if (close == std::string::npos) continue;
      tag.erase(at, close + 1 - at);
      std::string first = tag, others = tag;
      first.append(bytes_, f.tagEnd, f.end - f.tagEnd);
      uint32_t from = f.tagEnd;
      for (const auto& [begin, end] : annotations_) {
        if (begin < f.tagEnd || end > f.end) continue;
        others.append(bytes_, from, begin - from);
        from = end;
      }
      others.append(bytes_, from, f.end - from);
      out->append(bytes_, copied, f.begin - copied);
      *out += first;
      for (long i = 1; i < f.count; i++) *out += others;
      copied = f.end;
    }
    out->append(bytes_, copied, std::string::npos);
    return true;
  }

 private:
  static bool HasValue(const XmlElement& e) {
    return e.Attribute(ns::kOffice, "value-type") != nullptr ||
           e.Attribute(ns::kTable, "formula") != nullptr;
  }
  struct Open {
    uint32_t begin, tagEnd;
    long count;
    bool content;
    std::string prefix;
    bool annotation = false;
  };
  struct Found {
    uint32_t begin, tagEnd, end;
    long count;
    std::string prefix;
  };
  const std::string& bytes_;
  bool rows_;
  std::vector<Open> open_;
  std::vector<Found> found_;
  std::vector<std::pair<uint32_t, uint32_t>> annotations_;  // each one's bytes, in order
};

// Runs of spaces written as one <text:s text:c="n"/> are written as n
// elements of one space, so that an edit never takes part of an element.
class SpaceRuns : public XmlHandler {
 public:
  explicit SpaceRuns(const std::string& bytes) : bytes_(bytes) {}
  void StartElement(const XmlElement& e) override {
    if (e.uri != ns::kText || e.local != "s" || !e.empty) return;
    const long count = Repeated(e, ns::kText, "c");
    if (count > 1 && count <= 1024) found_.push_back({e.tagBegin, e.tagEnd, count, std::string(e.qname)});
  }
  void EndElement(const XmlElement&, uint32_t, uint32_t) override {}
  void Text(const std::vector<XmlChar>&) override {}
  bool Split(std::string* out) const {
    if (found_.empty()) return false;
    size_t copied = 0;
    for (const Found& f : found_) {
      out->append(bytes_, copied, f.begin - copied);
      for (long i = 0; i < f.count; i++) *out += "<" + f.qname + "/>";
      copied = f.end;
    }
    out->append(bytes_, copied, std::string::npos);
    return true;
  }

 private:
  struct Found {
    uint32_t begin, end;
    long count;
    std::string qname;
  };
  const std::string& bytes_;
  std::vector<Found> found_;
};

bool SplitSpaceRuns(PackageSource& source, uint32_t part, Message* error) {
  PackagePart& content = source.text().parts[part];
  SpaceRuns runs(content.bytes);
  if (!source.Scan(part, runs, error)) return false;
  std::string split;
  if (runs.Split(&split)) content.bytes = std::move(split);
  return true;
}

bool WriteOutRepeatedCells(PackageSource& source, uint32_t part, Message* error) {
  for (bool rows : {false, true}) {
    PackagePart& content = source.text().parts[part];
    RepeatedCells repeated(content.bytes, rows);
    if (!source.Scan(part, repeated, error)) return false;
    std::string expanded;
    if (repeated.Expand(&expanded)) content.bytes = std::move(expanded);
  }
  return true;
}

template <class Reader>
bool ReadContent(PackageSource& source, Message* error) {
  const uint32_t part = source.Part("content.xml", error);
  if (part == UINT32_MAX || !SplitSpaceRuns(source, part, error)) return false;
  source.text().protectedDocument = OpenDocumentLoadsReadOnly(source);
  Reader reader(source.text(), part);
  return source.Scan(part, reader, error);
}

}  // namespace

bool ReadOpenDocumentText(PackageSource& source, Message* error) {
  if (!ReadContent<TextReader>(source, error)) return false;
  PackageText& text = source.text();
  for (OfficeStory story : FurtherStories(OfficeKind::Word)) {
    text.AddStoryMark();
    const bool styles = story == OfficeStory::kHeadersFooters;
    if (styles && !source.zip().Has("styles.xml")) continue;
    const uint32_t part = source.Part(styles ? "styles.xml" : "content.xml", error);
    if (part == UINT32_MAX || (styles && !SplitSpaceRuns(source, part, error))) return false;
    const size_t from = text.items.size();
    StoryReader reader(text, part, story);
    if (!source.Scan(part, reader, error)) return false;
    ReorderItems(text, from, reader.Ranges());
  }
  return true;
}

bool ReadOpenDocumentSpreadsheet(PackageSource& source, Message* error) {
  const uint32_t part = source.Part("content.xml", error);
  if (part == UINT32_MAX || !WriteOutRepeatedCells(source, part, error)) return false;
  if (!ReadContent<SpreadsheetReader>(source, error)) return false;
  source.text().anchors.clear();
  return true;
}

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
