#include "sorttool/sort_tables.h"

#include "app/safe_file.h"

namespace strbatch {
namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsTokenSeparator(char c) { return c == ' ' || c == '\t'; }

void LoadTable(const std::string& path, void (*parse)(std::string_view, SortTables*),
               SortTables* tables, std::string* problems) {
  if (path.empty()) return;
  std::string content, error;
  if (!ReadWholeFile(path, &content, &error)) {
    *problems += error + "\n";
    return;
  }
  parse(content, tables);
}

}  // namespace

std::vector<std::string> SplitSortLines(std::string_view content) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t feed = content.find('\n', start);
    size_t end = feed == std::string_view::npos ? content.size() : feed + 1;
    size_t first = start;
    size_t last = end;
    while (first < last && IsLineEnd(content[first])) ++first;
    while (last > first && IsLineEnd(content[last - 1])) --last;
    if (last > first) lines.emplace_back(content.substr(first, last - first));
    start = end;
  }
  return lines;
}

void ParseEqualValueTable(std::string_view content, SortTables* tables) {
  for (const std::string& line : SplitSortLines(content)) {
    std::string_view tokens[2];
    int found = 0;
    size_t pos = 0;
    while (found < 2 && pos < line.size()) {
      while (pos < line.size() && IsTokenSeparator(line[pos])) ++pos;
      size_t begin = pos;
      while (pos < line.size() && !IsTokenSeparator(line[pos])) ++pos;
      if (pos > begin) tokens[found++] = std::string_view(line).substr(begin, pos - begin);
    }
    if (found == 2) tables->equalValues[std::string(tokens[0])] = std::string(tokens[1]);
  }
}

void ParseNoSortTable(std::string_view content, SortTables* tables) {
  for (std::string& line : SplitSortLines(content)) tables->noSort.insert(std::move(line));
}

SortTables LoadSortTables(const std::string& equalValuePath, const std::string& noSortPath,
                          std::string* problems) {
  SortTables tables;
  LoadTable(equalValuePath, ParseEqualValueTable, &tables, problems);
  LoadTable(noSortPath, ParseNoSortTable, &tables, problems);
  return tables;
}

}  // namespace strbatch
