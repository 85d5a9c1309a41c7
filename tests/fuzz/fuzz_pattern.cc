// Compiles arbitrary bytes as an expression and searches arbitrary text with
// it, as the batch does (each search after the previous match), with small
// search bounds so that every input runs quickly. Checks that results lie
// inside the text on character boundaries, that skipping to candidate
// positions changes nothing, and expands the input as a replace template.
//
// Input: one flag byte (bit 0: ignore case; bits 1 and 2: the code page,
// GBK, BIG5 or 65001), the expression up to the first NUL, then the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "batch/replace_template.h"
#include "pattern/pattern.h"

namespace strbatch {
namespace {

constexpr uint64_t kSteps = 100000;
constexpr size_t kStackEntries = 1 << 16;
constexpr int kMaxSearches = 32;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsBoundary(const CodePage& codePage, std::string_view text, size_t from, size_t pos) {
  size_t at = from;
  while (at < pos) at = codePage.NextChar(text, at);
  return at == pos;
}

// Runs the batch's search loop; gives every match with its groups, or
// nothing when a search ran into its bounds.
std::vector<size_t> Searches(const CPattern& pattern, const PatternText& prepared,
                             const std::vector<std::string>& texts,
                             const std::vector<uint32_t>& kinds, const CodePage& codePage,
                             bool* limited) {
  std::vector<size_t> found;
  const std::string_view text = prepared.Text();
  CPatternMatch match(4);
  size_t from = 0;
  for (int i = 0; i < kMaxSearches && from <= text.size(); ++i) {
    size_t end = 0;
    if (!pattern.Match(prepared, from, match, &end)) {
      *limited = match.LimitReached();
      break;
    }
    Check(end == match.End());
    Check(from <= match.Start() && match.Start() <= end && end <= text.size());
    Check(IsBoundary(codePage, text, from, match.Start()));
    Check(IsBoundary(codePage, text, match.Start(), end));
    Check(match.GroupCount() == pattern.GroupCount());
    found.push_back(match.Start());
    found.push_back(end);
    for (int g = 0; g < match.GroupCount(); ++g) {
      const size_t start = match.GroupStart(g);
      const size_t groupEnd = match.GroupEnd(g);
      Check((start == CPatternMatch::kUnset) == (groupEnd == CPatternMatch::kUnset));
      if (start != CPatternMatch::kUnset) Check(from <= start && start <= groupEnd && groupEnd <= text.size());
      found.push_back(start);
      found.push_back(groupEnd);
    }
    ExpandReplaceTemplate(texts, kinds, match, text, i + 1);
    if (end > from) {
      from = end;
    } else if (end < text.size()) {
      from = codePage.NextChar(text, end);
    } else {
      break;
    }
  }
  return found;
}

}  // namespace
}  // namespace strbatch

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace strbatch;
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t cut = input.find('\0');
  const std::string_view expression = input.substr(0, cut);
  const std::string_view text = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

  static const CodePage codePages[] = {CodePage(CodePage::kGbk), CodePage(CodePage::kBig5),
                                        CodePage(65001)};
  const CodePage& codePage = codePages[((flags >> 1) & 3) % 3];

  std::vector<std::string> texts;
  std::vector<uint32_t> kinds;
  ParseReplaceTemplate(expression, &texts, &kinds, codePage);
  Check(texts.size() == kinds.size());

  CPattern pattern(codePage);
  const PatternError error = pattern.Compile(expression, (flags & 1) == 0);
  Check(error >= PATTERN_OK && error <= PATTERN_ERR_TOO_LARGE);
  pattern.Dump();
  if (error != PATTERN_OK) return 0;
  pattern.SetSearchLimits(kSteps, kStackEntries);
  CPattern trying(codePage);
  trying.SetShortcuts(false);
  Check(trying.Compile(expression, (flags & 1) == 0) == PATTERN_OK);
  trying.SetSearchLimits(kSteps, kStackEntries);

  const PatternText prepared(pattern, text);
  bool limited = false, limitedTrying = false;
  const std::vector<size_t> found = Searches(pattern, prepared, texts, kinds, codePage, &limited);
  const std::vector<size_t> foundTrying =
      Searches(trying, prepared, texts, kinds, codePage, &limitedTrying);
  // The shortcuts cost fewer steps, so a bound may cut one run short
  // and not the other; otherwise both must agree.
  if (!limited && !limitedTrying) Check(found == foundTrying);
  return 0;
}
