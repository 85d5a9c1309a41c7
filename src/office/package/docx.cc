// Word documents in Office Open XML: the body of word/document.xml, laid
// out as the word processor reads it: each paragraph's characters and its mark, table
// cells in order, each cell's last paragraph ending in the cell mark. Text
// boxes, headers, footers and notes are not part of the body; an object
// anchored as a character reads as one character, one anchored elsewhere
// as nothing. After the body come the further stories, each laid out as a
// body: the headers and footers the sections name, the notes and comments
// in the order of their references, the text boxes.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "office/package/package_read.h"

namespace strbatch {
namespace {

bool IsW(std::string_view uri) { return uri == ns::kW || uri == ns::kWStrict; }

// What the body names of the further stories: the header and footer
// relationships of its sections, in the order their story lays them out,
// and the notes and comments in the order of their first references.
struct WordReferences {
  std::vector<std::string> headersFooters;
  std::vector<std::string> footnotes, endnotes, comments;
};

// Where a header or footer reference stands in its section's order:
// headers before footers, each default, first page, even pages.
int SectionRank(std::string_view name, const std::string* type) {
  const int kind = !type || *type == "default" ? 0 : *type == "first" ? 1 : 2;
  return (name == "footerReference" ? 3 : 0) + kind;
}

void AddOnce(std::vector<std::string>& ids, const std::string* id) {
  if (id && std::find(ids.begin(), ids.end(), *id) == ids.end()) ids.push_back(*id);
}

class WordprocessingReader : public XmlHandler {
 public:
  // references, when given, gathers what the part names of the further
  // stories.
  WordprocessingReader(PackageText& text, uint32_t part, WordReferences* references = nullptr)
      : text_(text), part_(part), layout_(text), references_(references) {}

  void StartElement(const XmlElement& e) override {
    if (skip_.Active()) return skip_.Start();
    if (e.uri == ns::kMc) return StartCompatibility(e);
    if (e.uri == ns::kMath && (e.local == "oMath" || e.local == "oMathPara")) {
      AddObject();
      return skip_.Start();
    }
    if (e.uri == ns::kWp || e.uri == ns::kWpStrict) {
      // A drawing inline is a character of the text; one anchored floats.
      if (e.local == "inline") AddObject();
      if (e.local == "anchor") AddAnchor();
      return skip_.Start();
    }
    if (pictPending_) {
      if (e.local == "shapetype") return skip_.Start();
      pictPending_ = false;
      const std::string* style = e.Attribute("", "style");
      if (style && style->find("position:absolute") != std::string::npos) {
        AddAnchor();
      } else {
        AddObject();
      }
      return skip_.Start();
    }
    if (!IsW(e.uri)) return;
    const std::string_view name = e.local;
    const std::string_view parent = stack_.empty() ? std::string_view() : stack_.back();
    stack_.push_back(name);
    if (name == "p") {
      inParagraph_ = true;
      region_ = layout_.BeginParagraph();
      paragraphTag_ = std::string(e.qname);
      paragraphProperties_.clear();
      splittable_ = true;
    } else if ((name == "pPr" && parent == "p") || (name == "rPr" && parent == "r")) {
      propertiesBegin_ = e.tagBegin;
    } else if (name == "sectPr" && (parent == "pPr" || parent == "body")) {
      if (parent == "pPr") splittable_ = false;
      inSection_ = true;
      section_.clear();
    } else if ((name == "headerReference" || name == "footerReference") && inSection_) {
      const std::string* id = e.Attribute(ns::kR, "id");
      if (!id) id = e.Attribute(ns::kRStrict, "id");
      if (id) section_.emplace_back(SectionRank(name, e.Attribute(e.uri, "type")), *id);
    } else if (name == "r") {
      runTag_ = std::string(e.qname);
      runProperties_.clear();
      runInParagraph_ = parent == "p";
      runNode_ = UINT32_MAX;
    } else if ((name == "t" || name == "delText") && parent == "r") {
      textNode_ = TextNode(e);
      deleted_ = name == "delText";
    } else if (name == "tab" || name == "cr" || name == "noBreakHyphen" ||
               name == "softHyphen" || name == "sym" || name == "ptab" || name == "br") {
      if (parent != "r") return;
      elementBegin_ = e.tagBegin;
      // End tags carry no attributes: what the element reads as is told now.
      elementCode_ = 0x0B;
      if (name == "sym") {
        const std::string* code = e.Attribute(e.uri, "char");
        elementCode_ = code ? static_cast<char32_t>(std::strtoul(code->c_str(), nullptr, 16)) : '?';
      } else if (name == "br") {
        const std::string* type = e.Attribute(e.uri, "type");
        if (type && (*type == "page" || *type == "column")) elementCode_ = '\r';
      }
    } else if (name == "drawing") {
      // Decided by its first child.
    } else if (name == "pict") {
      pictPending_ = true;
    } else if (name == "footnoteRef" || name == "endnoteRef") {
      noteMarkAt_ = text_.items.size();
    } else if (name == "object" || name == "fldSimple") {
      AddObject();
      Skip();
    } else if (name == "fldChar") {
      const std::string* type = e.Attribute(e.uri, "fldCharType");
      if (type && *type == "begin") {
        if (fieldDepth_ == 0) AddObject();
        fieldDepth_++;
      } else if (type && *type == "end" && fieldDepth_ > 0) {
        fieldDepth_--;
      }
    } else if (name == "footnoteReference" || name == "endnoteReference" ||
               name == "commentReference") {
      AddObject();
      if (references_) {
        AddOnce(name == "footnoteReference"  ? references_->footnotes
                : name == "endnoteReference" ? references_->endnotes
                                             : references_->comments,
                e.Attribute(e.uri, "id"));
      }
    } else if (name == "bookmarkStart" || name == "bookmarkEnd" || name == "commentRangeStart" ||
               name == "commentRangeEnd") {
      AddAnchor();
    } else if (name == "txbxContent" || name == "instrText" || name == "delInstrText" ||
               name == "sdtPr" || name == "sdtEndPr" || name == "rt" || name == "rubyPr") {
      Skip();
    } else if (name == "tc") {
      layout_.BeginCell();
    }
  }

  void EndElement(const XmlElement& e, uint32_t tagBegin, uint32_t tagEnd) override {
    if (skip_.Active()) return skip_.End();
    if (e.uri == ns::kMc) return EndCompatibility(e);
    if (!IsW(e.uri)) return;
    if (!stack_.empty()) stack_.pop_back();
    const std::string_view name = e.local;
    const std::string_view parent = stack_.empty() ? std::string_view() : stack_.back();
    if (name == "p") {
      if (inParagraph_) layout_.EndParagraph(region_, part_, tagBegin);
      inParagraph_ = false;
    } else if (name == "sectPr" && inSection_ && (parent == "pPr" || parent == "body")) {
      inSection_ = false;
      std::stable_sort(section_.begin(), section_.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      if (references_) {
        for (const auto& reference : section_) {
          references_->headersFooters.push_back(reference.second);
        }
      }
    } else if (name == "pPr" && parent == "p") {
      paragraphProperties_ = Bytes(propertiesBegin_, tagEnd);
    } else if (name == "rPr" && parent == "r") {
      runProperties_ = Bytes(propertiesBegin_, tagEnd);
    } else if (name == "t" || name == "delText") {
      textNode_ = UINT32_MAX;
      deleted_ = false;
    } else if (parent == "r" && (name == "tab" || name == "ptab")) {
      AddElement('\t', tagEnd);
    } else if (parent == "r" && name == "cr") {
      AddElement(0x0B, tagEnd);
    } else if (parent == "r" && name == "noBreakHyphen") {
      AddElement(0x2011, tagEnd);
    } else if (parent == "r" && name == "softHyphen") {
      AddElement(0xAD, tagEnd);
    } else if (parent == "r" && name == "sym") {
      AddElement(elementCode_, tagEnd);
    } else if (parent == "r" && name == "br") {
      if (elementCode_ == '\r') {
        // The word processor begins a new paragraph at a page or column
        // break.
        if (inParagraph_ && Reading()) {
          layout_.EndParagraph(region_, part_, elementBegin_);
          region_ = layout_.NewRegion();
        }
      } else {
        AddElement(0x0B, tagEnd);
      }
    } else if (name == "pict") {
      pictPending_ = false;
    } else if (name == "tc") {
      layout_.EndCell();
    } else if (name == "tbl") {
      layout_.EndTable();
    }
  }

  void Text(const std::vector<XmlChar>& chars) override {
    if (skip_.Active() || textNode_ == UINT32_MAX || !Reading()) return;
    for (const XmlChar& c : chars) {
      PackageItem item;
      item.code = c.code;
      item.part = part_;
      item.begin = c.begin;
      item.end = c.end;
      item.node = textNode_;
      item.region = region_;
      if (deleted_) item.lock = Lock(NotAppliedReason::kProtected);
      text_.items.push_back(item);
    }
  }

 private:
  bool Reading() const { return inParagraph_ && fieldDepth_ == 0; }
  void Skip() {
    if (!stack_.empty()) stack_.pop_back();
    skip_.Start();
  }

  // Markup compatibility: the first choice is read, the fallback (the same
  // content for older readers) is not.
  void StartCompatibility(const XmlElement& e) {
    if (e.local == "AlternateContent") {
      alternatives_.push_back(false);
    } else if (e.local == "Choice" || e.local == "Fallback") {
      if (alternatives_.empty() || alternatives_.back()) return skip_.Start();
      alternatives_.back() = true;
    }
  }
  void EndCompatibility(const XmlElement& e) {
    if (e.local == "AlternateContent" && !alternatives_.empty()) alternatives_.pop_back();
  }

  std::string Bytes(uint32_t begin, uint32_t end) const {
    return text_.parts[part_].bytes.substr(begin, end - begin);
  }
  std::string Prefixed(std::string_view qname, std::string_view local) const {
    const size_t colon = qname.find(':');
    return (colon == std::string_view::npos ? std::string() : std::string(qname.substr(0, colon + 1))) +
           std::string(local);
  }

  PackageNode RunNode(bool inText) const {
    PackageNode node;
    node.part = part_;
    node.format = PackageFormat::kWordprocessing;
    node.inText = inText;
    const std::string t = Prefixed(runTag_, "t");
    node.textOpen = "<" + t + " xml:space=\"preserve\">";
    node.textClose = "</" + t + ">";
    node.tab = "<" + Prefixed(runTag_, "tab") + "/>";
    node.lineBreak = "<" + Prefixed(runTag_, "br") + "/>";
    if (runInParagraph_ && splittable_) {
      node.paragraph = "</" + runTag_ + "></" + paragraphTag_ + "><" + paragraphTag_ + ">" +
                       paragraphProperties_ + "<" + runTag_ + ">" + runProperties_;
    }
    return node;
  }
  uint32_t TextNode(const XmlElement& e) {
    PackageNode node = RunNode(true);
    const std::string* space = e.Attribute(ns::kXml, "space");
    node.preserve = space && *space == "preserve";
    node.textTagEnd = e.empty ? 0 : e.tagEnd;
    return text_.AddNode(std::move(node));
  }

  void Add(PackageItem item) {
    item.part = part_;
    item.region = region_;
    text_.items.push_back(item);
  }
  void AddObject() {
    if (!Reading()) return;
    PackageItem item;
    item.kind = ItemKind::kObject;
    item.code = 0xFFFC;
    item.lock = Lock(NotAppliedReason::kObjectAnchor);
    Add(item);
  }
  void AddAnchor() {
    if (Reading()) text_.AddAnchor();
  }
  void AddElement(char32_t code, uint32_t end) {
    if (!Reading()) return;
    // A tab right after a note's number sets the note apart from it:
    // LibreOffice writes one there and leaves it out when it reads the note,
    // and the two paths read a note alike.
    if (code == '\t' && noteMarkAt_ == text_.items.size()) {
      noteMarkAt_ = SIZE_MAX;
      return;
    }
    if (runNode_ == UINT32_MAX) runNode_ = text_.AddNode(RunNode(false));
    PackageItem item;
    item.kind = ItemKind::kElement;
    item.code = code;
    item.begin = elementBegin_;
    item.end = end;
    item.node = runNode_;
    Add(item);
  }

  PackageText& text_;
  uint32_t part_;
  WordLayoutBuilder layout_;
  WordReferences* references_;
  bool inSection_ = false;
  std::vector<std::pair<int, std::string>> section_;  // (rank, relationship)
  Skipper skip_;
  std::vector<std::string_view> stack_;
  std::vector<bool> alternatives_;
  bool inParagraph_ = false;
  uint32_t region_ = 0;
  int fieldDepth_ = 0;
  bool pictPending_ = false;
  std::string paragraphTag_, runTag_;
  std::string paragraphProperties_, runProperties_;
  uint32_t propertiesBegin_ = 0;
  bool splittable_ = true;
  bool runInParagraph_ = false;
  uint32_t runNode_ = UINT32_MAX;
  uint32_t textNode_ = UINT32_MAX;
  bool deleted_ = false;
  uint32_t elementBegin_ = 0;
  char32_t elementCode_ = 0;
  size_t noteMarkAt_ = SIZE_MAX;  // the item a note's number mark stands before
};

// The notes (or comments) of a part that the body refers to: each child
// of the part's root with a wanted id is read as a body, and where its items
// lie is kept. Separators and other notes the word processor makes itself
// are no one's notes.
class NoteReader : public XmlHandler {
 public:
  NoteReader(PackageText& text, uint32_t part, const std::vector<std::string>& wanted)
      : text_(text), reader_(text, part), wanted_(wanted.begin(), wanted.end()) {}

  void StartElement(const XmlElement& e) override {
    if (skip_.Active()) return skip_.Start();
    if (depth_ > 0) {
      depth_++;
      return reader_.StartElement(e);
    }
    if (!root_) {
      root_ = true;
      return;
    }
    const std::string* id = e.Attribute(e.uri, "id");
    const std::string* type = e.Attribute(e.uri, "type");
    if (!IsW(e.uri) || !id || wanted_.count(*id) == 0 || read_.count(*id) != 0 ||
        (type && *type != "normal")) {
      return skip_.Start();
    }
    depth_ = 1;
    id_ = *id;
    begin_ = text_.items.size();
  }

  void EndElement(const XmlElement& e, uint32_t tagBegin, uint32_t tagEnd) override {
    if (skip_.Active()) return skip_.End();
    if (depth_ == 0) return;
    if (--depth_ > 0) return reader_.EndElement(e, tagBegin, tagEnd);
    read_[id_] = {begin_, text_.items.size()};
  }

  void Text(const std::vector<XmlChar>& chars) override {
    if (depth_ > 0) reader_.Text(chars);
  }

  // The items of the notes in the order of ids (an id the part lacks has
  // none).
  std::vector<std::pair<size_t, size_t>> Ranges(const std::vector<std::string>& ids) const {
    std::vector<std::pair<size_t, size_t>> ranges;
    for (const std::string& id : ids) {
      auto found = read_.find(id);
      if (found != read_.end()) ranges.push_back(found->second);
    }
    return ranges;
  }

 private:
  PackageText& text_;
  WordprocessingReader reader_;
  std::set<std::string> wanted_;
  std::map<std::string, std::pair<size_t, size_t>> read_;
  Skipper skip_;
  bool root_ = false;
  int depth_ = 0;
  std::string id_;
  size_t begin_ = 0;
};

// The text boxes of a part: the content of each w:txbxContent that is in no
// other, read as a body. Of markup compatibility's alternatives only the
// first is read, as in the body, so that a box written twice (a drawing and
// its fallback for older readers) is read once; the bytes of the
// alternatives after it are a copy of the boxes read, which an edit of
// their text takes out (PackageText::copies).
class TextBoxReader : public XmlHandler {
 public:
  TextBoxReader(PackageText& text, uint32_t part) : text_(text), part_(part), reader_(text, part) {}

  void StartElement(const XmlElement& e) override {
    if (skip_.Active()) return skip_.Start();
    if (depth_ > 0) {
      depth_++;
      return reader_.StartElement(e);
    }
    if (e.uri == ns::kMc) {
      if (e.local == "AlternateContent") {
        alternatives_.push_back({false, text_.items.size(), UINT32_MAX, 0});
      } else if (e.local == "Choice" || e.local == "Fallback") {
        if (alternatives_.empty()) return skip_.Start();
        Alternatives& alternatives = alternatives_.back();
        if (alternatives.read) {
          alternatives.restBegin = std::min(alternatives.restBegin, e.tagBegin);
          skippingRest_ = true;
          return skip_.Start();
        }
        alternatives.read = true;
      }
    } else if (IsW(e.uri) && e.local == "txbxContent") {
      depth_ = 1;
    }
  }

  void EndElement(const XmlElement& e, uint32_t tagBegin, uint32_t tagEnd) override {
    if (skip_.Active()) {
      skip_.End();
      if (!skip_.Active() && skippingRest_) {
        skippingRest_ = false;
        alternatives_.back().restEnd = tagEnd;
      }
      return;
    }
    if (depth_ > 0) {
      if (--depth_ > 0) reader_.EndElement(e, tagBegin, tagEnd);
      return;
    }
    if (e.uri == ns::kMc && e.local == "AlternateContent" && !alternatives_.empty()) {
      const Alternatives ended = alternatives_.back();
      alternatives_.pop_back();
      if (ended.restBegin < ended.restEnd && ended.items < text_.items.size()) {
        text_.copies.push_back({text_.items[ended.items].region, text_.items.back().region, part_,
                                ended.restBegin, ended.restEnd});
      }
    }
  }

  void Text(const std::vector<XmlChar>& chars) override {
    if (depth_ > 0) reader_.Text(chars);
  }

 private:
  struct Alternatives {
    bool read;           // one of them has been read
    size_t items;        // the items there were before them
    uint32_t restBegin;  // the bytes of those after the one read
    uint32_t restEnd;
  };

  PackageText& text_;
  uint32_t part_;
  WordprocessingReader reader_;
  Skipper skip_;
  std::vector<Alternatives> alternatives_;
  bool skippingRest_ = false;  // the skip began at one of those
  int depth_ = 0;
};

// word/settings.xml: write protection, and changes being recorded.
class WordSettingsReader : public XmlHandler {
 public:
  void StartElement(const XmlElement& e) override {
    if (!IsW(e.uri)) return;
    if (e.local == "writeProtection" || e.local == "trackRevisions") {
      const std::string* value = e.Attribute(e.uri, "val");
      if (!value || (*value != "false" && *value != "0" && *value != "off")) locked = true;
    } else if (e.local == "documentProtection") {
      const std::string* enforced = e.Attribute(e.uri, "enforcement");
      const std::string* edit = e.Attribute(e.uri, "edit");
      if (enforced && (*enforced == "1" || *enforced == "true" || *enforced == "on") &&
          (!edit || *edit != "none")) {
        locked = true;
      }
    }
  }
  void EndElement(const XmlElement&, uint32_t, uint32_t) override {}
  void Text(const std::vector<XmlChar>&) override {}
  bool locked = false;
};

// The part a relationship of the main document names, read; UINT32_MAX
// with no error when there is none (a part the package lacks holds no
// story), UINT32_MAX with the reason when it cannot be read.
uint32_t StoryPart(PackageSource& source, const std::vector<Relationship>& relationships,
                   const std::string& type, const std::string* id, Message* error) {
  for (const Relationship& r : relationships) {
    if ((id ? r.id != *id : r.type != type) || !source.zip().Has(r.target)) continue;
    return source.Part(r.target, error);
  }
  *error = Message();
  return UINT32_MAX;
}

bool ReadWordStories(PackageSource& source, const std::string& main, uint32_t mainPart,
                     const WordReferences& references, Message* error) {
  PackageText& text = source.text();
  const std::vector<Relationship> relationships = source.Relationships(main, error);
  text.AddStoryMark();
  std::set<uint32_t> seen;
  for (const std::string& id : references.headersFooters) {
    const uint32_t part = StoryPart(source, relationships, "", &id, error);
    if (part == UINT32_MAX) {
      if (error->Empty()) continue;
      return false;
    }
    if (!seen.insert(part).second) continue;
    WordprocessingReader reader(text, part);
    if (!source.Scan(part, reader, error)) return false;
  }
  const std::pair<const char*, const std::vector<std::string>*> notes[] = {
      {"footnotes", &references.footnotes},
      {"endnotes", &references.endnotes},
      {"comments", &references.comments}};
  for (const auto& [type, ids] : notes) {
    text.AddStoryMark();
    if (ids->empty()) continue;
    const uint32_t part = StoryPart(source, relationships, type, nullptr, error);
    if (part == UINT32_MAX) {
      if (error->Empty()) continue;
      return false;
    }
    const size_t from = text.items.size();
    NoteReader reader(text, part, *ids);
    if (!source.Scan(part, reader, error)) return false;
    ReorderItems(text, from, reader.Ranges(*ids));
  }
  text.AddStoryMark();
  if (text.parts[mainPart].bytes.find("txbxContent") == std::string::npos) return true;
  TextBoxReader boxes(text, mainPart);
  return source.Scan(mainPart, boxes, error);
}

}  // namespace

bool ReadWordprocessing(PackageSource& source, Message* error) {
  std::string main;
  for (const Relationship& r : source.Relationships("", error)) {
    if (r.type == "officeDocument") main = r.target;
  }
  if (main.empty()) {
    *error = Message(MessageId::kNoMainDocument);
    return false;
  }
  const uint32_t part = source.Part(main, error);
  if (part == UINT32_MAX) return false;
  PackageText& text = source.text();
  for (const Relationship& r : source.Relationships(main, error)) {
    if (r.type != "settings" || !source.zip().Has(r.target)) continue;
    const uint32_t settings = source.Part(r.target, error);
    WordSettingsReader reader;
    if (settings != UINT32_MAX && source.Scan(settings, reader, error) && reader.locked) {
      text.protectedDocument = true;
    }
  }
  WordReferences references;
  WordprocessingReader reader(text, part, &references);
  if (!source.Scan(part, reader, error)) return false;
  return ReadWordStories(source, main, part, references, error);
}

}  // namespace strbatch
