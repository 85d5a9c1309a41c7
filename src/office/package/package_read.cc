#include "office/package/package_read.h"

#include <algorithm>

namespace strbatch {
namespace {

// A target relative to the folder of the part that names it, made a name
// from the package's root ("../media/a.png" from "word/document.xml" is
// "media/a.png").
std::string ResolveTarget(const std::string& source, const std::string& target) {
  std::string path;
  if (!target.empty() && target[0] == '/') {
    path = target.substr(1);
  } else {
    const size_t slash = source.rfind('/');
    path = (slash == std::string::npos ? "" : source.substr(0, slash + 1)) + target;
  }
  std::vector<std::string> segments;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(start, end - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string resolved;
  for (const std::string& segment : segments) {
    if (!resolved.empty()) resolved += '/';
    resolved += segment;
  }
  return resolved;
}

class RelationshipReader : public XmlHandler {
 public:
  RelationshipReader(const std::string& source, std::vector<Relationship>& found)
      : source_(source), found_(found) {}
  void StartElement(const XmlElement& element) override {
    if (element.local != "Relationship") return;
    const std::string* id = element.Attribute("", "Id");
    const std::string* type = element.Attribute("", "Type");
    const std::string* target = element.Attribute("", "Target");
    const std::string* mode = element.Attribute("", "TargetMode");
    if (!id || !type || !target || (mode && *mode == "External")) return;
    const size_t slash = type->rfind('/');
    found_.push_back({*id, slash == std::string::npos ? *type : type->substr(slash + 1),
                      ResolveTarget(source_, *target)});
  }
  void EndElement(const XmlElement&, uint32_t, uint32_t) override {}
  void Text(const std::vector<XmlChar>&) override {}

 private:
  const std::string& source_;
  std::vector<Relationship>& found_;
};

class ReadOnlySetting : public XmlHandler {
 public:
  void StartElement(const XmlElement& element) override {
    const std::string* name = element.Attribute(
        "urn:oasis:names:tc:opendocument:xmlns:config:1.0", "name");
    inItem_ = element.local == "config-item" && name && *name == "LoadReadonly";
    value_.clear();
  }
  void EndElement(const XmlElement&, uint32_t, uint32_t) override {
    if (inItem_ && value_ == "true") readOnly = true;
    inItem_ = false;
  }
  void Text(const std::vector<XmlChar>& chars) override {
    if (!inItem_) return;
    for (const XmlChar& c : chars) value_.push_back(static_cast<char>(c.code & 0x7F));
  }
  bool readOnly = false;

 private:
  bool inItem_ = false;
  std::string value_;
};

}  // namespace

uint32_t PackageSource::Part(const std::string& name, Message* error) {
  const uint32_t known = text_.PartIndex(name);
  if (known != UINT32_MAX) return known;
  PackagePart part;
  part.name = name;
  ZipPackage::ReadFailure failure;
  if (!zip_.Read(name, &part.bytes, error, &failure)) {
    if (failure != ZipPackage::ReadFailure::kFault && refusal_.Empty()) {
      refusal_ = *error;
      stopped_ = failure == ZipPackage::ReadFailure::kStopped;
    }
    return UINT32_MAX;
  }
  text_.parts.push_back(std::move(part));
  return static_cast<uint32_t>(text_.parts.size() - 1);
}

bool PackageSource::Scan(uint32_t part, XmlHandler& handler, Message* error) {
  std::string why;
  if (!ScanXml(text_.parts[part].bytes, handler, &why, shouldStop_)) {
    // The scanner's reason (libxml2's words, a line) stays as it gave it.
    *error = Message(MessageId::kPartUnreadable, {text_.parts[part].name, why});
    if (shouldStop_ && shouldStop_() && refusal_.Empty()) {
      refusal_ = *error;
      stopped_ = true;
    }
    return false;
  }
  return true;
}

std::vector<Relationship> PackageSource::Relationships(const std::string& part,
                                                       Message* error) {
  std::vector<Relationship> found;
  const size_t slash = part.rfind('/');
  const std::string rels = (slash == std::string::npos ? "" : part.substr(0, slash + 1)) +
                           "_rels/" + part.substr(slash == std::string::npos ? 0 : slash + 1) +
                           ".rels";
  if (!zip_.Has(rels)) return found;
  const uint32_t index = Part(rels, error);
  if (index == UINT32_MAX) return found;
  RelationshipReader reader(part, found);
  if (!Scan(index, reader, error)) found.clear();
  return found;
}

bool OpenDocumentLoadsReadOnly(PackageSource& source) {
  if (!source.zip().Has("settings.xml")) return false;
  Message error;
  const uint32_t part = source.Part("settings.xml", &error);
  if (part == UINT32_MAX) return false;
  ReadOnlySetting setting;
  return source.Scan(part, setting, &error) && setting.readOnly;
}

void AddSheetName(PackageText& text, std::string_view utf8, uint32_t part, uint32_t begin,
                  uint32_t end, uint32_t region) {
  PackageItem item;
  item.part = part;
  item.begin = begin;
  item.end = end;
  item.region = region;
  item.lock = Lock(NotAppliedReason::kSheetName);
  // The name is UTF-8 as the XML reader gave it, so well-formed.
  for (size_t at = 0; at < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[at]);
    const size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t code = n == 1 ? lead : lead & (0xFF >> (n + 1));
    for (size_t k = 1; k < n && at + k < utf8.size(); k++) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[at + k]) & 0x3F);
    }
    at += n;
    item.code = code;
    text.items.push_back(item);
  }
  PackageItem mark;
  mark.kind = ItemKind::kMark;
  mark.code = '\r';
  mark.region = region;
  mark.lock = Lock(NotAppliedReason::kSpansParts);
  text.items.push_back(mark);
}

PackageItem ParagraphJoin(const PackageText& text, uint32_t part, char32_t code, uint32_t region,
                          uint32_t begin, uint32_t firstEnd, uint32_t secondBegin, uint32_t end) {
  PackageItem item;
  item.code = code;
  item.part = part;
  item.region = region;
  const std::string& bytes = text.parts[part].bytes;
  bool blank = secondBegin >= firstEnd;
  for (uint32_t i = firstEnd; blank && i < secondBegin; i++) {
    const char c = bytes[i];
    blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
  }
  if (!blank) {
    item.kind = ItemKind::kMark;
    item.lock = Lock(NotAppliedReason::kSpansParts);
    return item;
  }
  item.kind = ItemKind::kElement;
  item.begin = begin;
  item.end = end;
  return item;
}

void WordLayoutBuilder::EndParagraph(uint32_t region, uint32_t part, uint32_t at) {
  PackageItem mark;
  mark.kind = ItemKind::kMark;
  mark.code = '\r';
  mark.part = part;
  mark.begin = mark.end = at;
  mark.region = region;
  mark.lock = static_cast<uint8_t>(NotAppliedReason::kSpansParts) + 1;
  text_.items.push_back(mark);
  if (!cells_.empty()) {
    cells_.back().lastMark = text_.items.size() - 1;
    cells_.back().endsWithParagraph = true;
  }
}

void WordLayoutBuilder::EndCell() {
  if (cells_.empty()) return;
  const Cell cell = cells_.back();
  cells_.pop_back();
  // The last paragraph of a cell ends with the cell's mark.
  if (cell.endsWithParagraph) text_.items[cell.lastMark].code = kCellMark;
  if (!cells_.empty()) cells_.back().endsWithParagraph = false;
}

void ReorderItems(PackageText& text, size_t from,
                  const std::vector<std::pair<size_t, size_t>>& ranges) {
  std::vector<PackageItem> ordered;
  std::vector<uint32_t> anchors;
  for (const auto& [begin, end] : ranges) {
    const size_t offset = from + ordered.size();
    for (uint32_t anchor : text.anchors) {
      if (anchor >= begin && anchor < end) {
        anchors.push_back(static_cast<uint32_t>(offset + anchor - begin));
      }
    }
    ordered.insert(ordered.end(), text.items.begin() + static_cast<long>(begin),
                   text.items.begin() + static_cast<long>(end));
  }
  // Anchors before the stretch keep their places.
  std::erase_if(text.anchors, [from](uint32_t anchor) { return anchor >= from; });
  std::sort(anchors.begin(), anchors.end());
  text.anchors.insert(text.anchors.end(), anchors.begin(), anchors.end());
  text.items.resize(from);
  text.items.insert(text.items.end(), ordered.begin(), ordered.end());
}

PackageItem Mark(char32_t code, uint32_t region) {
  PackageItem mark;
  mark.kind = ItemKind::kMark;
  mark.code = code;
  mark.region = region;
  mark.lock = Lock(NotAppliedReason::kSpansParts);
  return mark;
}

}  // namespace strbatch
