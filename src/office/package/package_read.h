// What the readers of zipped office documents share: the parts of the
// package (each read from the zip once and kept with its edits), the
// relationships of Office Open XML parts, the namespaces, and the first
// steps of a reader over one part.
#ifndef STRBATCH_OFFICE_PACKAGE_PACKAGE_READ_H_
#define STRBATCH_OFFICE_PACKAGE_PACKAGE_READ_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "office/package/package_text.h"
#include "office/package/xml_scan.h"
#include "office/package/zip_package.h"

namespace strbatch {

namespace ns {
inline constexpr std::string_view kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
inline constexpr std::string_view kWStrict = "http://purl.oclc.org/ooxml/wordprocessingml/main";
inline constexpr std::string_view kS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr std::string_view kSStrict = "http://purl.oclc.org/ooxml/spreadsheetml/main";
inline constexpr std::string_view kP = "http://schemas.openxmlformats.org/presentationml/2006/main";
inline constexpr std::string_view kPStrict = "http://purl.oclc.org/ooxml/presentationml/main";
inline constexpr std::string_view kA = "http://schemas.openxmlformats.org/drawingml/2006/main";
inline constexpr std::string_view kAStrict = "http://purl.oclc.org/ooxml/drawingml/main";
inline constexpr std::string_view kR =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr std::string_view kRStrict = "http://purl.oclc.org/ooxml/officeDocument/relationships";
inline constexpr std::string_view kMc = "http://schemas.openxmlformats.org/markup-compatibility/2006";
inline constexpr std::string_view kWp =
    "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";
inline constexpr std::string_view kWpStrict =
    "http://purl.oclc.org/ooxml/drawingml/wordprocessingDrawing";
inline constexpr std::string_view kMath = "http://schemas.openxmlformats.org/officeDocument/2006/math";
inline constexpr std::string_view kXml = "http://www.w3.org/XML/1998/namespace";
inline constexpr std::string_view kOffice = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
inline constexpr std::string_view kText = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
inline constexpr std::string_view kTable = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
inline constexpr std::string_view kDraw = "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0";
inline constexpr std::string_view kStyle = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
inline constexpr std::string_view kPresentation =
    "urn:oasis:names:tc:opendocument:xmlns:presentation:1.0";
inline constexpr std::string_view kLoExt =
    "urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0";
}  // namespace ns

struct Relationship {
  std::string id;
  std::string type;    // its last path segment ("officeDocument", "worksheet")
  std::string target;  // the part it names, from the package's root
};

// The package's parts as the readers see them.
class PackageSource {
 public:
  // shouldStop, when given, is asked while parts are scanned.
  PackageSource(const ZipPackage& zip, PackageText& text, std::function<bool()> shouldStop = {})
      : zip_(zip), text_(text), shouldStop_(std::move(shouldStop)) {}
  // The index of the part in the text's parts, read from the zip the first
  // time; UINT32_MAX (with a reason) when it is missing or unreadable.
  uint32_t Part(const std::string& name, Message* error);
  // Scans a part with handler.
  bool Scan(uint32_t part, XmlHandler& handler, Message* error);
  // The relationships of a part (empty when it has none).
  std::vector<Relationship> Relationships(const std::string& part, Message* error);
  const ZipPackage& zip() const { return zip_; }
  PackageText& text() { return text_; }
  // Why the document cannot be read at all, whatever a reader made of a
  // part it could not have: a part over the limit (the reason), or the
  // run's stop request. Empty when neither happened.
  const Message& Refusal() const { return refusal_; }
  bool Stopped() const { return stopped_; }

 private:
  const ZipPackage& zip_;
  PackageText& text_;
  std::function<bool()> shouldStop_;
  Message refusal_;
  bool stopped_ = false;
};

// Readers, one per format: they fill the text's items from the parts.
// A mark of the layout ending a region's text; no edit reaches across it.
PackageItem Mark(char32_t code, uint32_t region);

bool ReadWordprocessing(PackageSource& source, Message* error);
bool ReadOpenDocumentText(PackageSource& source, Message* error);
bool ReadSpreadsheet(PackageSource& source, Message* error);
bool ReadOpenDocumentSpreadsheet(PackageSource& source, Message* error);
bool ReadPresentation(PackageSource& source, Message* error);
bool ReadOpenDocumentPresentation(PackageSource& source, Message* error);

inline uint8_t Lock(NotAppliedReason reason) { return static_cast<uint8_t>(reason) + 1; }

// An element whose whole subtree is passed over.
class Skipper {
 public:
  bool Active() const { return depth_ > 0; }
  void Start() { depth_++; }
  void End() { depth_--; }

 private:
  int depth_ = 0;
};

// The inside of one OpenDocument paragraph (text:p or text:h), with the
// white space rules of the format: a run of blanks reads as one space,
// blanks at the paragraph's start as none, <text:s/> as spaces that always
// show. Fields and notes read as one object character each; a link is a
// field in the cells and shapes of the edit engine (linksAreFields), plain
// text in a word processor's paragraph.
class OdfParagraphReader {
 public:
  OdfParagraphReader(PackageText& text, uint32_t part, bool linksAreFields)
      : text_(text), part_(part), linksAreFields_(linksAreFields) {}
  void Begin(const XmlElement& paragraph, uint32_t region, uint8_t lock);
  bool Active() const { return depth_ > 0; }
  void Start(const XmlElement& e);
  // True when the paragraph itself ended.
  bool End(const XmlElement& e, uint32_t tagBegin, uint32_t tagEnd);
  void Text(const std::vector<XmlChar>& chars);

 private:
  struct Link {
    std::string qname;
    std::string startTag;
    bool hasId;
  };
  bool IsContainer(const XmlElement& e) const;
  void PushChain(const XmlElement& e);
  void AddObject();
  PackageItem* AddElement(ItemKind kind, char32_t code, uint32_t end);
  uint32_t Node();

  PackageText& text_;
  uint32_t part_;
  bool linksAreFields_;
  Skipper skip_;
  int depth_ = 0;
  uint32_t region_ = 0;
  uint8_t lock_ = 0;
  bool ignoreBlank_ = true;
  uint32_t elementBegin_ = 0;
  long spaces_ = 1;  // of the <text:s/> being read
  std::vector<Link> chain_;
  std::vector<uint32_t> nodes_;
  std::string textPrefix_;
};

// Adds the node that takes no insertion: marks and objects stand in it.
inline void AddNoInsertionNode(PackageText& text) {
  PackageNode node;
  node.insertable = false;
  text.AddNode(std::move(node));
}

// The break between two paragraphs of one cell or shape: reads as code,
// and joins the paragraphs when taken away. [begin, end) are the bytes from
// the first paragraph's end to the second's start. Where those bytes hold
// more than tags and blanks, the break is a mark that stays.
PackageItem ParagraphJoin(const PackageText& text, uint32_t part, char32_t code, uint32_t region,
                          uint32_t begin, uint32_t firstEnd, uint32_t secondBegin, uint32_t end);

// Adds a sheet's name as items of region, each locked as a sheet's name
// and standing for [begin, end) of part (the element that names it), then
// the CR that ends it.
void AddSheetName(PackageText& text, std::string_view utf8, uint32_t part, uint32_t begin,
                  uint32_t end, uint32_t region);

// Whether an OpenDocument settings part asks for the document to be opened
// read-only.
bool OpenDocumentLoadsReadOnly(PackageSource& source);

// The start tag of an element as the part holds it.
inline std::string StartTag(const PackagePart& part, const XmlElement& element) {
  return part.bytes.substr(element.tagBegin, element.tagEnd - element.tagBegin);
}

// Puts the items from `from` on in the order of ranges (each [begin, end)
// of those items, none overlapping), dropping the items outside every range;
// an anchor goes along with the item it stands before. A story whose
// pieces a part holds in another order than the work text lays them out
// (notes in the order of their references) is read whole, then ordered.
void ReorderItems(PackageText& text, size_t from,
                  const std::vector<std::pair<size_t, size_t>>& ranges);

// A Word or OpenDocument text: items of paragraphs, and the cell marks of
// table cells. Its regions follow those of the items the text holds
// already, so that a story's paragraphs are none of the body's.
class WordLayoutBuilder {
 public:
  explicit WordLayoutBuilder(PackageText& text) : text_(text) {
    for (size_t i = text.items.size(); i-- > 0;) {
      if (text.items[i].region != UINT32_MAX) {
        region_ = text.items[i].region;
        break;
      }
    }
  }
  uint32_t BeginParagraph() { return ++region_; }
  uint32_t NewRegion() { return ++region_; }
  uint32_t CurrentRegion() const { return region_; }
  // The paragraph mark at the end of paragraph region.
  void EndParagraph(uint32_t region, uint32_t part, uint32_t at);
  void BeginCell() { cells_.push_back({SIZE_MAX, false}); }
  void EndCell();
  void EndTable() {
    if (!cells_.empty()) cells_.back().endsWithParagraph = false;
  }

 private:
  struct Cell {
    size_t lastMark;
    bool endsWithParagraph;
  };
  PackageText& text_;
  uint32_t region_ = 0;
  std::vector<Cell> cells_;
};

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_PACKAGE_PACKAGE_READ_H_
