#include "office/layout_walk.h"

#include <algorithm>

#include "office/office_location.h"

namespace strbatch {

std::string CleanLayoutText(std::string_view text, const TextLayout& layout) {
  std::string clean;
  clean.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    const int byte = static_cast<unsigned char>(text[i]);
    if (byte == '\r' && layout.Separates('\r') && i + 1 < text.size() && text[i + 1] == '\n') {
      clean.push_back(' ');
      i++;
    } else if (layout.Separates(byte)) {
      clean.push_back(' ');
    } else {
      clean.push_back(text[i]);
    }
  }
  return clean;
}

namespace {

// U+FFFC in UTF-8: an object or a field anchored in the text.
constexpr std::string_view kObjectCharacter = "\xEF\xBF\xBC";

}  // namespace

void OfficeText::AppendUtf8(std::string_view utf8, const CodePage& codePage) {
  const size_t base = bytes.size();
  std::string converted;
  if (codePage.FromUtf8(utf8, &converted)) {
    bytes += converted;
    return;
  }
  // Each code point becomes one character of the code page, itself or a
  // "?", so the two texts are walked side by side.
  const CodePage& unicode = CodePage::Utf8();
  const size_t known = standIns.size();
  const size_t knownObjects = objects;
  size_t in = 0, out = 0;
  while (in < utf8.size() && out < converted.size()) {
    const size_t next = unicode.NextChar(utf8, in);
    const size_t after = codePage.NextChar(converted, out);
    if (after == out + 1 && converted[out] == '?' && !(next == in + 1 && utf8[in] == '?')) {
      standIns.push_back(base + out);
      if (utf8.substr(in, next - in) == kObjectCharacter) objects++;
    }
    in = next;
    out = after;
  }
  if (in == utf8.size() && out == converted.size()) {
    bytes += converted;
    return;
  }
  // A converter that did not keep to one character per code point: each
  // character is converted by itself.
  standIns.resize(known);
  objects = knownObjects;
  std::string one;
  for (in = 0; in < utf8.size();) {
    const size_t next = unicode.NextChar(utf8, in);
    if (!codePage.FromUtf8(utf8.substr(in, next - in), &one)) {
      standIns.push_back(bytes.size());
      if (utf8.substr(in, next - in) == kObjectCharacter) objects++;
    }
    bytes += one;
    in = next;
  }
}

void AppendLayoutText(OfficeText& text, std::string_view utf8, const TextLayout& layout,
                      const CodePage& codePage) {
  // The separators are control characters, which are never part of a
  // longer character in UTF-8 nor in a double-byte code page: cleaning
  // before the conversion gives the same text, and the stand-ins' offsets
  // stay those of the converted text.
  text.AppendUtf8(CleanLayoutText(utf8, layout), codePage);
}

LayoutWalk WalkLayout(std::string_view segment, size_t begin, size_t end, LayoutPosition position,
                      size_t skip, bool afterCr, const TextLayout& layout,
                      const CodePage& codePage) {
  LayoutWalk walk;
  end = std::min(end, segment.size());
  size_t pos = std::min(skip, segment.size());
  afterCr = afterCr && layout.crPairs;
  for (;;) {
    if (pos == begin) {
      walk.started = true;
      walk.atStart = position;
    }
    if (pos >= end) break;
    const size_t next = OfficeUnitEnd(segment, pos, codePage);
    const bool single = next == pos + 1;
    const int byte = static_cast<unsigned char>(segment[pos]);
    // The second unit of a CR LF or CR BEL pair is not a character of its
    // own in the document.
    if (!(afterCr && single && (byte == '\n' || byte == '\a'))) position.characters++;
    afterCr = layout.crPairs && single && byte == '\r';
    if (single && layout.Separates(byte)) {
      if (pos >= begin) walk.crossed = true;
      if (byte == layout.story) {
        position = LayoutPosition{.story = position.story + 1};
      } else if (byte == layout.inner) {
        position.inner++;
      } else if (byte == layout.middle) {
        position.middle++;
        position.inner = 0;
      } else {
        position.outer++;
        position.middle = 0;
        position.inner = 0;
      }
      position.characters = 0;
    }
    pos = next;
  }
  walk.aligned = walk.started && pos == end;
  if (walk.started && !walk.crossed) walk.length = position.characters - walk.atStart.characters;
  walk.atEnd = position;
  walk.overshoot = pos > end ? pos - end : 0;
  walk.afterCr = afterCr;
  return walk;
}

}  // namespace strbatch
