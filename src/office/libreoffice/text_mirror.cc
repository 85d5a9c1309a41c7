#include "text_mirror.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <rtl/character.hxx>

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

bool IsBreak(CharKind kind) {
  return kind == CharKind::ParagraphBreak || kind == CharKind::CellMark;
}

}  // namespace

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
  texts_.push_back({text, anchor});
  model_.entries.push_back({anchor.is()});
  anchorPending_ = false;
  return static_cast<uint32_t>(model_.entries.size() - 1);
}

void TextMirror::SetEntryText(uint32_t entry, const Reference<css::text::XText>& text) {
  texts_.at(entry).text = text;
}

bool TextMirror::HasEntryText(uint32_t entry) const {
  return entry < texts_.size() && texts_[entry].text.is();
}

void TextMirror::SetWhole(uint32_t entry) { model_.entries.at(entry).whole = true; }

uint32_t TextMirror::AddPortion(uint32_t entry, PortionKind kind,
                                const Reference<css::text::XTextRange>& range) {
  // Only a paragraph's portions keep their ranges: they move with the text.
  const uint32_t portion = model_.AddPortion(entry, kind);
  ranges_.push_back(model_.entries[entry].paragraph ? range : nullptr);
  return portion;
}

void TextMirror::AddChar(uint32_t entry, Char c) {
  c.anchorBefore = anchorPending_;
  anchorPending_ = false;
  model_.AddOriginal(entry, c);
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
  const size_t before = model_.portions.size();
  AddText(entry, text, EditLock::kNone);
  if (model_.portions.size() > before) model_.portions.back().whole = true;
}

void TextMirror::AddMixedText(uint32_t entry, const rtl::OUString& text) {
  const size_t before = model_.portions.size();
  AddText(entry, text, EditLock::kNone);
  if (model_.portions.size() > before) model_.portions.back().uniform = false;
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

long TextMirror::EntrySteps(uint32_t entry) const { return model_.entries.at(entry).steps; }

void TextMirror::LockEntry(uint32_t entry, EditLock lock) {
  for (Char& c : model_.chars) {
    if (c.entry == entry && c.lock == EditLock::kNone) c.lock = lock;
  }
}

void TextMirror::LockAll(EditLock lock) {
  for (Char& c : model_.chars) {
    if (c.lock == EditLock::kNone) c.lock = lock;
  }
  if (lockedAll_ == EditLock::kNone) lockedAll_ = lock;
}

void TextMirror::Clear() {
  model_.chars.clear();
  model_.originals.clear();
  model_.portions.clear();
  model_.entries.clear();
  ranges_.clear();
  texts_.clear();
  lockedAll_ = EditLock::kNone;
  anchorPending_ = false;
  pending_ = false;
  stale_ = false;
  lastDelete_ = {};
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): from then to, as every range here
std::string TextMirror::Text(size_t from, size_t to) const {
  std::string text;
  for (size_t i = from; i < to && i < model_.chars.size(); i++) {
    const Char& c = model_.chars[i];
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
  if (model_.entries.empty() || from > to || to > model_.chars.size()) return EditLock::kStructure;
  if (from == to) {
    // Inside a text with a final paragraph mark nothing goes after it; an
    // edit-engine text takes text at its very end.
    if (from == model_.chars.size() && style_.finalMark) return EditLock::kStructure;
    // Nothing goes into a protected or computed text either; in place of
    // text just removed it goes where that was.
    const size_t neighbour = from < model_.chars.size() ? from : from - 1;
    if (neighbour < model_.chars.size() && !(lastDelete_.valid && lastDelete_.position == from)) {
      const EditLock lock = model_.chars[neighbour].lock;
      if (lock == EditLock::kProtected || lock == EditLock::kComputed) return lock;
    }
    return EditLock::kNone;
  }
  for (size_t i = from; i < to; i++) {
    if (model_.chars[i].lock != EditLock::kNone) return model_.chars[i].lock;
    if (i > from && model_.chars[i].anchorBefore) return EditLock::kObject;
  }
  return EditLock::kNone;
}

EditLock TextMirror::RemovalLock(size_t from, size_t to) const {
  // Writer takes an object anchored at either end of a removal that empties
  // a whole text (a table cell, a frame, the body) with the text. Replaced,
  // the characters keep it: the new text goes in first.
  if (from >= to || to > model_.chars.size() || !style_.finalMark) return EditLock::kNone;
  const bool anchorAtEnd = model_.chars[from].anchorBefore ||
                           (to < model_.chars.size() && model_.chars[to].anchorBefore);
  return anchorAtEnd && CoversWholeText(from, to) ? EditLock::kObject : EditLock::kNone;
}

bool TextMirror::CoversWholeText(size_t from, size_t to) const {
  const css::text::XText* text = texts_[model_.chars[from].entry].text.get();
  const auto inText = [&](size_t i) { return texts_[model_.chars[i].entry].text.get() == text; };
  for (size_t i = 0; i < from; i++) {
    if (inText(i)) return false;
  }
  // After the characters only the text's final mark.
  size_t after = 0;
  for (size_t i = to; i < model_.chars.size(); i++) {
    if (!inText(i)) continue;
    if (++after > 1 || !IsBreak(model_.chars[i].kind)) return false;
  }
  return true;
}

uint32_t TextMirror::FormatAt(size_t position) const {
  const auto textOriginal = [&](size_t i) {
    const Char& c = model_.chars[i];
    const uint32_t o = c.origin != kNoOriginal ? c.origin : c.format;
    const bool text = o != kNoOriginal &&
                      model_.portions[model_.originals[o].portion].kind == PortionKind::Text;
    return text ? o : kNoOriginal;
  };
  if (position > 0 && position <= model_.chars.size() &&
      !IsBreak(model_.chars[position - 1].kind)) {
    const uint32_t before = textOriginal(position - 1);
    if (before != kNoOriginal) return before;
  }
  return position < model_.chars.size() ? textOriginal(position) : kNoOriginal;
}

void TextMirror::Delete(size_t from, size_t to) {
  if (from >= to || to > model_.chars.size()) return;
  const Char& first = model_.chars[from];
  lastDelete_ = {from, first.origin != kNoOriginal ? first.origin : first.format,
                 first.anchorBefore, to < model_.chars.size() && model_.chars[to].anchorBefore,
                 true};
  model_.chars.erase(model_.chars.begin() + static_cast<long>(from),
                     model_.chars.begin() + static_cast<long>(to));
  if (lastDelete_.anchorBefore && from < model_.chars.size()) {
    model_.chars[from].anchorBefore = true;
  }
  pending_ = true;
  *edited_ = true;
}

size_t TextMirror::Insert(size_t at, std::string_view utf8) {
  const rtl::OUString text = FromUtf8(utf8);
  if (at > model_.chars.size()) return 0;
  Char c;
  const bool replacing = lastDelete_.valid && lastDelete_.position == at;
  c.format = replacing ? lastDelete_.format : FormatAt(at);
  lastDelete_.valid = false;
  c.entry = at < model_.chars.size() ? model_.chars[at].entry
            : model_.chars.empty()   ? 0
                                     : model_.chars.back().entry;
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
    if (at < model_.chars.size()) model_.chars[at].anchorBefore = lastDelete_.anchorAfter;
  } else if (at < model_.chars.size() && model_.chars[at].anchorBefore) {
    // Which side of an anchor an insertion at its place lands on is the
    // application's choice: the anchor counts as standing on both.
    inserted.front().anchorBefore = true;
  }
  model_.chars.insert(model_.chars.begin() + static_cast<long>(at), inserted.begin(),
                      inserted.end());
  pending_ = true;
  *edited_ = true;
  return inserted.size();
}

// Applies edits to the document. In an edit-engine text a cursor is
// counted in steps from the text's start; in a paragraph it starts from
// the portion's own range, which moves with the text, or from the
// paragraph's end, since stepping through a long paragraph is slow.
class TextMirror::Writer {
 public:
  Writer(const std::vector<EntryText>& entries, const std::vector<Portion>& portions,
         const std::vector<Reference<css::text::XTextRange>>& ranges, bool utf16Steps)
      : entries_(entries), portions_(portions), ranges_(ranges), utf16Steps_(utf16Steps) {}

  void Apply(const MirrorEdit& edit) {
    const EntryText& entry = entries_.at(edit.entry);
    if (edit.whole) {
      const Reference<css::text::XTextRange>& range = ranges_.at(edit.portion);
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
  Reference<css::text::XTextCursor> At(const MirrorEdit& edit, long steps) {
    const EntryText& entry = entries_[edit.entry];
    // An insertion into a text without characters has no portion.
    const Portion portion =
        edit.portion < portions_.size() ? portions_[edit.portion] : Portion{};
    const Reference<css::text::XTextRange> range =
        edit.portion < ranges_.size() ? ranges_[edit.portion] : nullptr;
    Reference<css::text::XTextCursor> cursor;
    if (range.is()) {
      cursor = entry.text->createTextCursorByRange(range->getStart());
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
  long Insert(const EntryText& entry, const Reference<css::text::XTextCursor>& cursor,
              const std::vector<MirrorPiece>& pieces) const {
    long steps = 0;
    for (const MirrorPiece& piece : pieces) {
      if (piece.kind == MirrorPiece::Run) {
        // sal_Unicode is a 16-bit UTF-16 unit, as char16_t.
        const rtl::OUString run(reinterpret_cast<const sal_Unicode*>(piece.text.data()),
                                static_cast<sal_Int32>(piece.text.size()));
        entry.text->insertString(cursor.get(), run, false);
        steps += StepsOf(run);
      } else {
        entry.text->insertControlCharacter(cursor.get(),
                                           piece.kind == MirrorPiece::Paragraph
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

  const std::vector<EntryText>& entries_;
  const std::vector<Portion>& portions_;
  const std::vector<Reference<css::text::XTextRange>>& ranges_;
  bool utf16Steps_;
  std::map<uint32_t, Reference<css::text::XTextCursor>> starts_;
};

std::vector<bool> TextMirror::Changed() const {
  std::vector<bool> changed(model_.portions.size(), false);
  uint32_t expected = 0;  // the original that comes next when nothing changed
  for (const Char& c : model_.chars) {
    if (c.origin == kNoOriginal) {
      const uint32_t format = c.format != kNoOriginal ? c.format : expected;
      if (format < model_.originals.size()) changed[model_.originals[format].portion] = true;
      continue;
    }
    // Originals left out before this one were removed.
    for (uint32_t o = expected; o < c.origin; o++) changed[model_.originals[o].portion] = true;
    expected = c.origin + 1;
  }
  for (uint32_t o = expected; o < model_.originals.size(); o++) {
    changed[model_.originals[o].portion] = true;
  }
  return changed;
}

void TextMirror::Prepare(size_t from, size_t to) {
  const size_t first = from > 0 ? from - 1 : 0;
  for (size_t i = first; i <= to && i < model_.chars.size(); i++) {
    const uint32_t o =
        model_.chars[i].origin != kNoOriginal ? model_.chars[i].origin : model_.chars[i].format;
    if (o != kNoOriginal && model_.portions[model_.originals[o].portion].whole) {
      Split(model_.originals[o].portion);
    }
  }
}

void TextMirror::Split(uint32_t p) {
  const Portion whole = model_.portions[p];
  PortionList parts;
  if (!split_ || !split_(texts_.at(whole.entry).anchor, &parts)) {
    model_.portions[p].whole = false;
    LockEntry(whole.entry, EditLock::kObject);
    return;
  }
  // The parts must read as the paragraph did; new portions go at the end,
  // so that no other portion's index changes.
  uint32_t next = whole.first;
  uint32_t offset = whole.offset;
  const uint32_t end = whole.first + whole.count;
  for (const auto& [text, range] : parts) {
    Portion part{whole.entry, offset, next, 0, PortionKind::Text, false};
    for (sal_Int32 i = 0; i < text.getLength();) {
      const char32_t code = text.iterateCodePoints(&i);
      if (next == end || model_.originals[next].code != code) {
        throw AutomationError("LibreOffice: a paragraph no longer reads as it did");
      }
      model_.originals[next].portion = static_cast<uint32_t>(model_.portions.size());
      offset += model_.originals[next].steps;
      next++;
      part.count++;
    }
    if (part.count > 0) {
      model_.portions.push_back(part);
      ranges_.push_back(range);
    }
  }
  if (next != end) throw AutomationError("LibreOffice: a paragraph no longer reads as it did");
  model_.portions[p].count = 0;
  model_.portions[p].whole = false;
}

void TextMirror::Flush() {
  if (!pending_) return;
  if (model_.entries.size() == 1 && model_.entries.front().whole) {
    texts_.front().text->setString(FromUtf8(Text(0, model_.chars.size())));
  } else {
    const std::vector<bool> changed = Changed();
    for (uint32_t p = 0; p < changed.size(); p++) {
      if (changed[p] && model_.portions[p].whole) Split(p);
    }
    const std::vector<MirrorEdit> edits = PlanMirrorEdits(model_);
    Writer writer(texts_, model_.portions, ranges_, style_.utf16Steps);
    for (const MirrorEdit& edit : edits) writer.Apply(edit);
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
