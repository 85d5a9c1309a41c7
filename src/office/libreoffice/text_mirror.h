// A document text as the object model presents it: one entry per character,
// built from the paragraphs and their text portions, with what each takes
// in cursor steps and whether it may be edited. Positions, texts and edits
// are answered from the mirror alone; Flush brings the edits into the
// document, each text portion that changed in one rewrite, back to front,
// so that a paragraph with thousands of edits costs a few calls.
//
// Reading the whole text as one string would not do: its offsets do not
// line up with cursor steps once there are fields, objects, tables or
// characters outside the BMP. Here a Writer cursor step is one code point
// and an edit-engine step (cells, shapes) one UTF-16 unit; a field or an
// object takes the steps it takes, its characters locked. An anchor (of a
// frame, an image, a bookmark) takes no step; no edit reaches across one.
//
// The characters, originals, portions and texts are kept as a plain
// MirrorModel (office/model/mirror_edits.h), which also plans the edits; the
// mirror keeps beside it what only the application knows: each portion's
// range and each text's object.
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

#include "office/model/mirror_edits.h"
#include "uno_support.h"

namespace strbatch::uno {

using strbatch::CharKind;

class TextMirror {
 public:
  // How the kinds read in this application, and how it steps.
  struct Style {
    const char* paragraphBreak;
    const char* lineBreak;
    bool utf16Steps;  // an edit engine: a character outside the BMP is two steps
    bool finalMark;   // Writer: every text ends in a mark nothing goes after
  };
  // edited is set by every edit, for the document to know it changed.
  TextMirror(const Style& style, std::shared_ptr<bool> edited)
      : style_(style), edited_(std::move(edited)) {
    model_.finalMark = style.finalMark;
  }

  // ---- Building ----
  // Each call adds what one portion of the document's enumeration holds, in
  // document order.
  //
  // A text of its own: a Writer paragraph (anchor: the paragraph, steps
  // count from its start) or a whole edit-engine text (anchor null, steps
  // from the text's start), whose paragraphs follow one another, each but
  // the last ended by AddBreak. The text may be given later (SetEntryText)
  // for a text read in bulk.
  uint32_t AddEntry(const Reference<css::text::XText>& text,
                    const Reference<css::text::XTextRange>& anchor);
  void SetEntryText(uint32_t entry, const Reference<css::text::XText>& text);
  bool HasEntryText(uint32_t entry) const;
  // The entry is written back whole when it changed: a text in one format
  // without fields, where one call does.
  void SetWhole(uint32_t entry);
  // A text portion: LF is a line break, other control characters (but TAB)
  // are locked objects.
  // range is the portion's, kept by a paragraph for its edits.
  void AddText(uint32_t entry, const rtl::OUString& text, EditLock lock,
               const Reference<css::text::XTextRange>& range = nullptr);
  // A paragraph of a document that holds text alone, read whole: its text
  // portions are read through split only when it is about to be edited.
  // split gives them, or false when the paragraph holds more than text
  // after all; it is then left as it is.
  using PortionList = std::vector<std::pair<rtl::OUString, Reference<css::text::XTextRange>>>;
  using Splitter =
      std::function<bool(const Reference<css::text::XTextRange>& paragraph, PortionList* parts)>;
  void AddWholeParagraph(uint32_t entry, const rtl::OUString& text);
  // Text whose formatting runs are not known (an edit-engine text without
  // fields, read whole): every edit in it takes its formatting from the
  // first character it replaces, and no two edits are written as one.
  void AddMixedText(uint32_t entry, const rtl::OUString& text);
  void SetSplitter(Splitter split) { split_ = std::move(split); }
  // A portion of steps locked characters (a field, a footnote, an object
  // anchored as a character), read as shown, or as one object character a
  // step when shown is empty.
  void AddLocked(uint32_t entry, int steps, const rtl::OUString& shown,
                 const Reference<css::text::XTextRange>& range = nullptr);
  // A portion that takes no step: an anchor (of a frame, an image, a
  // bookmark, a change) that no edit may reach across, or, anchor false,
  // one that does not matter (a soft page break).
  void AddMark(uint32_t entry, bool anchor);
  // The mark that ends a paragraph of the entry.
  void AddBreak(uint32_t entry, CharKind kind, EditLock lock);
  // Cursor steps of the entry's characters so far.
  long EntrySteps(uint32_t entry) const;
  size_t EntryCount() const { return model_.entries.size(); }
  // Locks every character of the entry, or of the whole text, that is not
  // locked yet; after LockAll nothing can be inserted either.
  void LockEntry(uint32_t entry, EditLock lock);
  void LockAll(EditLock lock);
  void Clear();

  // ---- Reading ----
  size_t Size() const { return model_.chars.size(); }
  std::string Text(size_t from, size_t to) const;
  // Whether [from, to) may be replaced (kNone), or why not: a locked
  // character, or an anchor inside. An anchor at either end stays where it
  // is. An empty range asks whether text can be inserted there.
  EditLock Lock(size_t from, size_t to) const;
  // What besides Lock keeps [from, to) from being removed with nothing put
  // in its place.
  EditLock RemovalLock(size_t from, size_t to) const;
  // Reads the portions of paragraphs read whole around [from, to], before
  // Lock is asked about an edit there. Throws UNO exceptions.
  void Prepare(size_t from, size_t to);

  // ---- Editing ----
  // Removes [from, to). Text inserted next at from takes the formatting of
  // the first character removed, as a typed replacement does.
  void Delete(size_t from, size_t to);
  // Inserts UTF-8 text before character at; CR, LF and CR LF become a
  // paragraph break, VT a line break. Gives the characters inserted. Text
  // inserted elsewhere than a deletion takes the formatting of the
  // character before it.
  size_t Insert(size_t at, std::string_view utf8);
  // Whether there are edits the document does not hold yet.
  bool Pending() const { return pending_; }
  // Brings the edits into the document. Afterwards the mirror no longer
  // knows where the document's portions are: it is empty and Stale until
  // built again. Throws UNO exceptions.
  void Flush();
  bool Stale() const { return stale_; }
  // For a whole entry the owner wrote itself: its text is in the document.
  void MarkWritten() { pending_ = false; }

 private:
  using Char = MirrorChar;
  using Original = MirrorOriginal;
  using Portion = MirrorPortion;
  using PortionKind = MirrorPortion::Kind;
  // What only the application knows of an entry: its text, and for a
  // paragraph, the paragraph.
  struct EntryText {
    Reference<css::text::XText> text;
    Reference<css::text::XTextRange> anchor;
  };
  class Writer;

  uint8_t StepsOf(char32_t code) const { return style_.utf16Steps && code > 0xFFFF ? 2 : 1; }
  uint32_t AddPortion(uint32_t entry, PortionKind kind,
                      const Reference<css::text::XTextRange>& range);
  // Adds an original character of the last portion.
  void AddChar(uint32_t entry, Char c);
  // Whether [from, to) holds every character of its text but the final mark.
  bool CoversWholeText(size_t from, size_t to) const;
  // The original whose formatting text inserted at position takes.
  uint32_t FormatAt(size_t position) const;
  // Which portions the edits change.
  std::vector<bool> Changed() const;
  // Splits a paragraph read whole into its text portions.
  void Split(uint32_t portion);

  Style style_;
  std::shared_ptr<bool> edited_;
  MirrorModel model_;
  // Beside the model's portions and entries, index for index: a paragraph's
  // portion's range (where it is now), and each entry's text.
  std::vector<Reference<css::text::XTextRange>> ranges_;
  std::vector<EntryText> texts_;
  Splitter split_;
  EditLock lockedAll_ = EditLock::kNone;
  bool anchorPending_ = false;  // an anchor waits for the next character
  bool pending_ = false;
  bool stale_ = false;
  // The last deletion: where, the formatting an insertion there takes, and
  // the anchors that stood at its two ends.
  struct LastDelete {
    size_t position = 0;
    uint32_t format = kNoOriginal;
    bool anchorBefore = false;
    bool anchorAfter = false;
    bool valid = false;
  } lastDelete_;
};

// What reading a paragraph's text portions met.
struct PortionsRead {
  bool objects = false;   // a portion other than text
  bool measured = true;   // the steps of every such portion could be told
};

// The cursor steps a portion other than text takes; -1 when it cannot be
// told.
using PortionSteps = std::function<int(const Reference<css::text::XTextRange>& portion)>;

// Reads the text portions of one paragraph into the mirror's entry: a text
// portion as its characters, a field or an object as the locked characters
// of the steps it takes (read as shown when shownFields), a portion that
// takes no step as a mark. The reading stops at a portion whose steps
// cannot be told. Throws UNO exceptions.
PortionsRead MirrorPortions(TextMirror& mirror, uint32_t entry,
                            const Reference<css::container::XEnumerationAccess>& portions,
                            EditLock lock, const PortionSteps& steps, bool shownFields);

// Builds the mirror of an edit-engine text (a cell or a shape): one entry
// counted from the text's start, the paragraph breaks between its
// paragraphs, fields locked (read as shown when shownFields, else as one
// object character). Throws UNO exceptions.
void MirrorEditEngineText(TextMirror& mirror, const Reference<css::text::XText>& text,
                          EditLock lock, bool shownFields);

// Moves a cursor by any number of steps (the API takes 16-bit counts).
bool GoRight(const Reference<css::text::XTextCursor>& cursor, long steps, bool expand);

}  // namespace strbatch::uno

#endif  // STRBATCH_OFFICE_LIBREOFFICE_TEXT_MIRROR_H_
