// The work text of an office document: the one contract both ways of
// reading a document keep (the application's object model and the package
// readers), so that a document reads the same whichever way it is opened.
//
// A Word document has no separators: a paragraph ends in CR LF, a table
// cell in CR BEL, and each pair is one character of the document. A
// workbook lays out its cells as TAB-separated columns, LF-separated rows
// and CR-separated sheets; a presentation its shapes LF-separated in
// CR-separated slides. Inside a cell or a shape every separator byte of the
// layout (and the story mark) reads as a space, so no separator occurs
// within one.
#ifndef STRBATCH_OFFICE_WORK_TEXT_H_
#define STRBATCH_OFFICE_WORK_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "office/office_formats.h"

namespace strbatch {

// How a kind of document lays out its text: the bytes that separate the
// levels (-1 for a level the layout lacks), whether an LF or BEL right
// after a CR belongs to the CR's character, and the byte that begins each
// story after the body (-1 when the text is the body alone), which starts
// all levels afresh.
struct TextLayout {
  int outer = -1;
  int middle = -1;
  int inner = -1;
  bool crPairs = false;
  int story = -1;

  bool Separates(int byte) const {
    return byte == outer || byte == middle || byte == inner || byte == story;
  }
};

// The separators: a workbook's cell, row and sheet end in TAB, LF and CR, a
// presentation's shape and slide in LF and CR.
inline constexpr char kCellEnd = '\t';
inline constexpr char kRowEnd = '\n';
inline constexpr char kSheetEnd = '\r';
inline constexpr char kShapeEnd = '\n';
inline constexpr char kSlideEnd = '\r';

// The layout of each kind's body.
inline constexpr TextLayout kWordTextLayout{.crPairs = true};
inline constexpr TextLayout kWorkbookTextLayout{
    .outer = kSheetEnd, .middle = kRowEnd, .inner = kCellEnd};
inline constexpr TextLayout kPresentationTextLayout{.outer = kSlideEnd, .middle = kShapeEnd};

// The layout of a kind of document's work text.
constexpr TextLayout WorkTextLayout(OfficeKind kind) {
  switch (kind) {
    case OfficeKind::Word: return kWordTextLayout;
    case OfficeKind::Excel: return kWorkbookTextLayout;
    case OfficeKind::PowerPoint: return kPresentationTextLayout;
    case OfficeKind::None: break;
  }
  return TextLayout();
}

// Word's marks: the end of a paragraph, and the end of a table cell, which
// its layout writes as CR followed by this byte.
inline constexpr std::string_view kParagraphMark = "\r\n";
inline constexpr std::string_view kCellEndMark = "\r\a";
inline constexpr char32_t kCellMark = 7;

// What a character of a cell's or a shape's own text reads as in the
// layout: a separator of the layout reads as a space.
constexpr char32_t InCellCharacter(const TextLayout& layout, char32_t code) {
  return code < 0x80 && layout.Separates(static_cast<int>(code)) ? U' ' : code;
}

// A cell's or shape's text as its layout holds it: where CR is a separator,
// a CR LF pair becomes one space, and so does every other separator byte
// (the story mark too), so that the separators never occur inside. A
// layout without separators keeps the text as it is.
std::string CleanLayoutText(std::string_view text, const TextLayout& layout);

// A document's work text as its application gave it.
struct OfficeText {
  std::string bytes;
  // The offset of each "?" in bytes that stands for a character the code
  // page cannot hold, in order.
  std::vector<size_t> standIns;
  // How many of them stand for an object or a field (U+FFFC) rather than a
  // character of the text: never matched either, but nothing the user's
  // code page lacks.
  size_t objects = 0;
  // The application failed part of the way: bytes holds what was read up to
  // there.
  bool readInPart = false;

  // Appends UTF-8 text in the code page, noting its stand-ins.
  void AppendUtf8(std::string_view utf8, const CodePage& codePage);
};

// Appends a cell's or shape's text, given as UTF-8, to the work text as the
// layout holds it.
void AppendLayoutText(OfficeText& text, std::string_view utf8, const TextLayout& layout,
                      const CodePage& codePage);

// Appends count items of one level of the layout, each written by item(i)
// (i from 1) and ended by the level's separator.
template <class Item>
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a count, then a layout's byte
void AppendLayoutLevel(std::string& text, long count, int separator, Item&& item) {
  for (long i = 1; i <= count; i++) {
    item(i);
    text.push_back(static_cast<char>(separator));
  }
}

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_WORK_TEXT_H_
