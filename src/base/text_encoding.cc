#include "base/text_encoding.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <climits>
#include <cstring>

#include "base/ascii.h"

namespace strbatch {

bool ParseEncodingSetting(std::string_view text, EncodingSetting* setting) {
  if (EqualNoCase(text, "gbk")) {
    *setting = EncodingSetting::Gbk;
  } else if (EqualNoCase(text, "auto")) {
    *setting = EncodingSetting::Auto;
  } else if (EqualNoCase(text, "big5")) {
    *setting = EncodingSetting::Big5;
  } else if (EqualNoCase(text, "utf-8") || EqualNoCase(text, "utf8")) {
    *setting = EncodingSetting::Utf8;
  } else {
    return false;
  }
  return true;
}

const char* EncodingSettingName(EncodingSetting setting) {
  switch (setting) {
    case EncodingSetting::Auto: return "auto";
    case EncodingSetting::Big5: return "big5";
    case EncodingSetting::Utf8: return "utf-8";
    case EncodingSetting::Gbk: break;
  }
  return "gbk";
}

bool IsValidUtf8(std::string_view bytes, bool* multiByte) {
  *multiByte = false;
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    // Runs of ASCII are skipped eight bytes at a time.
    while (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, bytes.data() + i, 8);
      if (word & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i >= n) break;
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      i++;
      continue;
    }
    const size_t next = CodePage::Utf8().NextChar(bytes.data(), i, n);
    if (next == i + 1) return false;
    *multiByte = true;
    i = next;
  }
  return true;
}

DetectedEncoding DetectFileEncoding(std::string_view bytes, EncodingSetting setting) {
  DetectedEncoding detected;
  const bool utf8Mark = bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF";
  switch (setting) {
    case EncodingSetting::Gbk:
      return detected;
    case EncodingSetting::Big5:
      detected.encoding = FileEncoding::Big5;
      return detected;
    case EncodingSetting::Utf8:
      detected.encoding = FileEncoding::Utf8;
      detected.bomLength = utf8Mark ? 3 : 0;
      return detected;
    case EncodingSetting::Auto:
      break;
  }
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
    detected.encoding = FileEncoding::Utf16LE;
    detected.bomLength = 2;
  } else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") {
    detected.encoding = FileEncoding::Utf16BE;
    detected.bomLength = 2;
  } else if (utf8Mark) {
    detected.encoding = FileEncoding::Utf8;
    detected.bomLength = 3;
  } else {
    bool multiByte = false;
    if (IsValidUtf8(bytes, &multiByte) && multiByte) detected.encoding = FileEncoding::Utf8;
  }
  return detected;
}

const CodePage& WorkCodePage(FileEncoding encoding) {
  switch (encoding) {
    case FileEncoding::Big5: return CodePage::Big5();
    case FileEncoding::Utf8:
    case FileEncoding::Utf16LE:
    case FileEncoding::Utf16BE: return CodePage::Utf8();
    case FileEncoding::CodePage: break;
  }
  return CodePage::Process();
}

const char* FileEncodingName(FileEncoding encoding) {
  switch (encoding) {
    case FileEncoding::Big5: return "BIG5";
    case FileEncoding::Utf8: return "UTF-8";
    case FileEncoding::Utf16LE: return "UTF-16LE";
    case FileEncoding::Utf16BE: return "UTF-16BE";
    case FileEncoding::CodePage: break;
  }
  return CodePage::Process().Number() == CodePage::kBig5 ? "BIG5" : "GBK";
}

bool Utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string* utf8) {
  utf8->clear();
  if (bytes.size() % 2 != 0) return false;
  utf8->reserve(bytes.size() * 3 / 2);
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t i) -> uint16_t {
    const unsigned char a = static_cast<unsigned char>(bytes[2 * i]);
    const unsigned char b = static_cast<unsigned char>(bytes[2 * i + 1]);
    return bigEndian ? static_cast<uint16_t>(a << 8 | b) : static_cast<uint16_t>(b << 8 | a);
  };
  for (size_t i = 0; i < units; i++) {
    UChar32 c = unit(i);
    if (U16_IS_LEAD(c)) {
      if (i + 1 >= units || !U16_IS_TRAIL(unit(i + 1))) return false;
      c = U16_GET_SUPPLEMENTARY(c, unit(i + 1));
      i++;
    } else if (U16_IS_TRAIL(c)) {
      return false;
    }
    char buffer[4];
    int32_t length = 0;
    U8_APPEND_UNSAFE(buffer, length, c);
    utf8->append(buffer, static_cast<size_t>(length));
  }
  return true;
}

bool Utf8ToUtf16(std::string_view utf8, bool bigEndian, std::string* bytes) {
  bytes->clear();
  if (utf8.size() > static_cast<size_t>(INT32_MAX)) return false;
  bytes->reserve(utf8.size() * 2);
  const int32_t n = static_cast<int32_t>(utf8.size());
  int32_t i = 0;
  while (i < n) {
    UChar32 c;
    U8_NEXT(utf8.data(), i, n, c);
    if (c < 0) return false;
    UChar units[2];
    int32_t length = 0;
    U16_APPEND_UNSAFE(units, length, c);
    for (int32_t k = 0; k < length; k++) {
      const char high = static_cast<char>(units[k] >> 8);
      const char low = static_cast<char>(units[k] & 0xFF);
      bytes->push_back(bigEndian ? high : low);
      bytes->push_back(bigEndian ? low : high);
    }
  }
  return true;
}

std::string_view FirstLineEnd(std::string_view text) {
  const size_t feed = text.find('\n');
  if (feed == std::string_view::npos) return "\r\n";
  return feed > 0 && text[feed - 1] == '\r' ? "\r\n" : "\n";
}

}  // namespace strbatch
