// A document text as the object model presents it: one entry per character,
// built from the paragraphs and their text portions, with what each takes
// in cursor steps and whether it may be edited. Positions and texts are
// answered from the mirror; only edits talk to LibreOffice, and update the
// mirror as they go, so mirror and document stay in step.
//
// Reading the whole text as one string would not do: its offsets do not
// line up with cursor steps once there are fields, objects, tables or
// characters outside the BMP. Here a Writer cursor step is one code point
// and an edit-engine step (cells, shapes) one UTF-16 unit; a field or an
// object is one locked character per step it takes.
#ifndef STRBATCH_OFFICE_LIBREOFFICE_TEXT_MIRROR_H_
#define STRBATCH_OFFICE_LIBREOFFICE_TEXT_MIRROR_H_

#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "uno_support.h"

namespace strbatch::uno {

struct InsertedPiece;  // a run of inserted text or a break

enum class CharKind : uint8_t { Text, ParagraphBreak, LineBreak, CellMark, Object };

struct MirrorChar {
  char32_t code = 0;  // the character, for Text
  CharKind kind = CharKind::Text;
  uint8_t steps = 1;  // cursor steps it takes
  EditLock lock = EditLock::kNone;
  uint32_t paragraph = 0;
};

class TextMirror {
 public:
  // How the kinds read in this application, and how it steps.
  struct Style {
    const char* paragraphBreak;
    const char* lineBreak;
    bool utf16Steps;        // an edit engine: a character outside the BMP is two steps
    bool breaksRebuild;     // Writer: a paragraph break changes the paragraphs' anchors
  };
  // edited is set by every edit, for the document to know it changed: an
  // edit-engine text changed through the API does not always mark its
  // document modified.
  TextMirror(const Style& style, std::shared_ptr<bool> edited)
      : style_(style), edited_(std::move(edited)) {}

  // ---- Building ----
  // A paragraph of text; anchor is the paragraph (cursor steps count from
  // its start), or null for a whole edit-engine text counted from its start.
  uint32_t AddParagraph(const Reference<css::text::XText>& text,
                        const Reference<css::text::XTextRange>& anchor);
  // Appends a text portion: LF is a line break, other control characters
  // (but TAB) are locked objects.
  void AddText(uint32_t paragraph, const rtl::OUString& text, EditLock lock);
  void AddObject(uint32_t paragraph, int steps);
  void AddBreak(uint32_t paragraph, CharKind kind, EditLock lock);
  // Gives a paragraph added without its text (read in bulk) the text its
  // edits go through.
  void SetParagraphText(uint32_t paragraph, const Reference<css::text::XText>& text) {
    paragraphs_.at(paragraph).text = text;
  }
  const Reference<css::text::XText>& ParagraphText(uint32_t paragraph) const {
    return paragraphs_.at(paragraph).text;
  }
  bool HasParagraphText(uint32_t paragraph) const {
    return paragraph < paragraphs_.size() && paragraphs_[paragraph].text.is();
  }
  // Cursor steps of the paragraph's characters so far.
  long ParagraphSteps(uint32_t paragraph) const;
  void LockParagraph(uint32_t paragraph, EditLock lock);
  void LockAll(EditLock lock);
  void Clear();

  // ---- Reading ----
  size_t Size() const { return chars_.size(); }
  std::string Text(size_t from, size_t to) const;
  // Whether [from, to) may be replaced (kNone), or why not; an empty range
  // asks whether text can be inserted there.
  EditLock Lock(size_t from, size_t to) const;

  // ---- Editing ----
  void Delete(size_t from, size_t to);
  // Inserts UTF-8 text before character at; CR, LF and CR LF become a
  // paragraph break, VT a line break. Gives the characters inserted.
  size_t Insert(size_t at, std::string_view utf8);
  // The same two edits on the mirror alone, for a text that is then written
  // back whole (a plain cell).
  void DeleteLocal(size_t from, size_t to);
  size_t InsertLocal(size_t at, std::string_view utf8);
  // Set when an edit took or made a paragraph break and the style asks for
  // the mirror to be built again.
  bool NeedsRebuild() const { return needsRebuild_; }

 private:
  struct Paragraph {
    Reference<css::text::XText> text;
    Reference<css::text::XTextRange> anchor;
  };
  // A collapsed cursor just before character position (or at the end).
  Reference<css::text::XTextCursor> CursorAt(size_t position, uint32_t* paragraph) const;
  uint8_t StepsOf(char32_t code) const { return style_.utf16Steps && code > 0xFFFF ? 2 : 1; }
  // The characters that inserting these pieces makes, in paragraph.
  std::vector<MirrorChar> Characters(const std::vector<InsertedPiece>& pieces,
                                     uint32_t paragraph);

  // The cursor of the last edit and where it stands: edits run from left to
  // right, so the next one usually starts from there with one move.
  struct CursorCache {
    Reference<css::text::XTextCursor> cursor;
    size_t position = 0;
    uint32_t paragraph = 0;
  };

  Style style_;
  std::shared_ptr<bool> edited_;
  CursorCache cache_;
  std::vector<MirrorChar> chars_;
  std::vector<Paragraph> paragraphs_;
  bool needsRebuild_ = false;
};

// What reading a paragraph's text portions met.
struct PortionsRead {
  bool objects = false;   // a portion other than text
  bool measured = true;   // the steps of every such portion could be told
};

// The cursor steps a portion other than text takes; -1 when it cannot be
// told.
using PortionSteps = std::function<int(const Reference<css::text::XTextRange>& portion)>;

// Reads the text portions of one paragraph into the mirror's paragraph: a
// text portion as its characters, any other portion (a field, an anchor, a
// bookmark) as the locked characters of the steps it takes. The reading
// stops at a portion whose steps cannot be told. Throws UNO exceptions.
PortionsRead MirrorPortions(TextMirror& mirror, uint32_t paragraph,
                            const Reference<css::container::XEnumerationAccess>& portions,
                            EditLock lock, const PortionSteps& steps);

// Builds the mirror of an edit-engine text (a cell or a shape): one
// paragraph entry counted from the text's start, the paragraph breaks
// between its paragraphs, fields as locked characters. Throws UNO
// exceptions.
void MirrorEditEngineText(TextMirror& mirror, const Reference<css::text::XText>& text,
                          EditLock lock);

// Moves a cursor by any number of steps (the API takes 16-bit counts).
bool GoRight(const Reference<css::text::XTextCursor>& cursor, long steps, bool expand);

}  // namespace strbatch::uno

#endif  // STRBATCH_OFFICE_LIBREOFFICE_TEXT_MIRROR_H_
