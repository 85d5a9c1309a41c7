// The process code page: which bytes start a double-byte character, how to
// step over one character, and conversion to and from UTF-8 through ICU.
// Code that walks text takes a CodePage (never a hard-coded GBK rule), so
// that other code pages can be added without touching the engines.
#ifndef STRBATCH_BASE_CODE_PAGE_H_
#define STRBATCH_BASE_CODE_PAGE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace strbatch {

class CodePage {
 public:
  // 936 (GBK) and 950 (BIG5) are double-byte code pages with lead bytes
  // 0x81..0xFE. 65001 is UTF-8, whose characters are one to four bytes.
  static constexpr int kGbk = 936;
  static constexpr int kBig5 = 950;
  static constexpr int kUtf8 = 65001;

  explicit CodePage(int number);

  // The code page of the process: 936 (GBK), the code page definitions,
  // names and settings are kept in.
  static const CodePage& Process();

  // The code pages that the batch reads files in, made once.
  static const CodePage& Gbk();
  static const CodePage& Big5();
  static const CodePage& Utf8();

  int Number() const { return number_; }
  bool IsUtf8() const { return number_ == kUtf8; }

  // True when b starts a character of more than one byte.
  bool IsLeadByte(unsigned char b) const {
    return IsUtf8() ? (b >= 0xC2 && b <= 0xF4) : (b >= 0x81 && b <= 0xFE);
  }

  // The position just past the character that starts at pos. In a
  // double-byte code page a lead byte followed by a non-zero byte inside the
  // text forms a two-byte character; in UTF-8 a lead byte followed by its
  // continuation bytes forms one character. Every other byte (an invalid
  // one included) is a character of its own. pos must be below size.
  size_t NextChar(const char* text, size_t pos, size_t size) const {
    const unsigned char b = static_cast<unsigned char>(text[pos]);
    if (!IsLeadByte(b)) return pos + 1;
    if (IsUtf8()) return pos + Utf8SequenceLength(text, pos, size);
    if (pos + 1 < size && text[pos + 1] != '\0') return pos + 2;
    return pos + 1;
  }
  size_t NextChar(std::string_view text, size_t pos) const {
    return NextChar(text.data(), pos, text.size());
  }

  // Decodes bytes of this code page into UTF-8. Invalid or unmappable
  // sequences become U+FFFD; the result is false when that happened.
  bool ToUtf8(std::string_view bytes, std::string* utf8) const;

  // Encodes UTF-8 into this code page. A character the code page cannot hold
  // becomes "?"; the result is false when that happened (or the input was not
  // valid UTF-8).
  bool FromUtf8(std::string_view utf8, std::string* bytes) const;

  // The first character of valid UTF-8 text that this code page cannot
  // hold, with its byte offset in the text; false when it holds them all.
  bool FirstCharacterNotHeld(std::string_view utf8, std::string* character,
                             size_t* offset = nullptr) const;

  // A name for messages: "GBK", "BIG5", "UTF-8" or "CPnnn".
  std::string Name() const;

  // The exact ICU converter name that reproduces the platform table.
  const char* ConverterName() const;

 private:
  // The length of a well-formed UTF-8 sequence at pos, or 1.
  static size_t Utf8SequenceLength(const char* text, size_t pos, size_t size);

  int number_;
};

// The code point of one UTF-8 character as "U+XXXX", for messages.
std::string CodePointName(std::string_view character);

}  // namespace strbatch

#endif  // STRBATCH_BASE_CODE_PAGE_H_
