// OpenDocument spreadsheets, read in the layout of a workbook: cells, then
// the cell comments and the sheet names as further stories.
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
        text_.items.push_back(Mark(kCellEnd, region));
      }
      text_.items.push_back(Mark(kSheetEnd, region_));
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
        text_.items.push_back(Mark(kCellEnd, region));
      }
      text_.items.push_back(Mark(kRowEnd, region_));
    }
    text_.items.push_back(Mark(kSheetEnd, region_));
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

}  // namespace

bool ReadOpenDocumentSpreadsheet(PackageSource& source, Message* error) {
  const uint32_t part = source.Part("content.xml", error);
  if (part == UINT32_MAX || !WriteOutRepeatedCells(source, part, error)) return false;
  if (!ReadContent<SpreadsheetReader>(source, error)) return false;
  source.text().anchors.clear();
  return true;
}

}  // namespace strbatch
