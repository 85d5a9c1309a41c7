// Fuzzes sort keys and the in-memory line sort. The first byte picks the
// options; the rest is the text. Checks that keys are stable under
// rebuilding, and that the sorted text holds the same lines, in key order,
// with reverse output the exact mirror and the duplicate filter dropping
// only neighbours.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sorttool/line_sort.h"
#include "sorttool/sort_key.h"
#include "sorttool/sort_tables.h"

namespace {

using strbatch::CompareSortKeys;
using strbatch::SortKeyBuilder;
using strbatch::SortOptions;
using strbatch::SortTables;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::string> OutputLines(const std::string& sorted, std::string_view lineEnd) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < sorted.size()) {
    size_t feed = sorted.find('\n', start);
    Check(feed != std::string::npos && feed + 1 - start > lineEnd.size());
    const size_t end = feed + 1 - lineEnd.size();
    Check(sorted.compare(end, lineEnd.size(), lineEnd) == 0);
    lines.push_back(sorted.substr(start, end - start));
    start = feed + 1;
  }
  return lines;
}

std::map<std::string, int> Counts(const std::vector<std::string>& lines) {
  std::map<std::string, int> counts;
  for (const std::string& line : lines) counts[line]++;
  return counts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  const uint8_t flags = data[0];
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  SortOptions options;
  options.caseSensitive = flags & 1;
  options.widthSensitive = flags & 2;
  options.countSpaces = flags & 4;
  SortTables tables;
  if (flags & 8) {
    // The first line of the text doubles as table content.
    std::string_view first = text.substr(0, text.find('\n'));
    strbatch::ParseEqualValueTable(first, &tables);
    strbatch::ParseNoSortTable(first, &tables);
  }

  const SortKeyBuilder builder(options.KeyOptions(), tables);
  if (tables.equalValues.empty() && tables.noSort.empty()) {
    // Without tables a key is its own key: lower-casing, space removal and
    // folding leave nothing for a second pass to change.
    std::string key = builder.BuildKey(text);
    Check(builder.BuildKey(key) == key);
  }

  const std::vector<std::string> lines = strbatch::SplitSortLines(text);
  const std::string_view lineEnd = strbatch::FirstLineEnd(text);
  std::string sorted;
  Check(strbatch::SortText(text, options, tables, &sorted) == !lines.empty());
  if (lines.empty()) return 0;

  const std::vector<std::string> forward = OutputLines(sorted, lineEnd);
  Check(Counts(forward) == Counts(lines));
  for (size_t k = 1; k < forward.size(); ++k) {
    Check(CompareSortKeys(builder.BuildKey(forward[k - 1]), builder.BuildKey(forward[k])) <= 0);
  }

  options.reverseOutput = true;
  Check(strbatch::SortText(text, options, tables, &sorted));
  const std::vector<std::string> backward = OutputLines(sorted, lineEnd);
  Check(std::vector<std::string>(forward.rbegin(), forward.rend()) == backward);

  options.filterDuplicates = true;
  options.reverseOutput = flags & 16;
  Check(strbatch::SortText(text, options, tables, &sorted));
  const std::vector<std::string> unique = OutputLines(sorted, lineEnd);
  for (size_t k = 1; k < unique.size(); ++k) Check(unique[k - 1] != unique[k]);
  std::map<std::string, int> all = Counts(lines), kept = Counts(unique);
  Check(all.size() == kept.size());
  for (const auto& [line, count] : kept) Check(count <= all[line]);
  return 0;
}
