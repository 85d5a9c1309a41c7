// Which encoding a file's text is read in. Under the setting "gbk" every
// file is read in the process code page; "big5" and "utf-8" force one
// encoding; "auto" recognises UTF-16 and UTF-8 files by their byte-order
// mark or, for UTF-8, by being valid UTF-8 with at least one multi-byte
// character, and reads every other file in the process code page. BIG5 is
// never guessed: it cannot be told apart from GBK reliably.
#ifndef STRBATCH_BASE_TEXT_ENCODING_H_
#define STRBATCH_BASE_TEXT_ENCODING_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "base/code_page.h"

namespace strbatch {

enum class EncodingSetting { Gbk, Auto, Big5, Utf8 };

// "gbk", "auto", "big5", "utf-8" (ASCII case ignored; "utf8" too).
bool ParseEncodingSetting(std::string_view text, EncodingSetting* setting);
const char* EncodingSettingName(EncodingSetting setting);

enum class FileEncoding { CodePage, Big5, Utf8, Utf16LE, Utf16BE };

struct DetectedEncoding {
  FileEncoding encoding = FileEncoding::CodePage;
  size_t bomLength = 0;  // bytes of the byte-order mark at the start
};

DetectedEncoding DetectFileEncoding(std::string_view bytes, EncodingSetting setting);

// Valid UTF-8 throughout; *multiByte tells whether any character has more
// than one byte.
bool IsValidUtf8(std::string_view bytes, bool* multiByte);

// The code page whose character rules a file's work text follows: UTF-16
// files are worked on as UTF-8.
const CodePage& WorkCodePage(FileEncoding encoding);

const char* FileEncodingName(FileEncoding encoding);

// UTF-16 (without its mark) to UTF-8 and back. False when the text holds
// an unpaired surrogate or an odd trailing byte (nothing is guessed).
bool Utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string* utf8);
bool Utf8ToUtf16(std::string_view utf8, bool bigEndian, std::string* bytes);

// The line end that a rewrite of a text made of lines writes, so that a file
// keeps its kind: the text's first one ("\n" or "\r\n"), "\r\n" when it has
// none. Text in a code page or UTF-8 (their bytes never hold CR or LF inside
// a character).
std::string_view FirstLineEnd(std::string_view text);

}  // namespace strbatch

#endif  // STRBATCH_BASE_TEXT_ENCODING_H_
