// OpenDocument packages: what the readers of texts, spreadsheets and
// presentations share. Each format's own reader is in odt.cc, ods.cc and
// odp.cc.
#include "office/package/odf.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace strbatch {

long Repeated(const XmlElement& e, std::string_view uri, std::string_view name) {
  const std::string* value = e.Attribute(uri, name);
  return value ? std::max(1L, std::strtol(value->c_str(), nullptr, 10)) : 1;
}

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

}  // namespace

bool SplitSpaceRuns(PackageSource& source, uint32_t part, Message* error) {
  PackagePart& content = source.text().parts[part];
  SpaceRuns runs(content.bytes);
  if (!source.Scan(part, runs, error)) return false;
  std::string split;
  if (runs.Split(&split)) content.bytes = std::move(split);
  return true;
}

}  // namespace strbatch
