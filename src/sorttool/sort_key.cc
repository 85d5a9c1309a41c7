#include "sorttool/sort_key.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

namespace strbatch {
namespace {

// Full-width (and typographic) signs that fold to a half-width sign, by
// Unicode; their byte forms come from the code page. Signs not listed, such
// as the full-width space, U+2018 and the full-width full stop, stay as they
// are.
constexpr std::pair<UChar32, char> kFoldedSigns[] = {
    {0xFF5E, '~'}, {0xFF01, '!'}, {0xFF03, '#'}, {0xFF05, '%'},  {0xFF0A, '*'},
    {0xFF08, '('}, {0xFF09, ')'}, {0xFF0B, '+'}, {0xFF5C, '|'},  {0xFF40, '`'},
    {0xFF0D, '-'}, {0x2014, '-'}, {0xFF1D, '='}, {0xFF5B, '{'},  {0xFF5D, '}'},
    {0xFF3B, '['}, {0xFF3D, ']'}, {0xFF1A, ':'}, {0x201C, '"'},  {0x201D, '"'},
    {0xFF1B, ';'}, {0x3008, '<'}, {0x3009, '>'}, {0xFF1F, '?'},  {0xFF0C, ','},
    {0x3002, '.'}, {0xFF0F, '/'}, {0x2019, '\''},
};

// The full-width forms of the ASCII signs, digits and letters, each
// kFullWidthOffset above its half-width form.
constexpr UChar32 kFirstFullWidthForm = 0xFF01;
constexpr UChar32 kLastFullWidthForm = 0xFF5E;
constexpr UChar32 kFullWidthOffset = 0xFF01 - '!';

// Lower-casing and width folding of one code page's double-byte characters,
// worked out once through ICU and then looked up per character.
struct CodePageSortTables {
  std::vector<unsigned short> lowerCase = std::vector<unsigned short>(0x10000, 0);
  std::vector<char> fullWidth = std::vector<char>(0x10000, 0);
};

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

class StrictConverter {
 public:
  explicit StrictConverter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    converter_.reset(ucnv_open(name, &status));
    if (U_FAILURE(status)) {
      converter_.reset();
      return;
    }
    // Unmappable input must fail rather than turn into a substitute.
    ucnv_setToUCallBack(converter_.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
    ucnv_setFromUCallBack(converter_.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &status);
    if (U_FAILURE(status)) converter_.reset();
  }
  bool ok() const { return converter_ != nullptr; }

  // The one character that two code page bytes stand for, or -1.
  UChar32 Decode(unsigned code) const {
    const char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    UChar units[4];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(converter_.get());
    int32_t n = ucnv_toUChars(converter_.get(), units, 4, bytes, 2, &status);
    if (U_FAILURE(status) || n <= 0) return -1;
    UChar32 c;
    int32_t i = 0;
    U16_NEXT(units, i, n, c);
    return i == n ? c : -1;
  }

  // The double-byte code of a character, or 0 when it has none that decodes
  // back to the same character.
  unsigned Encode(UChar32 c) const {
    UChar units[2];
    int32_t length = 0;
    UBool error = false;
    U16_APPEND(units, length, 2, c, error);
    if (error) return 0;
    char bytes[8];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(converter_.get());
    int32_t n = ucnv_fromUChars(converter_.get(), bytes, sizeof(bytes), units, length, &status);
    if (U_FAILURE(status) || n != 2) return 0;
    unsigned code = (static_cast<unsigned char>(bytes[0]) << 8) | static_cast<unsigned char>(bytes[1]);
    return Decode(code) == c ? code : 0;
  }

 private:
  std::unique_ptr<UConverter, ConverterCloser> converter_;
};

// allFullWidthForms: every form U+FF01 to U+FF5E folds, not only those of
// the folding table.
std::unique_ptr<CodePageSortTables> BuildTables(const CodePage& codePage, bool allFullWidthForms) {
  auto tables = std::make_unique<CodePageSortTables>();
  StrictConverter converter(codePage.ConverterName());
  if (!converter.ok()) return tables;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    if (!codePage.IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      unsigned code = (lead << 8) | trail;
      UChar32 c = converter.Decode(code);
      if (c < 0) continue;
      UChar32 lower = u_tolower(c);
      if (lower == c) continue;
      // Two bytes in, two bytes out: a lower-case form the code page cannot
      // hold in two bytes leaves the character alone.
      if (unsigned lowerCode = converter.Encode(lower)) {
        tables->lowerCase[code] = static_cast<unsigned short>(lowerCode);
      }
    }
  }
  auto fold = [&](UChar32 c, char ascii) {
    if (unsigned code = converter.Encode(c)) tables->fullWidth[code] = ascii;
  };
  for (const auto& [c, ascii] : kFoldedSigns) fold(c, ascii);
  if (allFullWidthForms) {
    for (UChar32 c = kFirstFullWidthForm; c <= kLastFullWidthForm; ++c) {
      fold(c, static_cast<char>(c - kFullWidthOffset));
    }
  }
  for (int k = 0; k < 10; ++k) fold(0xFF10 + k, static_cast<char>('0' + k));
  for (int k = 0; k < 26; ++k) {
    fold(0xFF21 + k, static_cast<char>('A' + k));
    fold(0xFF41 + k, static_cast<char>('a' + k));
  }
  return tables;
}

const CodePageSortTables& TablesFor(const CodePage& codePage, bool allFullWidthForms) {
  static std::mutex mutex;
  static std::vector<std::pair<int, std::unique_ptr<CodePageSortTables>>> built;
  std::lock_guard<std::mutex> lock(mutex);
  const int id = codePage.Number() * 2 + (allFullWidthForms ? 1 : 0);
  for (const auto& [number, tables] : built) {
    if (number == id) return *tables;
  }
  built.emplace_back(id, BuildTables(codePage, allFullWidthForms));
  return *built.back().second;
}

unsigned DoubleByteCode(const char* p) {
  return (static_cast<unsigned char>(p[0]) << 8) | static_cast<unsigned char>(p[1]);
}

// The code point of the well-formed UTF-8 sequence that starts at from.
UChar32 CodePointAt(std::string_view text, size_t from) {
  UChar32 c = 0;
  int32_t i = 0;
  U8_NEXT_UNSAFE(text.data() + from, i, c);
  return c;
}

}  // namespace

SortKeyBuilder::SortKeyBuilder(const SortKeyOptions& options, const SortTables& tables,
                               const CodePage& codePage)
    : options_(options), tables_(tables), codePage_(codePage) {
  if (!codePage_.IsUtf8()) {
    const CodePageSortTables& built =
        TablesFor(codePage_, codePage_.Number() != CodePage::Process().Number());
    lowerCase_ = &built.lowerCase;
    fullWidth_ = &built.fullWidth;
  }
}

size_t SortKeyBuilder::UnitEnd(std::string_view text, size_t pos) const {
  if (codePage_.IsUtf8()) return codePage_.NextChar(text, pos);
  // A byte from 0x80 up takes the byte after it along, whatever it is,
  // unless that is a NUL or the end of the line.
  return static_cast<unsigned char>(text[pos]) >= 0x80 && pos + 1 < text.size() &&
                 text[pos + 1] != '\0'
             ? pos + 2
             : pos + 1;
}

std::string SortKeyBuilder::BuildKey(std::string_view text) const {
  std::string key;
  key.reserve(text.size());
  std::string value;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = UnitEnd(text, pos);
    std::string_view unit = text.substr(pos, end - pos);
    pos = end;

    auto equal = tables_.equalValues.find(unit);
    if (equal != tables_.equalValues.end()) {
      value = equal->second;
    } else {
      value.assign(unit);
    }
    // The no-sort table is asked about the unit as read, not its substitute.
    if (tables_.noSort.find(unit) != tables_.noSort.end()) value.clear();
    if (!options_.caseSensitive) LowerCase(&value);
    if (!options_.countSpaces && value == " ") value.clear();
    if (!options_.widthSensitive) FoldWidth(&value);
    key += value;
  }
  return key;
}

void SortKeyBuilder::LowerCase(std::string* value) const {
  std::string& v = *value;
  if (codePage_.IsUtf8()) {
    std::string lowered;
    lowered.reserve(v.size());
    size_t i = 0;
    while (i < v.size()) {
      const size_t next = codePage_.NextChar(v, i);
      if (next - i == 1) {
        const char c = v[i];
        lowered.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
      } else {
        // A whole, valid sequence: its lower-case form may be longer or
        // shorter, which UTF-8 keys can take.
        const UChar32 c = CodePointAt(v, i);
        char buffer[U8_MAX_LENGTH];
        int32_t length = 0;
        U8_APPEND_UNSAFE(buffer, length, u_tolower(c));
        lowered.append(buffer, static_cast<size_t>(length));
      }
      i = next;
    }
    v.swap(lowered);
    return;
  }
  size_t i = 0;
  while (i < v.size()) {
    size_t next = codePage_.NextChar(v.data(), i, v.size());
    if (next - i == 2) {
      if (unsigned lower = (*lowerCase_)[DoubleByteCode(&v[i])]) {
        v[i] = static_cast<char>(lower >> 8);
        v[i + 1] = static_cast<char>(lower & 0xFF);
      }
    } else if (v[i] >= 'A' && v[i] <= 'Z') {
      v[i] = static_cast<char>(v[i] - 'A' + 'a');
    }
    i = next;
  }
}

void SortKeyBuilder::FoldWidth(std::string* value) const {
  if (codePage_.IsUtf8()) {
    // Every sign that folds is one three-byte character.
    if (value->size() != 3 || codePage_.NextChar(*value, 0) != 3) return;
    const UChar32 c = CodePointAt(*value, 0);
    if (c >= kFirstFullWidthForm && c <= kLastFullWidthForm) {
      value->assign(1, static_cast<char>(c - kFullWidthOffset));
      return;
    }
    for (const auto& [sign, ascii] : kFoldedSigns) {
      if (sign == c) value->assign(1, ascii);
    }
    return;
  }
  if (value->size() != 2) return;
  if (char folded = (*fullWidth_)[DoubleByteCode(value->data())]) value->assign(1, folded);
}

int CompareSortKeys(std::string_view a, std::string_view b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  if (common > 0) {
    if (int c = std::memcmp(a.data(), b.data(), common)) return c;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void SortLineEntries(std::vector<LineEntry>& entries) {
  if (entries.size() < 2) return;
  using Index = std::ptrdiff_t;
  // The partition below decides the order of entries with equal keys, so it
  // must stay exactly as it is. Its two remaining ranges are disjoint, which
  // makes the order in which they are sorted irrelevant: the smaller is
  // sorted first and the larger waits on this list, which therefore never
  // holds more than log2(n) ranges.
  std::vector<std::pair<Index, Index>> waiting;
  Index lo = 0;
  Index hi = static_cast<Index>(entries.size()) - 1;
  for (;;) {
    const std::string pivot = entries[static_cast<size_t>((lo + hi) / 2)].key;
    Index i = lo;
    Index j = hi;
    do {
      while (CompareSortKeys(entries[static_cast<size_t>(i)].key, pivot) < 0 && i < hi) ++i;
      while (CompareSortKeys(pivot, entries[static_cast<size_t>(j)].key) < 0 && j > lo) --j;
      if (i <= j) {
        if (i != j) std::swap(entries[static_cast<size_t>(i)], entries[static_cast<size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);

    const bool left = lo < j;
    const bool right = i < hi;
    if (left && right) {
      if (j - lo < hi - i) {
        waiting.emplace_back(i, hi);
        hi = j;
      } else {
        waiting.emplace_back(lo, j);
        lo = i;
      }
    } else if (left) {
      hi = j;
    } else if (right) {
      lo = i;
    } else if (!waiting.empty()) {
      std::tie(lo, hi) = waiting.back();
      waiting.pop_back();
    } else {
      break;
    }
  }
}

}  // namespace strbatch
