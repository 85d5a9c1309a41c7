#include "batch/replace_template.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "batch/split.h"
#include "batch/string_syntax.h"

namespace strbatch {
namespace {

// Reads a decimal integer the way "%d" does: leading blanks, an optional
// sign, at least one digit; what follows the digits is ignored. Values
// beyond the int range are held at its ends.
bool ReadDecimal(std::string_view text, int* value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min<long long>(magnitude * 10 + (text[i] - '0'), 1LL + INT_MAX);
  }
  const long long signedValue = negative ? -magnitude : magnitude;
  *value = static_cast<int>(std::clamp<long long>(signedValue, INT_MIN, INT_MAX));
  return true;
}

// "{i;w=x;r=y}": the file number, counted from r (no r, 0 and 1 all start
// the first file at 1), padded with zeros to w digits.
std::string FileNumber(std::string_view item, long long currentFileNumber) {
  std::vector<std::string> parts;
  SplitAtSeparators(item, ",;", false, &parts);
  int width = 0;
  int start = 0;
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string_view part = parts[i];
    int value = 0;
    if (part.substr(0, 2) == "w=" && ReadDecimal(part.substr(2), &value)) {
      width = value;
    } else if (part.substr(0, 2) == "r=" && ReadDecimal(part.substr(2), &value)) {
      start = value;
    }
  }
  long long offset = 0;
  if (start > 1) {
    offset = start - 1LL;
  } else if (start < 0) {
    offset = start;
  }
  long long number = 0;
  if (__builtin_add_overflow(currentFileNumber, offset, &number)) number = currentFileNumber;
  // A huge width would make a huge string out of one file name or line.
  width = std::min(width, kMaxNumberWidth);
  char buffer[kMaxNumberWidth + 32];
  if (width > 0) {
    std::snprintf(buffer, sizeof buffer, "%0*lld", width, number);
  } else {
    std::snprintf(buffer, sizeof buffer, "%lld", number);
  }
  return buffer;
}

}  // namespace

void ParseReplaceTemplate(std::string_view text, std::vector<std::string>* texts,
                          std::vector<uint32_t>* kinds, const CodePage& codePage) {
  std::string current;
  auto close = [&](uint32_t kind) {
    if (current.empty()) return;
    texts->push_back(std::move(current));
    kinds->push_back(kind);
    current.clear();
  };
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (codePage.IsLeadByte(static_cast<unsigned char>(c))) {
      const size_t next = codePage.NextChar(text, i);
      current.append(text.substr(i, next - i));
      i = next;
      continue;
    }
    switch (c) {
      case '\\': {
        if (i + 1 >= text.size()) {  // a final lone backslash is dropped
          i = text.size();
          continue;
        }
        const size_t next = codePage.NextChar(text, i + 1);
        if (next - (i + 1) > 1) {
          current.append(text.substr(i + 1, next - (i + 1)));  // an escaped multi-byte character
        } else {
          current.push_back(DecodeEscape(text[i + 1]));
        }
        i = next;
        continue;
      }
      case '{':
        close(kTemplateText);
        break;
      case '}':
        close(kTemplateItem);
        break;
      default:
        current.push_back(c);
        break;
    }
    ++i;
  }
  close(kTemplateText);
}

bool FindMissingGroupReference(const std::vector<std::string>& texts,
                               const std::vector<uint32_t>& kinds, int groupCount, int* group) {
  const size_t count = std::min(texts.size(), kinds.size());
  for (size_t i = 0; i < count; ++i) {
    const std::string& piece = texts[i];
    if (kinds[i] != kTemplateItem || piece.empty() || piece[0] == 'i') continue;
    int number = 0;
    // An item that is not a number is no reference: it expands to nothing
    // as it always did, and says nothing about groups.
    if (!ReadDecimal(piece, &number)) continue;
    if (number < 1 || number > groupCount) {
      *group = number;
      return true;
    }
  }
  return false;
}

std::string ExpandReplaceTemplate(const std::vector<std::string>& texts,
                                  const std::vector<uint32_t>& kinds, const CPatternMatch& match,
                                  std::string_view searchedText, long long currentFileNumber) {
  std::string out;
  const size_t count = std::min(texts.size(), kinds.size());
  for (size_t i = 0; i < count; ++i) {
    const std::string& piece = texts[i];
    if (kinds[i] != kTemplateItem) {
      out += piece;
      continue;
    }
    if (!piece.empty() && piece[0] == 'i') {
      out += FileNumber(piece, currentFileNumber);
      continue;
    }
    int group = 0;
    if (!ReadDecimal(piece, &group) || group < 1 || group > match.GroupCount()) continue;
    const size_t start = match.GroupStart(group - 1);
    const size_t end = match.GroupEnd(group - 1);
    if (start == CPatternMatch::kUnset || end < start || end > searchedText.size()) continue;
    out.append(searchedText.substr(start, end - start));
  }
  return out;
}

}  // namespace strbatch
