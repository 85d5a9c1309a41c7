#include "base/code_page.h"

#include <cstdint>
#include <cstdio>

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <memory>
#include <vector>

namespace strbatch {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter OpenConverter(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  Converter conv(ucnv_open(name, &status));
  if (U_FAILURE(status)) return nullptr;
  return conv;
}

// Counts substitutions made by ICU so that a lossy conversion can be
// reported while still producing the substituted text.
struct SubstitutionCounter {
  int count = 0;
};

void CountingToUnicodeCallback(const void* context, UConverterToUnicodeArgs* args,
                               const char* codeUnits, int32_t length,
                               UConverterCallbackReason reason, UErrorCode* err) {
  if (reason <= UCNV_IRREGULAR) {
    const_cast<SubstitutionCounter*>(static_cast<const SubstitutionCounter*>(context))->count++;
  }
  UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, reason, err);
}

void CountingFromUnicodeCallback(const void* context, UConverterFromUnicodeArgs* args,
                                 const UChar* codeUnits, int32_t length, UChar32 codePoint,
                                 UConverterCallbackReason reason, UErrorCode* err) {
  if (reason <= UCNV_IRREGULAR) {
    const_cast<SubstitutionCounter*>(static_cast<const SubstitutionCounter*>(context))->count++;
  }
  UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, codePoint, reason, err);
}

// Converts between two ICU converters through UTF-16 in one call.
bool ConvertBetween(const char* to_name, const char* from_name, std::string_view in,
                    std::string* out, bool from_is_code_page) {
  out->clear();
  if (in.empty()) return true;
  Converter from = OpenConverter(from_name);
  Converter to = OpenConverter(to_name);
  if (!from || !to) return false;
  SubstitutionCounter counter;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(from.get(), CountingToUnicodeCallback, &counter, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(to.get(), CountingFromUnicodeCallback, &counter, nullptr, nullptr,
                        &status);
  if (!from_is_code_page) {
    // "?" is the substitution byte of both double-byte code pages.
    ucnv_setSubstChars(to.get(), "?", 1, &status);
  }
  if (U_FAILURE(status)) return false;
  // The output starts at a size that holds most texts (a double-byte
  // character becomes at most three bytes of UTF-8; UTF-8 text does not
  // grow in a double-byte code page) and doubles when a text needs more; the
  // pivot is a small buffer that ICU refills as it goes. So a conversion
  // needs about twice the text's size, not seven times.
  out->resize(in.size() + (from_is_code_page ? in.size() / 2 : 0) + 16);
  std::vector<UChar> pivot(16384);
  UChar* pivot_source = pivot.data();
  UChar* pivot_target = pivot.data();
  const char* src = in.data();
  const char* src_end = in.data() + in.size();
  size_t written = 0;
  counter.count = 0;
  for (bool reset = true;; reset = false) {
    char* dst = out->data() + written;
    status = U_ZERO_ERROR;
    ucnv_convertEx(to.get(), from.get(), &dst, out->data() + out->size(), &src, src_end,
                   pivot.data(), &pivot_source, &pivot_target, pivot.data() + pivot.size(), reset,
                   true, &status);
    written = static_cast<size_t>(dst - out->data());
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    out->resize(out->size() * 2);
  }
  if (U_FAILURE(status)) {
    out->clear();
    return false;
  }
  out->resize(written);
  return counter.count == 0;
}

}  // namespace

CodePage::CodePage(int number) : number_(number) {}

const CodePage& CodePage::Gbk() {
  static const CodePage gbk(kGbk);
  return gbk;
}

const CodePage& CodePage::Big5() {
  static const CodePage big5(kBig5);
  return big5;
}

const CodePage& CodePage::Utf8() {
  static const CodePage utf8(kUtf8);
  return utf8;
}

const CodePage& CodePage::Process() { return Gbk(); }

size_t CodePage::Utf8SequenceLength(const char* text, size_t pos, size_t size) {
  const unsigned char b = static_cast<unsigned char>(text[pos]);
  size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
  if (pos + length > size) return 1;
  const unsigned char second = static_cast<unsigned char>(text[pos + 1]);
  // The second byte's range excludes overlong forms, surrogates and values
  // past U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (b == 0xE0) low = 0xA0;
  if (b == 0xED) high = 0x9F;
  if (b == 0xF0) low = 0x90;
  if (b == 0xF4) high = 0x8F;
  if (second < low || second > high) return 1;
  for (size_t i = 2; i < length; i++) {
    const unsigned char c = static_cast<unsigned char>(text[pos + i]);
    if (c < 0x80 || c > 0xBF) return 1;
  }
  return length;
}

const char* CodePage::ConverterName() const {
  // The platform tables: "CP950" would open a different (IBM) table.
  if (number_ == kUtf8) return "UTF-8";
  return number_ == kBig5 ? "windows-950-2000" : "windows-936-2000";
}

bool CodePage::ToUtf8(std::string_view bytes, std::string* utf8) const {
  return ConvertBetween("UTF-8", ConverterName(), bytes, utf8, true);
}

bool CodePage::FromUtf8(std::string_view utf8, std::string* bytes) const {
  return ConvertBetween(ConverterName(), "UTF-8", utf8, bytes, false);
}

bool CodePage::FirstCharacterNotHeld(std::string_view utf8, std::string* character,
                                     size_t* offset) const {
  std::string bytes;
  if (FromUtf8(utf8, &bytes)) return false;
  // Losing a character is a property of every prefix that holds it, so the
  // shortest lossy prefix is found by halving: a few conversions of the
  // text, not one per character.
  const CodePage& unicode = Utf8();
  size_t held = 0;            // [0, held) converts without loss
  size_t lossy = utf8.size();  // [0, lossy) does not
  while (unicode.NextChar(utf8, held) < lossy) {
    size_t middle = held + (lossy - held) / 2;
    while (middle > held && (static_cast<unsigned char>(utf8[middle]) & 0xC0) == 0x80) middle--;
    if (middle == held) middle = unicode.NextChar(utf8, held);
    if (FromUtf8(utf8.substr(0, middle), &bytes)) {
      held = middle;
    } else {
      lossy = middle;
    }
  }
  character->assign(utf8.substr(held, lossy - held));
  if (offset != nullptr) *offset = held;
  return true;
}

std::string CodePage::Name() const {
  switch (number_) {
    case kGbk: return "GBK";
    case kBig5: return "BIG5";
    case kUtf8: return "UTF-8";
    default: return "CP" + std::to_string(number_);
  }
}

std::string CodePointName(std::string_view character) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(character.data());
  uint32_t value = character.empty() ? 0 : bytes[0];
  if (character.size() > 1) {
    value = bytes[0] & (0x7F >> character.size());
    for (size_t i = 1; i < character.size(); i++) value = (value << 6) | (bytes[i] & 0x3F);
  }
  char name[16];
  std::snprintf(name, sizeof(name), "U+%04X", static_cast<unsigned>(value));
  return name;
}

}  // namespace strbatch
