// The lists' counts and matches as text, so that tests can state them in
// one line ("2", "0:3;4:3") as the window and the CLI show them.
#ifndef STRBATCH_TESTS_LIST_TEXT_H_
#define STRBATCH_TESTS_LIST_TEXT_H_

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lists/file_list.h"

namespace strbatch::testing {

// A count as the lists show it: decimal, or empty for none.
inline std::string CountText(const std::optional<int64_t>& count) {
  return count ? std::to_string(*count) : std::string();
}

// Matches written and read as "offset:length" records joined by ";", so
// that tests can state them in one line.
inline std::string MatchListText(const std::vector<MatchSpan>& matches) {
  std::string text;
  for (const MatchSpan& span : matches) {
    if (!text.empty()) text += ';';
    text += std::to_string(span.offset) + ":" + std::to_string(span.length);
  }
  return text;
}
inline std::vector<MatchSpan> Matches(std::string_view text) {
  std::vector<MatchSpan> matches;
  while (!text.empty()) {
    const size_t end = std::min(text.find(';'), text.size());
    const std::string record(text.substr(0, end));
    const size_t colon = record.find(':');
    matches.push_back({std::atoll(record.c_str()), std::atoll(record.c_str() + colon + 1)});
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return matches;
}

}  // namespace strbatch::testing

#endif  // STRBATCH_TESTS_LIST_TEXT_H_
