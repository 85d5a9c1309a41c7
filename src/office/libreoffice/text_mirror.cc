#include "text_mirror.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <rtl/character.hxx>
#include <rtl/ustrbuf.hxx>

#include <unicode/utf8.h>

#include <algorithm>
#include <map>

namespace strbatch::uno {
namespace {

void AppendUtf8(std::string& out, char32_t code) {
  char buffer[U8_MAX_LENGTH];
  int32_t length = 0;
  U8_APPEND_UNSAFE(buffer, length, static_cast<UChar32>(code));
  out.append(buffer, static_cast<size_t>(length));
}

// A paragraph's portions longer than this, in steps, are written anew whole.
constexpr uint32_t kLongPortion = 2048;

bool IsBreak(CharKind kind) {
  return kind == CharKind::ParagraphBreak || kind == CharKind::CellMark;
}

// Text to insert, in the pieces the text object takes: runs of characters
// and breaks.
struct Piece {
  enum { Run, Paragraph, Line } kind;
  rtl::OUStringBuffer text;
};

void AppendCharacter(std::vector<Piece>& pieces, CharKind kind, char32_t code) {
  if (kind == CharKind::ParagraphBreak || kind == CharKind::LineBreak) {
    pieces.push_back({kind == CharKind::ParagraphBreak ? Piece::Paragraph : Piece::Line, {}});
    return;
  }
  if (pieces.empty() || pieces.back().kind != Piece::Run) pieces.push_back({Piece::Run, {}});
  pieces.back().text.appendUtf32(static_cast<sal_uInt32>(code));
}

}  // namespace

// One change of the document, in a portion: delta steps after the
// portion's start (the paragraph's end for a break), deleteSteps removed
// and pieces inserted. keepSteps > 0: the first character removed is
// removed only after the insertion went in just behind it, so that the
// inserted text takes its formatting and an anchor before it stays there.
// A whole-portion edit writes the portion's text anew in that way.
struct TextMirror::Edit {
  uint32_t portion = 0;
  uint32_t entry = 0;
  uint32_t offset = 0;  // steps from the entry's start, for the order
  uint32_t delta = 0;
  uint32_t keepSteps = 0;
  uint32_t deleteSteps = 0;
  bool whole = false;
  bool bare = false;  // an insertion before the original at delta
  std::vector<Piece> pieces;
};

bool GoRight(const Reference<css::text::XTextCursor>& cursor, long steps, bool expand) {
  while (steps > 0) {
    const sal_Int16 step = static_cast<sal_Int16>(std::min(steps, 0x7FFFL));
    if (!cursor->goRight(step, expand)) return false;
    steps -= step;
  }
  return true;
}

uint32_t TextMirror::AddEntry(const Reference<css::text::XText>& text,
                              const Reference<css::text::XTextRange>& anchor) {
  entries_.push_back({text, anchor});
  anchorPending_ = false;
  return static_cast<uint32_t>(entries_.size() - 1);
}

void TextMirror::SetEntryText(uint32_t entry, const Reference<css::text::XText>& text) {
  entries_.at(entry).text = text;
}

bool TextMirror::HasEntryText(uint32_t entry) const {
  return entry < entries_.size() && entries_[entry].text.is();
}

void TextMirror::SetWhole(uint32_t entry) { entries_.at(entry).whole = true; }

uint32_t TextMirror::AddPortion(uint32_t entry, PortionKind kind,
                                const Reference<css::text::XTextRange>& range) {
  // Only a paragraph's portions keep their ranges: they move with the text.
  portions_.push_back({entry, entries_.at(entry).steps, static_cast<uint32_t>(originals_.size()),
                       0, kind, entries_[entry].anchor.is() ? range : nullptr});
  return static_cast<uint32_t>(portions_.size() - 1);
}

void TextMirror::AddChar(uint32_t entry, Char c) {
  c.entry = entry;
  c.anchorBefore = anchorPending_;
  anchorPending_ = false;
  c.origin = static_cast<uint32_t>(originals_.size());
  originals_.push_back({c.code, c.kind, c.steps, static_cast<uint32_t>(portions_.size() - 1),
                        entries_[entry].steps});
  portions_.back().count++;
  entries_[entry].steps += c.steps;
  chars_.push_back(c);
}

void TextMirror::AddText(uint32_t entry, const rtl::OUString& text, EditLock lock,
                         const Reference<css::text::XTextRange>& range) {
  if (text.isEmpty()) return;
  AddPortion(entry, PortionKind::Text, range);
  for (sal_Int32 i = 0; i < text.getLength();) {
    Char c;
    c.code = text.iterateCodePoints(&i);
    c.steps = StepsOf(c.code);
    c.lock = lock;
    if (c.code == '\n') {
      c.kind = CharKind::LineBreak;
    } else if (c.code < 0x20 && c.code != '\t') {
      c.kind = CharKind::Object;
      c.lock = EditLock::kObject;
    }
    AddChar(entry, c);
  }
}

void TextMirror::AddWholeParagraph(uint32_t entry, const rtl::OUString& text) {
  const size_t before = portions_.size();
  AddText(entry, text, EditLock::kNone);
  if (portions_.size() > before) portions_.back().whole = true;
}

void TextMirror::AddMixedText(uint32_t entry, const rtl::OUString& text) {
  const size_t before = portions_.size();
  AddText(entry, text, EditLock::kNone);
  if (portions_.size() > before) portions_.back().uniform = false;
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): an entry index and a count
void TextMirror::AddLocked(uint32_t entry, int steps, const rtl::OUString& shown,
                           const Reference<css::text::XTextRange>& range) {
  if (steps <= 0) return;
  AddPortion(entry, PortionKind::Locked, range);
  Char c;
  c.lock = EditLock::kObject;
  if (shown.isEmpty()) {
    c.kind = CharKind::Object;
    c.code = 0xFFFC;
    for (int i = 0; i < steps; i++) AddChar(entry, c);
    return;
  }
  // The steps go with the first character shown; the others take none.
  uint8_t left = static_cast<uint8_t>(std::min(steps, 255));
  for (sal_Int32 i = 0; i < shown.getLength();) {
    c.code = shown.iterateCodePoints(&i);
    c.kind = c.code == '\n' ? CharKind::LineBreak : CharKind::Text;
    c.steps = left;
    left = 0;
    AddChar(entry, c);
  }
}

void TextMirror::AddMark(uint32_t /*entry*/, bool anchor) {
  if (anchor) anchorPending_ = true;
}

void TextMirror::AddBreak(uint32_t entry, CharKind kind, EditLock lock) {
  AddPortion(entry, PortionKind::Break, nullptr);
  Char c;
  c.kind = kind;
  c.lock = lock;
  AddChar(entry, c);
}

long TextMirror::EntrySteps(uint32_t entry) const { return entries_.at(entry).steps; }

void TextMirror::LockEntry(uint32_t entry, EditLock lock) {
  for (Char& c : chars_) {
    if (c.entry == entry && c.lock == EditLock::kNone) c.lock = lock;
  }
}

void TextMirror::LockAll(EditLock lock) {
  for (Char& c : chars_) {
    if (c.lock == EditLock::kNone) c.lock = lock;
  }
  if (lockedAll_ == EditLock::kNone) lockedAll_ = lock;
}

void TextMirror::Clear() {
  chars_.clear();
  originals_.clear();
  portions_.clear();
  entries_.clear();
  lockedAll_ = EditLock::kNone;
  anchorPending_ = false;
  pending_ = false;
  stale_ = false;
  lastDelete_ = {};
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): from then to, as every range here
std::string TextMirror::Text(size_t from, size_t to) const {
  std::string text;
  for (size_t i = from; i < to && i < chars_.size(); i++) {
    const Char& c = chars_[i];
    switch (c.kind) {
      case CharKind::Text:
      case CharKind::Object: AppendUtf8(text, c.code); break;
      case CharKind::ParagraphBreak: text += style_.paragraphBreak; break;
      case CharKind::LineBreak: text += style_.lineBreak; break;
      case CharKind::CellMark: text += "\r\a"; break;
    }
  }
  return text;
}

EditLock TextMirror::Lock(size_t from, size_t to) const {
  if (lockedAll_ != EditLock::kNone) return lockedAll_;
  if (entries_.empty() || from > to || to > chars_.size()) return EditLock::kStructure;
  if (from == to) {
    // Inside a text with a final paragraph mark nothing goes after it; an
    // edit-engine text takes text at its very end.
    if (from == chars_.size() && style_.finalMark) return EditLock::kStructure;
    // Nothing goes into a protected or computed text either; in place of
    // text just removed it goes where that was.
    const size_t neighbour = from < chars_.size() ? from : from - 1;
    if (neighbour < chars_.size() && !(lastDelete_.valid && lastDelete_.position == from)) {
      const EditLock lock = chars_[neighbour].lock;
      if (lock == EditLock::kProtected || lock == EditLock::kComputed) return lock;
    }
    return EditLock::kNone;
  }
  for (size_t i = from; i < to; i++) {
    if (chars_[i].lock != EditLock::kNone) return chars_[i].lock;
    if (i > from && chars_[i].anchorBefore) return EditLock::kObject;
  }
  return EditLock::kNone;
}

EditLock TextMirror::RemovalLock(size_t from, size_t to) const {
  // Writer takes an object anchored at either end of a removal that empties
  // a whole text (a table cell, a frame, the body) with the text. Replaced,
  // the characters keep it: the new text goes in first.
  if (from >= to || to > chars_.size() || !style_.finalMark) return EditLock::kNone;
  const bool anchorAtEnd =
      chars_[from].anchorBefore || (to < chars_.size() && chars_[to].anchorBefore);
  return anchorAtEnd && CoversWholeText(from, to) ? EditLock::kObject : EditLock::kNone;
}

bool TextMirror::CoversWholeText(size_t from, size_t to) const {
  const css::text::XText* text = entries_[chars_[from].entry].text.get();
  const auto inText = [&](size_t i) { return entries_[chars_[i].entry].text.get() == text; };
  for (size_t i = 0; i < from; i++) {
    if (inText(i)) return false;
  }
  // After the characters only the text's final mark.
  size_t after = 0;
  for (size_t i = to; i < chars_.size(); i++) {
    if (!inText(i)) continue;
    if (++after > 1 || !IsBreak(chars_[i].kind)) return false;
  }
  return true;
}

uint32_t TextMirror::FormatAt(size_t position) const {
  const auto textOriginal = [&](size_t i) {
    const Char& c = chars_[i];
    const uint32_t o = c.origin != kNoOriginal ? c.origin : c.format;
    if (o != kNoOriginal && portions_[originals_[o].portion].kind == PortionKind::Text) return o;
    return kNoOriginal;
  };
  if (position > 0 && position <= chars_.size() && !IsBreak(chars_[position - 1].kind)) {
    const uint32_t before = textOriginal(position - 1);
    if (before != kNoOriginal) return before;
  }
  return position < chars_.size() ? textOriginal(position) : kNoOriginal;
}

void TextMirror::Delete(size_t from, size_t to) {
  if (from >= to || to > chars_.size()) return;
  const Char& first = chars_[from];
  lastDelete_ = {from, first.origin != kNoOriginal ? first.origin : first.format,
                 first.anchorBefore, to < chars_.size() && chars_[to].anchorBefore, true};
  chars_.erase(chars_.begin() + static_cast<long>(from), chars_.begin() + static_cast<long>(to));
  if (lastDelete_.anchorBefore && from < chars_.size()) chars_[from].anchorBefore = true;
  pending_ = true;
  *edited_ = true;
}

size_t TextMirror::Insert(size_t at, std::string_view utf8) {
  const rtl::OUString text = FromUtf8(utf8);
  if (at > chars_.size()) return 0;
  Char c;
  const bool replacing = lastDelete_.valid && lastDelete_.position == at;
  c.format = replacing ? lastDelete_.format : FormatAt(at);
  lastDelete_.valid = false;
  c.entry = at < chars_.size() ? chars_[at].entry : chars_.empty() ? 0 : chars_.back().entry;
  std::vector<Char> inserted;
  for (sal_Int32 i = 0; i < text.getLength();) {
    const char32_t code = text.iterateCodePoints(&i);
    c.code = code;
    c.kind = CharKind::Text;
    if (code == '\r' || code == '\n') {
      c.kind = CharKind::ParagraphBreak;
      // CR LF is one break, and so is CR BEL (a cell mark read back).
      if (code == '\r' && i < text.getLength() && (text[i] == '\n' || text[i] == 7)) i++;
    } else if (code == 0x0B) {
      c.kind = CharKind::LineBreak;
    } else if (code < 0x20 && code != '\t') {
      // Other control characters are dropped: the text would not take them
      // as one character each.
      continue;
    }
    c.steps = c.kind == CharKind::Text ? StepsOf(code) : 1;
    inserted.push_back(c);
  }
  if (inserted.empty()) return 0;
  if (replacing) {
    // In place of removed text: an anchor that stood before it stands
    // before the new text, one after it after the new text.
    inserted.front().anchorBefore = lastDelete_.anchorBefore;
    if (at < chars_.size()) chars_[at].anchorBefore = lastDelete_.anchorAfter;
  } else if (at < chars_.size() && chars_[at].anchorBefore) {
    // Which side of an anchor an insertion at its place lands on is the
    // application's choice: the anchor counts as standing on both.
    inserted.front().anchorBefore = true;
  }
  chars_.insert(chars_.begin() + static_cast<long>(at), inserted.begin(), inserted.end());
  pending_ = true;
  *edited_ = true;
  return inserted.size();
}

std::vector<TextMirror::Edit> TextMirror::Edits() const {
  // What each text portion holds now: its originals that are left and the
  // characters inserted in its formatting, in order. Inserted characters
  // without a text portion's formatting go in before the next original.
  std::vector<std::vector<size_t>> into(portions_.size());
  std::vector<bool> kept(originals_.size(), false);
  std::vector<Edit> edits;
  const auto at = [&](Edit& edit, uint32_t original) {
    const Original& o = originals_[original];
    const Portion& portion = portions_[o.portion];
    edit.portion = o.portion;
    edit.entry = portion.entry;
    edit.offset = o.offset;
    edit.delta = o.offset - portion.offset;
  };
  const auto toText = [&](const Char& c) {
    return c.format != kNoOriginal &&
           portions_[originals_[c.format].portion].kind == PortionKind::Text;
  };
  for (size_t i = 0; i < chars_.size(); i++) {
    const Char& c = chars_[i];
    if (c.origin != kNoOriginal) {
      kept[c.origin] = true;
      const uint32_t portion = originals_[c.origin].portion;
      if (portions_[portion].kind == PortionKind::Text) into[portion].push_back(i);
      continue;
    }
    if (toText(c)) {
      into[originals_[c.format].portion].push_back(i);
      continue;
    }
    Edit bare;
    bare.bare = true;
    size_t j = i;
    for (; j < chars_.size() && chars_[j].origin == kNoOriginal && !toText(chars_[j]); j++) {
      AppendCharacter(bare.pieces, chars_[j].kind, chars_[j].code);
    }
    size_t next = j;
    while (next < chars_.size() && chars_[next].origin == kNoOriginal) next++;
    if (next < chars_.size()) {
      at(bare, chars_[next].origin);
    } else if (!originals_.empty()) {
      at(bare, static_cast<uint32_t>(originals_.size() - 1));
      bare.offset += originals_.back().steps;
      bare.delta += originals_.back().steps;
    }
    edits.push_back(std::move(bare));
    i = j - 1;
  }

  for (uint32_t p = 0; p < portions_.size(); p++) {
    const Portion& portion = portions_[p];
    const uint32_t end = portion.first + portion.count;
    if (portion.kind == PortionKind::Break) {
      if (!kept[portion.first]) {
        Edit removal;
        at(removal, portion.first);
        removal.deleteSteps = originals_[portion.first].steps;
        edits.push_back(std::move(removal));
      }
      continue;
    }
    if (portion.kind != PortionKind::Text || portion.count == 0) continue;
    const std::vector<size_t>& now = into[p];
    bool changed = now.size() != portion.count;
    for (size_t j = 0; !changed && j < now.size(); j++) {
      changed = chars_[now[j]].origin != portion.first + j;
    }
    if (!changed) continue;
    bool plain = portion.uniform;
    for (uint32_t q = portion.first; plain && q < end; q++) {
      plain = originals_[q].kind == CharKind::Text || originals_[q].kind == CharKind::LineBreak;
    }
    uint32_t steps = 0;
    for (uint32_t q = portion.first; q < end; q++) steps += originals_[q].steps;
    if (plain && style_.finalMark && steps > kLongPortion) {
      // A long portion of a paragraph is written anew whole: stepping a
      // cursor through it costs far more than writing it.
      Edit edit;
      at(edit, portion.first);
      edit.whole = true;
      edit.keepSteps = originals_[portion.first].steps;
      for (size_t k : now) AppendCharacter(edit.pieces, chars_[k].kind, chars_[k].code);
      edits.push_back(std::move(edit));
      continue;
    }
    // The runs of change between the originals left.
    struct Run {
      size_t from, to;        // in now
      uint32_t first, last;   // the originals removed: [first, last)
    };
    std::vector<Run> runs;
    size_t j = 0;
    uint32_t o = portion.first;
    for (;;) {
      while (j < now.size() && o < end && chars_[now[j]].origin == o) {
        j++;
        o++;
      }
      if (j == now.size() && o == end) break;
      size_t k = j;
      while (k < now.size() && chars_[now[k]].origin == kNoOriginal) k++;
      const uint32_t next = k < now.size() ? chars_[now[k]].origin : end;
      runs.push_back({j, k, o, next});
      j = k;
      o = next;
    }
    // Runs in a portion of plain text become one rewrite: the text left
    // between them is written again, in the same formatting.
    if (plain && runs.size() > 1) {
      runs = {{runs.front().from, runs.back().to, runs.front().first, runs.back().last}};
    }
    for (const Run& run : runs) {
      Edit edit;
      if (run.first < end) {
        at(edit, run.first);
      } else {
        at(edit, end - 1);
        edit.offset += originals_[end - 1].steps;
        edit.delta += originals_[end - 1].steps;
      }
      for (uint32_t q = run.first; q < run.last; q++) edit.deleteSteps += originals_[q].steps;
      for (size_t k = run.from; k < run.to; k++) {
        AppendCharacter(edit.pieces, chars_[now[k]].kind, chars_[now[k]].code);
      }
      // At the portion's start the character before is of another portion
      // (and in mixed text it may be anywhere): the insertion goes in
      // behind the first character removed, or, when none is, behind the
      // portion's first character, written again.
      if (!portion.uniform && run.first != portion.first && run.last > run.first &&
          !edit.pieces.empty()) {
        edit.keepSteps = originals_[run.first].steps;
      }
      if (run.first == portion.first && !edit.pieces.empty()) {
        if (run.last == run.first && run.to < now.size() &&
            originals_[run.first].kind == CharKind::Text) {
          edit.deleteSteps = originals_[run.first].steps;
          const Char& first = chars_[now[run.to]];
          AppendCharacter(edit.pieces, first.kind, first.code);
        }
        if (edit.deleteSteps > 0) edit.keepSteps = originals_[run.first].steps;
      }
      edits.push_back(std::move(edit));
    }
  }
  // Back to front: an edit changes no position before it. An insertion
  // before an original goes in after that original's edit, except before a
  // paragraph's mark: that is found from the paragraph's end, which a join
  // moves.
  std::stable_sort(edits.begin(), edits.end(), [&](const Edit& a, const Edit& b) {
    if (a.entry != b.entry) return a.entry > b.entry;
    if (a.offset != b.offset) return a.offset > b.offset;
    if (a.bare == b.bare) return false;
    const Edit& other = a.bare ? b : a;
    const bool bareFirst = entries_[other.entry].anchor.is() &&
                           portions_[other.portion].kind == PortionKind::Break;
    return a.bare == bareFirst;
  });
  return edits;
}

// Applies edits to the document. In an edit-engine text a cursor is
// counted in steps from the text's start; in a paragraph it starts from
// the portion's own range, which moves with the text, or from the
// paragraph's end, since stepping through a long paragraph is slow.
class TextMirror::Writer {
 public:
  Writer(const std::vector<Entry>& entries, const std::vector<Portion>& portions,
         bool utf16Steps)
      : entries_(entries), portions_(portions), utf16Steps_(utf16Steps) {}

  void Apply(const Edit& edit) {
    const Entry& entry = entries_.at(edit.entry);
    if (edit.whole) {
      const Reference<css::text::XTextRange>& range = portions_.at(edit.portion).range;
      Reference<css::text::XTextCursor> cursor = At(edit, 0);
      if (edit.pieces.empty()) {
        cursor->gotoRange(range->getEnd(), true);
        cursor->setString(rtl::OUString());
        return;
      }
      GoOn(cursor, edit.keepSteps, false);
      Insert(entry, cursor, edit.pieces);
      cursor->gotoRange(range->getEnd(), true);
      cursor->setString(rtl::OUString());
      Remove(At(edit, 0), edit.keepSteps);
      return;
    }
    if (edit.keepSteps > 0) {
      // One cursor: behind the kept character the insertion, then the rest
      // removed, then back over both to remove the kept one.
      Reference<css::text::XTextCursor> cursor = At(edit, edit.keepSteps);
      const long inserted = Insert(entry, cursor, edit.pieces);
      Remove(cursor, edit.deleteSteps - edit.keepSteps);
      for (long steps = inserted + edit.keepSteps; steps > 0;) {
        const sal_Int16 step = static_cast<sal_Int16>(std::min(steps, 0x7FFFL));
        if (!cursor->goLeft(step, false)) {
          throw AutomationError("LibreOffice: the text has fewer characters than expected");
        }
        steps -= step;
      }
      Remove(cursor, edit.keepSteps);
      return;
    }
    // The insertion goes in first, leaving the cursor behind it: an anchor
    // just after the removed text then stays after the new text.
    Reference<css::text::XTextCursor> cursor = At(edit, 0);
    Insert(entry, cursor, edit.pieces);
    Remove(cursor, edit.deleteSteps);
  }

 private:
  // A collapsed cursor steps after the edit's place.
  Reference<css::text::XTextCursor> At(const Edit& edit, long steps) {
    const Entry& entry = entries_[edit.entry];
    // An insertion into a text without characters has no portion.
    const Portion portion =
        edit.portion < portions_.size() ? portions_[edit.portion] : Portion{};
    Reference<css::text::XTextCursor> cursor;
    if (portion.range.is()) {
      cursor = entry.text->createTextCursorByRange(portion.range->getStart());
    } else if (entry.anchor.is()) {
      // A paragraph's own range may go when it is joined with the next; a
      // cursor at its start moves with the text.
      Reference<css::text::XTextCursor>& start = starts_[edit.entry];
      if (!start.is()) {
        start = entry.text->createTextCursorByRange(entry.anchor);
        start->collapseToStart();
      }
      cursor = entry.text->createTextCursorByRange(
          Reference<css::text::XTextRange>(start, UNO_QUERY_THROW));
      cursor->collapseToStart();
      if (portion.kind == PortionKind::Break) {
        Reference<css::text::XParagraphCursor>(cursor, UNO_QUERY_THROW)->gotoEndOfParagraph(false);
        GoOn(cursor, steps, false);
        return cursor;
      }
      steps += portion.offset;
    } else {
      cursor = entry.text->createTextCursor();
      cursor->gotoStart(false);
      steps += portion.offset;
    }
    GoOn(cursor, edit.delta + steps, false);
    return cursor;
  }

  static void GoOn(const Reference<css::text::XTextCursor>& cursor, long steps, bool expand) {
    if (!GoRight(cursor, steps, expand)) {
      throw AutomationError("LibreOffice: the text has fewer characters than expected");
    }
  }

  static void Remove(const Reference<css::text::XTextCursor>& cursor, long steps) {
    if (steps <= 0) return;
    GoOn(cursor, steps, true);
    cursor->setString(rtl::OUString());
  }

  // Inserts at the cursor, which ends after the insertion; gives the steps
  // inserted.
  long Insert(const Entry& entry, const Reference<css::text::XTextCursor>& cursor,
              const std::vector<Piece>& pieces) const {
    long steps = 0;
    for (const Piece& piece : pieces) {
      if (piece.kind == Piece::Run) {
        const rtl::OUString run = piece.text.toString();
        entry.text->insertString(cursor.get(), run, false);
        steps += StepsOf(run);
      } else {
        entry.text->insertControlCharacter(cursor.get(),
                                           piece.kind == Piece::Paragraph
                                               ? css::text::ControlCharacter::PARAGRAPH_BREAK
                                               : css::text::ControlCharacter::LINE_BREAK,
                                           false);
        steps++;
      }
    }
    return steps;
  }

  // A paragraph is stepped in code points, an edit engine in UTF-16 units.
  long StepsOf(const rtl::OUString& text) const {
    long steps = text.getLength();
    if (utf16Steps_) return steps;
    for (sal_Int32 i = 0; i < text.getLength(); i++) steps -= rtl::isHighSurrogate(text[i]) ? 1 : 0;
    return steps;
  }

  const std::vector<Entry>& entries_;
  const std::vector<Portion>& portions_;
  bool utf16Steps_;
  std::map<uint32_t, Reference<css::text::XTextCursor>> starts_;
};

std::vector<bool> TextMirror::Changed() const {
  std::vector<bool> changed(portions_.size(), false);
  uint32_t expected = 0;  // the original that comes next when nothing changed
  for (const Char& c : chars_) {
    if (c.origin == kNoOriginal) {
      const uint32_t format = c.format != kNoOriginal ? c.format : expected;
      if (format < originals_.size()) changed[originals_[format].portion] = true;
      continue;
    }
    // Originals left out before this one were removed.
    for (uint32_t o = expected; o < c.origin; o++) changed[originals_[o].portion] = true;
    expected = c.origin + 1;
  }
  for (uint32_t o = expected; o < originals_.size(); o++) changed[originals_[o].portion] = true;
  return changed;
}

void TextMirror::Prepare(size_t from, size_t to) {
  const size_t first = from > 0 ? from - 1 : 0;
  for (size_t i = first; i <= to && i < chars_.size(); i++) {
    const uint32_t o = chars_[i].origin != kNoOriginal ? chars_[i].origin : chars_[i].format;
    if (o != kNoOriginal && portions_[originals_[o].portion].whole) Split(originals_[o].portion);
  }
}

void TextMirror::Split(uint32_t p) {
  const Portion whole = portions_[p];
  PortionList parts;
  if (!split_ || !split_(entries_.at(whole.entry).anchor, &parts)) {
    portions_[p].whole = false;
    LockEntry(whole.entry, EditLock::kObject);
    return;
  }
  // The parts must read as the paragraph did; new portions go at the end,
  // so that no other portion's index changes.
  uint32_t next = whole.first;
  uint32_t offset = whole.offset;
  const uint32_t end = whole.first + whole.count;
  for (const auto& [text, range] : parts) {
    Portion part{whole.entry, offset, next, 0, PortionKind::Text, range, false};
    for (sal_Int32 i = 0; i < text.getLength();) {
      const char32_t code = text.iterateCodePoints(&i);
      if (next == end || originals_[next].code != code) {
        throw AutomationError("LibreOffice: a paragraph no longer reads as it did");
      }
      originals_[next].portion = static_cast<uint32_t>(portions_.size());
      offset += originals_[next].steps;
      next++;
      part.count++;
    }
    if (part.count > 0) portions_.push_back(part);
  }
  if (next != end) throw AutomationError("LibreOffice: a paragraph no longer reads as it did");
  portions_[p].count = 0;
  portions_[p].whole = false;
}

void TextMirror::Flush() {
  if (!pending_) return;
  if (entries_.size() == 1 && entries_.front().whole) {
    entries_.front().text->setString(FromUtf8(Text(0, chars_.size())));
  } else {
    const std::vector<bool> changed = Changed();
    for (uint32_t p = 0; p < changed.size(); p++) {
      if (changed[p] && portions_[p].whole) Split(p);
    }
    const std::vector<Edit> edits = Edits();
    Writer writer(entries_, portions_, style_.utf16Steps);
    for (const Edit& edit : edits) writer.Apply(edit);
  }
  Clear();
  stale_ = true;
}

PortionsRead MirrorPortions(TextMirror& mirror, uint32_t entry,
                            const Reference<css::container::XEnumerationAccess>& portions,
                            EditLock lock, const PortionSteps& steps, bool shownFields) {
  PortionsRead read;
  Reference<css::container::XEnumeration> elements = portions->createEnumeration();
  while (elements->hasMoreElements()) {
    Reference<css::text::XTextRange> portion(elements->nextElement(), UNO_QUERY_THROW);
    Reference<css::beans::XPropertySet> properties(portion, UNO_QUERY_THROW);
    rtl::OUString type;
    properties->getPropertyValue("TextPortionType") >>= type;
    if (type == "Text") {
      mirror.AddText(entry, portion->getString(), lock, portion);
      continue;
    }
    read.objects = true;
    const int taken = steps(portion);
    if (taken < 0) {
      read.measured = false;
      break;
    }
    if (taken == 0) {
      // A soft page break is only where the layout broke the page.
      mirror.AddMark(entry, type != "SoftPageBreak");
    } else {
      mirror.AddLocked(entry, taken, shownFields ? portion->getString() : rtl::OUString(),
                       portion);
    }
  }
  return read;
}

void MirrorEditEngineText(TextMirror& mirror, const Reference<css::text::XText>& text,
                          EditLock lock, bool shownFields) {
  const uint32_t entry = mirror.AddEntry(text, nullptr);
  Reference<css::container::XEnumerationAccess> access(text, UNO_QUERY_THROW);
  Reference<css::container::XEnumeration> paragraphs = access->createEnumeration();
  bool first = true;
  bool objects = false;
  while (paragraphs->hasMoreElements()) {
    if (!first) mirror.AddBreak(entry, CharKind::ParagraphBreak, lock);
    first = false;
    Reference<css::container::XEnumerationAccess> portions(paragraphs->nextElement(),
                                                           UNO_QUERY_THROW);
    // A field is one character of the edit engine, whatever it shows.
    const PortionsRead read = MirrorPortions(
        mirror, entry, portions, lock, [](const Reference<css::text::XTextRange>&) { return 1; },
        shownFields);
    objects = objects || read.objects;
  }
  if (objects) {
    // The count of steps is checked against the text itself: exactly that
    // many steps take a cursor from its start to its end.
    Reference<css::text::XTextCursor> cursor = text->createTextCursor();
    cursor->gotoStart(false);
    if (!GoRight(cursor, mirror.EntrySteps(entry), false) || cursor->goRight(1, false)) {
      mirror.LockAll(EditLock::kObject);
    }
  }
}

}  // namespace strbatch::uno
