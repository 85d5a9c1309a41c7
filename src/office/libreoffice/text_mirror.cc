#include "text_mirror.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <rtl/ustrbuf.hxx>

#include <algorithm>

namespace strbatch::uno {
namespace {

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

// One piece of inserted text: a run of characters or a break.
struct InsertedPiece {
  enum { Run, Paragraph, Line } kind;
  rtl::OUString text;
};

namespace {

std::vector<InsertedPiece> SplitInsertion(const rtl::OUString& text) {
  std::vector<InsertedPiece> pieces;
  rtl::OUStringBuffer run;
  auto flush = [&] {
    if (!run.isEmpty()) pieces.push_back({InsertedPiece::Run, run.makeStringAndClear()});
  };
  for (sal_Int32 i = 0; i < text.getLength(); i++) {
    const sal_Unicode c = text[i];
    if (c == '\r' || c == '\n') {
      flush();
      pieces.push_back({InsertedPiece::Paragraph, {}});
      // CR LF is one break, and so is CR BEL (a cell mark read back).
      if (c == '\r' && i + 1 < text.getLength() && (text[i + 1] == '\n' || text[i + 1] == 7)) i++;
    } else if (c == 0x0B) {
      flush();
      pieces.push_back({InsertedPiece::Line, {}});
    } else if (c >= 0x20 || c == '\t') {
      // Other control characters are dropped: the text would not take them
      // as one character each.
      run.append(c);
    }
  }
  flush();
  return pieces;
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

uint32_t TextMirror::AddParagraph(const Reference<css::text::XText>& text,
                                  const Reference<css::text::XTextRange>& anchor) {
  paragraphs_.push_back({text, anchor});
  return static_cast<uint32_t>(paragraphs_.size() - 1);
}

void TextMirror::AddText(uint32_t paragraph, const rtl::OUString& text, EditLock lock) {
  for (sal_Int32 i = 0; i < text.getLength();) {
    const char32_t code = text.iterateCodePoints(&i);
    MirrorChar c;
    c.code = code;
    c.paragraph = paragraph;
    c.steps = StepsOf(code);
    c.lock = lock;
    if (code == '\n') {
      c.kind = CharKind::LineBreak;
    } else if (code < 0x20 && code != '\t') {
      c.kind = CharKind::Object;
      c.lock = EditLock::kObject;
    }
    chars_.push_back(c);
  }
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a paragraph index and a count
void TextMirror::AddObject(uint32_t paragraph, int steps) {
  for (int i = 0; i < steps; i++) {
    MirrorChar c;
    c.kind = CharKind::Object;
    c.lock = EditLock::kObject;
    c.paragraph = paragraph;
    chars_.push_back(c);
  }
}

void TextMirror::AddBreak(uint32_t paragraph, CharKind kind, EditLock lock) {
  MirrorChar c;
  c.kind = kind;
  c.lock = lock;
  c.paragraph = paragraph;
  chars_.push_back(c);
}

long TextMirror::ParagraphSteps(uint32_t paragraph) const {
  long steps = 0;
  for (size_t i = chars_.size(); i-- > 0 && chars_[i].paragraph == paragraph;) {
    steps += chars_[i].steps;
  }
  return steps;
}

void TextMirror::LockParagraph(uint32_t paragraph, EditLock lock) {
  for (MirrorChar& c : chars_) {
    if (c.paragraph == paragraph && c.lock == EditLock::kNone) c.lock = lock;
  }
}

void TextMirror::LockAll(EditLock lock) {
  for (MirrorChar& c : chars_) {
    if (c.lock == EditLock::kNone) c.lock = lock;
  }
  paragraphs_.clear();
  cache_ = {};
}

void TextMirror::Clear() {
  chars_.clear();
  paragraphs_.clear();
  needsRebuild_ = false;
  cache_ = {};
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): from then to, as every range here
std::string TextMirror::Text(size_t from, size_t to) const {
  std::string text;
  for (size_t i = from; i < to && i < chars_.size(); i++) {
    const MirrorChar& c = chars_[i];
    switch (c.kind) {
      case CharKind::Text: AppendUtf8(text, c.code); break;
      case CharKind::ParagraphBreak: text += style_.paragraphBreak; break;
      case CharKind::LineBreak: text += style_.lineBreak; break;
      case CharKind::CellMark: text += "\r\a"; break;
      case CharKind::Object: AppendUtf8(text, 0xFFFC); break;
    }
  }
  return text;
}

EditLock TextMirror::Lock(size_t from, size_t to) const {
  if (paragraphs_.empty() || from > to || to > chars_.size()) return EditLock::kStructure;
  if (from == to) {
    // Inside a text with a final paragraph mark nothing goes after it; an
    // edit-engine text takes text at its very end.
    if (from == chars_.size()) return style_.breaksRebuild ? EditLock::kStructure : EditLock::kNone;
    return EditLock::kNone;
  }
  for (size_t i = from; i < to; i++) {
    if (chars_[i].lock != EditLock::kNone) return chars_[i].lock;
  }
  return EditLock::kNone;
}

Reference<css::text::XTextCursor> TextMirror::CursorAt(size_t position,
                                                       uint32_t* paragraph) const {
  uint32_t p = 0;
  if (position < chars_.size()) {
    p = chars_[position].paragraph;
  } else if (!chars_.empty()) {
    p = chars_.back().paragraph;
  }
  *paragraph = p;
  // Steps from a point of the same paragraph: the paragraph's start, or the
  // cached cursor when it stands at or before the position.
  const bool cached = cache_.cursor.is() && cache_.paragraph == p && cache_.position <= position;
  size_t from = position;
  while (from > 0 && chars_[from - 1].paragraph == p && !(cached && from == cache_.position)) {
    from--;
  }
  long steps = 0;
  for (size_t i = from; i < position; i++) steps += chars_[i].steps;
  Reference<css::text::XTextCursor> cursor;
  if (cached && from == cache_.position) {
    cursor = cache_.cursor;
  } else {
    const Paragraph& where = paragraphs_.at(p);
    if (where.anchor.is()) {
      cursor = where.text->createTextCursorByRange(where.anchor);
      cursor->collapseToStart();
    } else {
      cursor = where.text->createTextCursor();
      cursor->gotoStart(false);
    }
  }
  if (!GoRight(cursor, steps, false)) {
    throw AutomationError("LibreOffice: the text has fewer characters than expected");
  }
  return cursor;
}

void TextMirror::Delete(size_t from, size_t to) {
  if (from >= to) return;
  Call("deleting text", [&] {
    uint32_t paragraph;
    Reference<css::text::XTextCursor> cursor = CursorAt(from, &paragraph);
    long steps = 0;
    for (size_t i = from; i < to; i++) steps += chars_[i].steps;
    if (!GoRight(cursor, steps, true)) {
      throw AutomationError("LibreOffice: the text has fewer characters than expected");
    }
    cursor->setString(rtl::OUString());
    cache_ = {cursor, from, paragraph};
  });
  *edited_ = true;
  for (size_t i = from; i < to; i++) {
    if (chars_[i].kind == CharKind::ParagraphBreak && style_.breaksRebuild) needsRebuild_ = true;
  }
  chars_.erase(chars_.begin() + static_cast<long>(from), chars_.begin() + static_cast<long>(to));
}

size_t TextMirror::Insert(size_t at, std::string_view utf8) {
  const std::vector<InsertedPiece> pieces = SplitInsertion(FromUtf8(utf8));
  if (pieces.empty()) return 0;
  uint32_t paragraph = 0;
  Reference<css::text::XTextCursor> cursor;
  Call("inserting text", [&] {
    cursor = CursorAt(at, &paragraph);
    cache_ = {};
    const Reference<css::text::XText>& text = paragraphs_[paragraph].text;
    for (const InsertedPiece& piece : pieces) {
      if (piece.kind == InsertedPiece::Run) {
        text->insertString(cursor.get(), piece.text, false);
      } else {
        text->insertControlCharacter(cursor.get(),
                                     piece.kind == InsertedPiece::Paragraph
                                         ? css::text::ControlCharacter::PARAGRAPH_BREAK
                                         : css::text::ControlCharacter::LINE_BREAK,
                                     false);
      }
    }
  });
  *edited_ = true;
  std::vector<MirrorChar> inserted = Characters(pieces, paragraph);
  chars_.insert(chars_.begin() + static_cast<long>(at), inserted.begin(), inserted.end());
  // Inserting leaves the cursor after the inserted text.
  if (!needsRebuild_) cache_ = {cursor, at + inserted.size(), paragraph};
  return inserted.size();
}

std::vector<MirrorChar> TextMirror::Characters(const std::vector<InsertedPiece>& pieces,
                                               uint32_t paragraph) {
  std::vector<MirrorChar> inserted;
  for (const InsertedPiece& piece : pieces) {
    if (piece.kind == InsertedPiece::Run) {
      for (sal_Int32 i = 0; i < piece.text.getLength();) {
        MirrorChar c;
        c.code = piece.text.iterateCodePoints(&i);
        c.steps = StepsOf(c.code);
        c.paragraph = paragraph;
        inserted.push_back(c);
      }
    } else {
      MirrorChar c;
      c.kind = piece.kind == InsertedPiece::Paragraph ? CharKind::ParagraphBreak
                                                      : CharKind::LineBreak;
      c.paragraph = paragraph;
      if (c.kind == CharKind::ParagraphBreak && style_.breaksRebuild) needsRebuild_ = true;
      inserted.push_back(c);
    }
  }
  return inserted;
}

void TextMirror::DeleteLocal(size_t from, size_t to) {
  if (from >= to) return;
  chars_.erase(chars_.begin() + static_cast<long>(from), chars_.begin() + static_cast<long>(to));
  cache_ = {};
  *edited_ = true;
}

size_t TextMirror::InsertLocal(size_t at, std::string_view utf8) {
  const uint32_t paragraph = at < chars_.size() ? chars_[at].paragraph
                             : chars_.empty()   ? 0
                                                : chars_.back().paragraph;
  std::vector<MirrorChar> inserted = Characters(SplitInsertion(FromUtf8(utf8)), paragraph);
  chars_.insert(chars_.begin() + static_cast<long>(at), inserted.begin(), inserted.end());
  cache_ = {};
  *edited_ = true;
  return inserted.size();
}

PortionsRead MirrorPortions(TextMirror& mirror, uint32_t paragraph,
                            const Reference<css::container::XEnumerationAccess>& portions,
                            EditLock lock, const PortionSteps& steps) {
  PortionsRead read;
  Reference<css::container::XEnumeration> elements = portions->createEnumeration();
  while (elements->hasMoreElements()) {
    Reference<css::text::XTextRange> portion(elements->nextElement(), UNO_QUERY_THROW);
    Reference<css::beans::XPropertySet> properties(portion, UNO_QUERY_THROW);
    rtl::OUString type;
    properties->getPropertyValue("TextPortionType") >>= type;
    if (type == "Text") {
      mirror.AddText(paragraph, portion->getString(), lock);
      continue;
    }
    read.objects = true;
    const int taken = steps(portion);
    if (taken < 0) {
      read.measured = false;
      break;
    }
    mirror.AddObject(paragraph, taken);
  }
  return read;
}

void MirrorEditEngineText(TextMirror& mirror, const Reference<css::text::XText>& text,
                          EditLock lock) {
  const uint32_t paragraph = mirror.AddParagraph(text, nullptr);
  Reference<css::container::XEnumerationAccess> access(text, UNO_QUERY_THROW);
  Reference<css::container::XEnumeration> paragraphs = access->createEnumeration();
  bool first = true;
  bool objects = false;
  while (paragraphs->hasMoreElements()) {
    if (!first) mirror.AddBreak(paragraph, CharKind::ParagraphBreak, lock);
    first = false;
    Reference<css::container::XEnumerationAccess> portions(paragraphs->nextElement(),
                                                           UNO_QUERY_THROW);
    // A field is one character of the edit engine, whatever it shows.
    const PortionsRead read = MirrorPortions(
        mirror, paragraph, portions, lock,
        [](const Reference<css::text::XTextRange>&) { return 1; });
    objects = objects || read.objects;
  }
  if (objects) {
    // The count of steps is checked against the text itself: exactly that
    // many steps take a cursor from its start to its end.
    Reference<css::text::XTextCursor> cursor = text->createTextCursor();
    cursor->gotoStart(false);
    if (!GoRight(cursor, mirror.ParagraphSteps(paragraph), false) ||
        cursor->goRight(1, false)) {
      mirror.LockAll(EditLock::kObject);
    }
  }
}

}  // namespace strbatch::uno
