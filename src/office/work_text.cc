#include "office/work_text.h"

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

}  // namespace strbatch
