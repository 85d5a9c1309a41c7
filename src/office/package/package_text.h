// The text of a zipped office document (Office Open XML or OpenDocument) as
// the work text lays it out, one item per character, each item knowing the
// bytes of the XML part it was read from. The readers (package_word.cc,
// package_sheet.cc, package_slides.cc) fill it; PackageEdits turns the
// occurrences found in the work text into edits of those bytes.
#ifndef STRBATCH_OFFICE_PACKAGE_PACKAGE_TEXT_H_
#define STRBATCH_OFFICE_PACKAGE_PACKAGE_TEXT_H_

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "office/office_bridge.h"

namespace strbatch {

enum class PackageFormat : uint8_t { kWordprocessing, kSpreadsheet, kPresentation, kOpenDocument };

enum class ItemKind : uint8_t {
  kChar,     // a character of a text node
  kSpace,    // one of the spaces an OpenDocument <text:s/> stands for
  kElement,  // an element that reads as one character: a tab, a line break
  kMark,     // a paragraph or cell mark, or a separator of the layout
  kObject,   // an object, a field or a note anchored as a character
  kShown,    // a character a number or formula cell displays
};


struct PackageItem {
  char32_t code = 0;        // what it reads as (kMark: CR, LF, TAB or kCellMark)
  uint32_t part = 0;        // the part it was read from
  uint32_t begin = 0;       // its bytes there (an element's whole bytes; a mark's
  uint32_t end = 0;         // place)
  uint32_t node = 0;        // the context it stands in (PackageNode)
  uint32_t region = 0;      // its paragraph, cell or shape
  ItemKind kind = ItemKind::kChar;
  uint8_t lock = 0;         // 0, or 1 + the NotAppliedReason it is left for
  uint8_t spaceIndex = 0;   // kSpace: which of its element's spaces
  bool hiddenAfter = false; // OpenDocument: white space that reads as nothing
                            // follows it in another text node
};

// What an edit needs to know of the place where text is inserted: how the
// format writes text, a tab, a line break and a paragraph break there.
struct PackageNode {
  uint32_t part = 0;
  PackageFormat format = PackageFormat::kWordprocessing;
  // Office Open XML: the place lies inside a text element (w:t, a:t, t);
  // textTagEnd is just past its start tag, preserve tells whether it keeps
  // its blanks already.
  bool inText = false;
  bool preserve = true;
  uint32_t textTagEnd = 0;
  // Inserting text is possible here.
  bool insertable = true;
  std::string textOpen, textClose;  // enter and leave a text element (Word)
  std::string tab;        // a tab element, written outside text ("" : a TAB character)
  std::string lineBreak;  // a line break, outside text ("": an LF character)
  std::string paragraph;  // a paragraph break, outside text ("": not possible)
  std::string space;      // OpenDocument: the element for one space
};

// A workbook cell whose shared string other cells use too. Its edits are
// made on a copy of the string; when the pass is applied, a string that all
// its cells get alike is edited where it stands, otherwise each cell edited
// points at a new string with its text, and a string no cell uses any more
// is blanked in its place (so that the replaced text does not stay behind).
struct SharedCell {
  uint32_t stringsPart = 0;
  uint32_t index = 0;                         // of the string
  uint32_t users = 0;                         // the cells using it, in all sheets
  uint32_t stringBegin = 0, stringEnd = 0;    // its <si> element
  uint32_t contentBegin = 0, contentEnd = 0;  // between its tags
  uint32_t sheetPart = 0;
  uint32_t valueBegin = 0, valueEnd = 0;      // the index in the cell's <v>
};

// Where new shared strings go, and their count.
struct SharedStrings {
  uint32_t part = UINT32_MAX;
  uint32_t appendAt = 0;                  // the start of </sst>
  uint32_t countBegin = 0, countEnd = 0;  // the uniqueCount value, when written
  uint32_t strings = 0;                   // the <si> elements there are
};

// Bytes that hold a second copy of the text of regions [firstRegion,
// lastRegion] for readers that cannot read it where it was read from (markup
// compatibility's alternatives after the one read). An edit in one of those
// regions takes the copy out, so that the replaced text stays nowhere.
struct PackageCopy {
  uint32_t firstRegion = 0, lastRegion = 0;
  uint32_t part = 0;
  uint32_t begin = 0, end = 0;
};

// The parts of the package as they are now, by name.
struct PackagePart {
  std::string name;
  std::string bytes;
  bool changed = false;
};

class PackageText {
 public:
  PackageFormat format = PackageFormat::kWordprocessing;
  std::vector<PackagePart> parts;
  std::vector<PackageItem> items;
  std::vector<PackageNode> nodes;
  // Items before which an object without a character of its own is
  // anchored (a floating drawing, a bookmark), ascending.
  std::vector<uint32_t> anchors;
  // The items that begin the further stories (each a kStoryMark mark), in
  // the order of FurtherStories. A reader adds the body's items first, then
  // for each further story its mark and its items.
  std::vector<uint32_t> storyMarks;
  // Workbooks: the cells (by region) whose shared string others use too.
  std::map<uint32_t, SharedCell> sharedCells;
  SharedStrings sharedStrings;
  std::vector<PackageCopy> copies;
  // A note to the user when the whole document is left unedited; set by a
  // reader for a document under write protection.
  bool protectedDocument = false;

  uint32_t AddNode(PackageNode node) {
    nodes.push_back(std::move(node));
    return static_cast<uint32_t>(nodes.size() - 1);
  }
  void AddAnchor() {
    const uint32_t at = static_cast<uint32_t>(items.size());
    if (anchors.empty() || anchors.back() != at) anchors.push_back(at);
  }
  void AddStoryMark() {
    PackageItem mark;
    mark.kind = ItemKind::kMark;
    mark.code = static_cast<char32_t>(kStoryMark);
    mark.region = UINT32_MAX;
    mark.lock = static_cast<uint8_t>(NotAppliedReason::kSpansParts) + 1;
    storyMarks.push_back(static_cast<uint32_t>(items.size()));
    items.push_back(mark);
  }
  // The items of the body: those before the first story mark.
  size_t BodyItems() const { return storyMarks.empty() ? items.size() : storyMarks.front(); }
  uint32_t PartIndex(const std::string& name) const;
  void Clear() {
    storyMarks.clear();
    items.clear();
    nodes.clear();
    anchors.clear();
    sharedCells.clear();
    sharedStrings = SharedStrings();
    copies.clear();
    protectedDocument = false;
  }
};

// The work text of the items [begin, end) in layout: Word keeps every
// character, a workbook or presentation has CR, LF (and TAB in a workbook)
// of its cells and shapes as spaces. offsets[i] is where item begin + i
// begins in the text (offsets has one entry more than items); lossy[i]
// tells that the code page holds that item only as a stand-in.
// shouldStop, when given, is asked every few million items; once it
// answers true the layout ends there, with stopped set.
struct PackageWorkText {
  std::string text;
  std::vector<uint32_t> offsets;
  std::vector<bool> lossy;
  bool stopped = false;
};
PackageWorkText LayOutPackageText(const PackageText& text, OfficeKind kind,
                                  const CodePage& codePage, size_t begin, size_t end,
                                  const std::function<bool()>& shouldStop = {});

// Turns occurrences into edits of the parts' bytes: each occurrence is
// checked (inside one paragraph, cell or shape; no mark, object, anchor,
// protected or displayed character; whole characters), and the edits of one
// pass over the text are applied together by Apply.
class PackageEdits {
 public:
  PackageEdits(PackageText& text, const PackageWorkText& work, const CodePage& codePage)
      : text_(text), work_(work), codePage_(codePage) {}

  // The occurrence [start, start + length) of the work text, replaced by
  // replacement (in the code page). False, with the reason, when it is
  // left as it is.
  bool Edit(size_t start, size_t length, std::string_view replacement, NotAppliedReason* reason);
  bool Pending() const { return !splices_.empty() || !own_.empty(); }
  // Writes the edits into the parts. False when two of them overlap (then
  // none is written).
  bool Apply();

 private:
  struct Splice {
    uint32_t part;
    uint32_t begin, end;
    std::string bytes;
    uint32_t order;
  };
  bool Plan(size_t first, size_t last, std::string_view utf8, NotAppliedReason* reason);
  bool Insert(size_t at, std::string_view utf8, NotAppliedReason* reason);
  // A splice of the edit of an item of region (a cell with a string of its
  // own goes to that string's copy).
  void AddSplice(uint32_t region, uint32_t part, uint32_t begin, uint32_t end, std::string bytes);
  // Whether [begin, end) of part overlaps bytes an edit of this pass takes.
  bool Overlaps(uint32_t region, uint32_t part, uint32_t begin, uint32_t end) const;
  void KeepBlanks(uint32_t region, uint32_t node);
  // The copies of region's text (PackageText::copies) this pass has not
  // taken out yet; whether they can be (no edit planned lies in their
  // bytes); taking them out.
  std::vector<size_t> CopiesToDrop(uint32_t region) const;
  bool CopiesFree(uint32_t region) const;
  void DropCopies(uint32_t region);
  // The edits of shared strings the pass made, as edits of the strings
  // and, where the cells of a string differ, new strings the edited cells
  // point at.
  void AddOwnStrings();
  // OpenDocument: whether the character before item `at` (as the pass has
  // edited the text so far) is one that lets a following space show.
  bool ShowsNextSpace(size_t at) const;

  PackageText& text_;
  const PackageWorkText& work_;
  const CodePage& codePage_;
  std::vector<Splice> splices_;
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> taken_;  // (part, begin) -> end
  std::set<std::pair<uint32_t, uint32_t>> preserved_;  // (region, node) given
                                                          // xml:space="preserve"
  std::map<uint32_t, std::vector<Splice>> own_;  // edits of shared strings, by cell
  std::vector<size_t> dropped_;                  // the copies this pass takes out
  size_t lastEnd_ = SIZE_MAX;        // the item after the last edit
  bool lastShowsSpace_ = false;      // its inserted text lets a following space show
  size_t converted_ = SIZE_MAX;      // an item whose space was made an element
  size_t convertedSplice_ = 0;
};

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_PACKAGE_PACKAGE_TEXT_H_
