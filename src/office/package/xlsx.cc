// Excel workbooks in Office Open XML: the worksheets in workbook order,
// each one's used range (the rows and columns between its first and last
// cells that hold something) laid out cell by cell. Text cells read their
// shared or inline string; numbers, dates, booleans and formulas read as
// they are displayed, and are never edited. After the cells: each sheet's
// cell comments, then the sheets' names.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "office/package/package_read.h"

namespace strbatch {
namespace {

bool IsS(std::string_view uri) { return uri == ns::kS || uri == ns::kSStrict; }

PackageNode StringNode(uint32_t part, const XmlElement& t) {
  PackageNode node;
  node.part = part;
  node.format = PackageFormat::kSpreadsheet;
  node.inText = true;
  const std::string* space = t.Attribute(ns::kXml, "space");
  node.preserve = space && *space == "preserve";
  node.textTagEnd = t.empty ? 0 : t.tagEnd;
  // A cell's text holds its tabs and line breaks as characters.
  node.tab = "&#9;";
  node.lineBreak = "&#10;";
  node.paragraph = "&#10;";
  return node;
}

// The characters of rich or plain strings: the <t> elements of an <si> or
// <is>, leaving out phonetic runs.
class StringCollector {
 public:
  StringCollector(PackageText& text, uint32_t part) : text_(text), part_(part) {}
  void Start(const XmlElement& e) {
    if (e.local == "rPh") phonetic_++;
    if (e.local == "t" && phonetic_ == 0) node_ = text_.AddNode(StringNode(part_, e));
  }
  void End(const XmlElement& e) {
    if (e.local == "rPh") phonetic_--;
    if (e.local == "t") node_ = UINT32_MAX;
  }
  void Text(const std::vector<XmlChar>& chars, std::vector<PackageItem>& into) {
    if (node_ == UINT32_MAX) return;
    for (const XmlChar& c : chars) {
      PackageItem item;
      item.code = c.code;
      item.part = part_;
      item.begin = c.begin;
      item.end = c.end;
      item.node = node_;
      into.push_back(item);
    }
  }

 private:
  PackageText& text_;
  uint32_t part_;
  int phonetic_ = 0;
  uint32_t node_ = UINT32_MAX;
};

struct SharedString {
  std::vector<PackageItem> items;
  uint32_t begin = 0, end = 0;
  uint32_t contentBegin = 0, contentEnd = 0;
  uint32_t users = 0;
};

class SharedStringsReader : public XmlHandler {
 public:
  SharedStringsReader(PackageText& text, uint32_t part, std::vector<SharedString>& strings)
      : text_(text), part_(part), strings_(strings), collector_(text, part) {}
  void StartElement(const XmlElement& e) override {
    if (!IsS(e.uri)) return;
    if (e.local == "sst") {
      // The uniqueCount value's bytes, to count the strings added.
      const std::string& bytes = text_.parts[part_].bytes;
      const std::string_view tag(bytes.data() + e.tagBegin, e.tagEnd - e.tagBegin);
      const size_t at = tag.find(" uniqueCount=\"");
      if (at != std::string_view::npos) {
        const size_t value = at + 14;
        const size_t close = tag.find('"', value);
        if (close != std::string_view::npos) {
          text_.sharedStrings.countBegin = e.tagBegin + static_cast<uint32_t>(value);
          text_.sharedStrings.countEnd = e.tagBegin + static_cast<uint32_t>(close);
        }
      }
    } else if (e.local == "si") {
      strings_.emplace_back();
      strings_.back().begin = e.tagBegin;
      strings_.back().contentBegin = e.tagEnd;
      inString_ = true;
    } else if (inString_) {
      collector_.Start(e);
    }
  }
  void EndElement(const XmlElement& e, uint32_t tagBegin, uint32_t tagEnd) override {
    if (!IsS(e.uri)) return;
    if (e.local == "si") {
      strings_.back().contentEnd = tagBegin;
      strings_.back().end = tagEnd;
      inString_ = false;
    } else if (e.local == "sst") {
      text_.sharedStrings.part = part_;
      text_.sharedStrings.appendAt = tagBegin;
      text_.sharedStrings.strings = static_cast<uint32_t>(strings_.size());
    } else if (inString_) {
      collector_.End(e);
    }
  }
  void Text(const std::vector<XmlChar>& chars) override {
    if (inString_) collector_.Text(chars, strings_.back().items);
  }

 private:
  PackageText& text_;
  uint32_t part_;
  std::vector<SharedString>& strings_;
  StringCollector collector_;
  bool inString_ = false;
};

// The cell formats of styles.xml: whether each locks its cells, and its
// number format.
struct CellFormat {
  bool locked = true;
  int numberFormat = 0;
};

class StylesReader : public XmlHandler {
 public:
  void StartElement(const XmlElement& e) override {
    if (!IsS(e.uri)) return;
    if (e.local == "cellXfs") inFormats_ = true;
    if (inFormats_ && e.local == "xf") {
      formats.emplace_back();
      const std::string* id = e.Attribute("", "numFmtId");
      if (id) formats.back().numberFormat = std::atoi(id->c_str());
    }
    if (inFormats_ && e.local == "protection" && !formats.empty()) {
      const std::string* locked = e.Attribute("", "locked");
      if (locked && (*locked == "0" || *locked == "false")) formats.back().locked = false;
    }
  }
  void EndElement(const XmlElement& e, uint32_t, uint32_t) override {
    if (IsS(e.uri) && e.local == "cellXfs") inFormats_ = false;
  }
  void Text(const std::vector<XmlChar>&) override {}
  std::vector<CellFormat> formats;

 private:
  bool inFormats_ = false;
};

// A number as the general format shows it: up to 15 significant digits,
// with an exponent for very large and very small numbers.
std::string GeneralNumber(double value) {
  if (value == 0) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string text = buffer;
  const size_t e = text.find('e');
  if (e == std::string::npos) return text;
  // 1e+20 shows as 1E+20.
  std::string mantissa = text.substr(0, e);
  std::string exponent = text.substr(e + 1);
  const char sign = exponent[0] == '-' ? '-' : '+';
  if (exponent[0] == '-' || exponent[0] == '+') exponent.erase(0, 1);
  while (exponent.size() > 2 && exponent[0] == '0') exponent.erase(0, 1);
  return mantissa + "E" + sign + exponent;
}

std::string Grouped(const std::string& digits) {
  std::string out;
  const size_t start = digits[0] == '-' ? 1 : 0;
  for (size_t i = 0; i < digits.size(); i++) {
    if (i > start && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// What a number cell displays in the built-in formats that do not depend
// on the language; others show the general format.
std::string ShownNumber(const std::string& raw, int format) {
  char* end = nullptr;
  const double value = std::strtod(raw.c_str(), &end);
  if (end == raw.c_str()) return raw;
  char buffer[64];
  switch (format) {
    case 1:
      std::snprintf(buffer, sizeof buffer, "%.0f", value);
      return buffer;
    case 2:
      std::snprintf(buffer, sizeof buffer, "%.2f", value);
      return buffer;
    case 3:
      std::snprintf(buffer, sizeof buffer, "%.0f", value);
      return Grouped(buffer);
    case 4: {
      std::snprintf(buffer, sizeof buffer, "%.2f", value);
      const std::string text = buffer;
      const size_t dot = text.find('.');
      return Grouped(text.substr(0, dot)) + text.substr(dot);
    }
    case 9:
      std::snprintf(buffer, sizeof buffer, "%.0f%%", value * 100);
      return buffer;
    case 10:
      std::snprintf(buffer, sizeof buffer, "%.2f%%", value * 100);
      return buffer;
    default:
      return GeneralNumber(value);
  }
}

struct Cell {
  std::string type;
  int format = 0;
  bool formula = false;
  std::string value;
  uint32_t valueBegin = 0, valueEnd = 0;
  std::vector<PackageItem> inlineItems;
  bool inlineString = false;
};

// "BC12" as a 0-based row and column.
bool ParseReference(const std::string& reference, long* row, long* column) {
  long c = 0;
  size_t i = 0;
  while (i < reference.size() && reference[i] >= 'A' && reference[i] <= 'Z') {
    c = c * 26 + (reference[i] - 'A' + 1);
    i++;
  }
  if (i == 0 || i == reference.size()) return false;
  const long r = std::strtol(reference.c_str() + i, nullptr, 10);
  if (r < 1) return false;
  *row = r - 1;
  *column = c - 1;
  return true;
}

class WorksheetReader : public XmlHandler {
 public:
  WorksheetReader(PackageText& text, uint32_t part) : collector_(text, part) {}

  void StartElement(const XmlElement& e) override {
    if (!IsS(e.uri)) return;
    const std::string_view n = e.local;
    if (n == "sheetProtection") {
      const std::string* sheet = e.Attribute("", "sheet");
      locked = sheet && (*sheet == "1" || *sheet == "true");
    } else if (n == "row") {
      const std::string* r = e.Attribute("", "r");
      row_ = r ? std::strtol(r->c_str(), nullptr, 10) - 1 : row_ + 1;
      column_ = -1;
    } else if (n == "c") {
      const std::string* reference = e.Attribute("", "r");
      long r = row_, c = column_ + 1;
      if (reference) ParseReference(*reference, &r, &c);
      column_ = c;
      cell_ = &cells[{r, c}];
      const std::string* type = e.Attribute("", "t");
      cell_->type = type ? *type : "n";
      const std::string* style = e.Attribute("", "s");
      cell_->format = style ? std::atoi(style->c_str()) : 0;
    } else if (cell_ && n == "v") {
      inValue_ = true;
      cell_->valueBegin = cell_->valueEnd = e.tagEnd;
    } else if (cell_ && n == "f") {
      cell_->formula = true;
    } else if (cell_ && n == "is") {
      inInline_ = true;
      cell_->inlineString = true;
    } else if (inInline_) {
      collector_.Start(e);
    }
  }
  void EndElement(const XmlElement& e, uint32_t, uint32_t) override {
    if (!IsS(e.uri)) return;
    if (e.local == "c") cell_ = nullptr;
    if (e.local == "v") inValue_ = false;
    if (e.local == "is") inInline_ = false;
    if (inInline_) collector_.End(e);
  }
  void Text(const std::vector<XmlChar>& chars) override {
    if (!cell_) return;
    if (inValue_) {
      for (const XmlChar& c : chars) cell_->value.push_back(static_cast<char>(c.code & 0x7F));
      cell_->valueBegin = std::min(cell_->valueBegin, chars.front().begin);
      cell_->valueEnd = chars.back().end;
    } else if (inInline_) {
      collector_.Text(chars, cell_->inlineItems);
    }
  }

  std::map<std::pair<long, long>, Cell> cells;
  bool locked = false;

 private:
  StringCollector collector_;
  long row_ = -1, column_ = -1;
  Cell* cell_ = nullptr;
  bool inValue_ = false, inInline_ = false;
};

bool HasContent(const Cell& cell) {
  return cell.formula || !cell.value.empty() || (cell.inlineString && !cell.inlineItems.empty());
}

// The comments of one sheet's comments part: each one's cell and the
// characters of its <text>.
struct CellComment {
  long row = 0, column = 0;
  std::vector<PackageItem> items;
};

class CommentsReader : public XmlHandler {
 public:
  CommentsReader(PackageText& text, uint32_t part) : collector_(text, part) {}

  void StartElement(const XmlElement& e) override {
    if (!IsS(e.uri)) return;
    if (e.local == "comment") {
      comments.emplace_back();
      const std::string* reference = e.Attribute("", "ref");
      // A comment without a cell of its own belongs to no cell an
      // application shows it at.
      inComment_ = reference && ParseReference(*reference, &comments.back().row,
                                               &comments.back().column);
      if (!inComment_) comments.pop_back();
    } else if (inComment_ && e.local == "text") {
      inText_ = true;
    } else if (inText_) {
      collector_.Start(e);
    }
  }
  void EndElement(const XmlElement& e, uint32_t, uint32_t) override {
    if (!IsS(e.uri)) return;
    if (e.local == "comment") {
      inComment_ = inText_ = false;
    } else if (e.local == "text") {
      inText_ = false;
    } else if (inText_) {
      collector_.End(e);
    }
  }
  void Text(const std::vector<XmlChar>& chars) override {
    if (inText_) collector_.Text(chars, comments.back().items);
  }

  std::vector<CellComment> comments;

 private:
  StringCollector collector_;
  bool inComment_ = false, inText_ = false;
};

// The comments of the sheet whose part is sheet, row by row and in each
// row column by column.
bool ReadComments(PackageSource& source, const std::string& sheet,
                  std::vector<CellComment>* comments, Message* error) {
  for (const Relationship& r : source.Relationships(sheet, error)) {
    if (r.type != "comments" || !source.zip().Has(r.target)) continue;
    const uint32_t part = source.Part(r.target, error);
    if (part == UINT32_MAX) return false;
    CommentsReader reader(source.text(), part);
    if (!source.Scan(part, reader, error)) return false;
    comments->insert(comments->end(), reader.comments.begin(), reader.comments.end());
  }
  std::stable_sort(comments->begin(), comments->end(), [](const CellComment& a, const CellComment& b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
  });
  return true;
}

}  // namespace

bool ReadSpreadsheet(PackageSource& source, Message* error) {
  PackageText& text = source.text();
  std::string workbook;
  for (const Relationship& r : source.Relationships("", error)) {
    if (r.type == "officeDocument") workbook = r.target;
  }
  if (workbook.empty()) {
    *error = Message(MessageId::kNoWorkbook);
    return false;
  }
  const std::vector<Relationship> relationships = source.Relationships(workbook, error);
  std::vector<SharedString> strings;
  std::vector<CellFormat> formats;
  for (const Relationship& r : relationships) {
    if (r.type == "sharedStrings" && source.zip().Has(r.target)) {
      const uint32_t part = source.Part(r.target, error);
      if (part == UINT32_MAX) return false;
      SharedStringsReader reader(text, part, strings);
      if (!source.Scan(part, reader, error)) return false;
    } else if (r.type == "styles" && source.zip().Has(r.target)) {
      const uint32_t part = source.Part(r.target, error);
      StylesReader reader;
      if (part != UINT32_MAX && source.Scan(part, reader, error)) formats = reader.formats;
    }
  }
  // The worksheets in workbook order.
  const uint32_t book = source.Part(workbook, error);
  if (book == UINT32_MAX) return false;
  struct SheetList : XmlHandler {
    std::vector<std::string> ids;
    std::vector<std::string> names;
    std::vector<std::pair<uint32_t, uint32_t>> tags;  // each <sheet> element's bytes
    bool writeReserved = false;
    void StartElement(const XmlElement& e) override {
      if (!IsS(e.uri)) return;
      if (e.local == "sheet") {
        const std::string* id = e.Attribute(ns::kR, "id");
        if (!id) id = e.Attribute(ns::kRStrict, "id");
        ids.push_back(id ? *id : "");
        const std::string* name = e.Attribute("", "name");
        names.push_back(name ? *name : "");
        tags.emplace_back(e.tagBegin, e.tagEnd);
      }
      if (e.local == "fileSharing" && e.Attribute("", "reservationPassword")) writeReserved = true;
      if (e.local == "fileSharing" && e.Attribute("", "algorithmName")) writeReserved = true;
    }
    void EndElement(const XmlElement&, uint32_t, uint32_t) override {}
    void Text(const std::vector<XmlChar>&) override {}
  } list;
  if (!source.Scan(book, list, error)) return false;
  text.protectedDocument = list.writeReserved;

  std::vector<WorksheetReader> sheets;
  std::vector<uint32_t> sheetParts;
  std::vector<std::string> sheetTargets;
  for (const std::string& id : list.ids) {
    std::string target;
    for (const Relationship& r : relationships) {
      if (r.id == id) target = r.target;
    }
    // A chart sheet or a dialog sheet has no cells; it still is a sheet.
    uint32_t part = UINT32_MAX;
    if (!target.empty() && source.zip().Has(target)) part = source.Part(target, error);
    sheets.emplace_back(text, part == UINT32_MAX ? 0 : part);
    sheetParts.push_back(part);
    sheetTargets.push_back(part == UINT32_MAX ? "" : target);
    if (part != UINT32_MAX && !source.Scan(part, sheets.back(), error)) return false;
    for (const auto& [key, cell] : sheets.back().cells) {
      if (cell.type == "s" && !cell.formula) {
        const size_t index = static_cast<size_t>(std::strtoul(cell.value.c_str(), nullptr, 10));
        if (index < strings.size()) strings[index].users++;
      }
    }
  }

  // Each sheet's comments: read first, since a cell with a comment belongs
  // to the sheet's used range even when it holds nothing else, as the
  // spreadsheet itself counts it.
  std::vector<std::vector<CellComment>> comments(sheets.size());
  for (size_t s = 0; s < sheets.size(); s++) {
    if (!sheetTargets[s].empty() && !ReadComments(source, sheetTargets[s], &comments[s], error)) {
      return false;
    }
  }

  uint32_t region = 0;
  for (size_t s = 0; s < sheets.size(); s++) {
    const WorksheetReader& sheet = sheets[s];
    long top = LONG_MAX, bottom = 0, left = LONG_MAX, right = 0;
    const auto include = [&](long row, long column) {
      top = std::min(top, row);
      bottom = std::max(bottom, row);
      left = std::min(left, column);
      right = std::max(right, column);
    };
    for (const auto& [key, cell] : sheet.cells) {
      if (HasContent(cell)) include(key.first, key.second);
    }
    for (const CellComment& comment : comments[s]) include(comment.row, comment.column);
    if (top == LONG_MAX) top = bottom = left = right = 0;
    for (long r = top; r <= bottom; r++) {
      for (long c = left; c <= right; c++) {
        region++;
        auto found = sheet.cells.find({r, c});
        if (found != sheet.cells.end() && HasContent(found->second)) {
          const Cell& cell = found->second;
          const bool locked =
              sheet.locked &&
              (static_cast<size_t>(cell.format) >= formats.size() || formats[static_cast<size_t>(cell.format)].locked);
          const uint8_t lock = locked ? Lock(NotAppliedReason::kProtected) : 0;
          std::vector<PackageItem> items;
          if (cell.formula || (cell.type != "s" && cell.type != "inlineStr")) {
            std::string shown = cell.value;
            if (cell.type == "b") {
              shown = cell.value == "1" ? "TRUE" : "FALSE";
            } else if (cell.type == "n") {
              const int format = static_cast<size_t>(cell.format) < formats.size()
                                     ? formats[static_cast<size_t>(cell.format)].numberFormat
                                     : 0;
              shown = ShownNumber(cell.value, format);
            } else if (cell.type == "inlineStr") {
              shown.clear();
              for (const PackageItem& item : cell.inlineItems) {
                if (item.code < 0x80) shown.push_back(static_cast<char>(item.code));
              }
            }
            for (unsigned char b : shown) {
              PackageItem item;
              item.kind = ItemKind::kShown;
              item.code = b;
              item.lock = Lock(NotAppliedReason::kFormulaResult);
              items.push_back(item);
            }
          } else if (cell.type == "inlineStr") {
            items = cell.inlineItems;
          } else {
            const size_t index = static_cast<size_t>(std::strtoul(cell.value.c_str(), nullptr, 10));
            if (index < strings.size()) {
              items = strings[index].items;
              if (strings[index].users > 1) {
                SharedCell shared;
                shared.stringsPart = text.sharedStrings.part;
                shared.index = static_cast<uint32_t>(index);
                shared.users = strings[index].users;
                shared.stringBegin = strings[index].begin;
                shared.stringEnd = strings[index].end;
                shared.contentBegin = strings[index].contentBegin;
                shared.contentEnd = strings[index].contentEnd;
                shared.sheetPart = sheetParts[s];
                shared.valueBegin = cell.valueBegin;
                shared.valueEnd = cell.valueEnd;
                text.sharedCells[region] = shared;
              }
            }
          }
          for (PackageItem& item : items) {
            item.region = region;
            if (lock != 0 && item.lock == 0) item.lock = lock;
            text.items.push_back(item);
          }
        }
        text.items.push_back(Mark(kCellEnd, region));
      }
      text.items.push_back(Mark(kRowEnd, region));
    }
    text.items.push_back(Mark(kSheetEnd, region));
  }

  // The cell comments, sheet by sheet; a comment on a protected sheet is
  // left as the sheet's cells are.
  text.AddStoryMark();
  for (size_t s = 0; s < sheets.size(); s++) {
    const uint8_t lock = sheets[s].locked ? Lock(NotAppliedReason::kProtected) : 0;
    for (CellComment& comment : comments[s]) {
      region++;
      for (PackageItem& item : comment.items) {
        item.region = region;
        if (item.lock == 0) item.lock = lock;
        text.items.push_back(item);
      }
      text.items.push_back(Mark(kCellEnd, region));
    }
    text.items.push_back(Mark(kSheetEnd, region));
  }

  // The sheets' names: searched, never edited.
  text.AddStoryMark();
  for (size_t s = 0; s < list.names.size(); s++) {
    region++;
    AddSheetName(text, list.names[s], book, list.tags[s].first, list.tags[s].second, region);
  }
  return true;
}

}  // namespace strbatch
