// OpenDocument text, read in the layout of a Word document. Its further
// stories follow its body: the headers and footers of the master pages in
// styles.xml, then the bodies of the notes, the annotations and the text
// boxes of content.xml, each read as a body.
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

}  // namespace strbatch
