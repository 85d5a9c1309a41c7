// Reading the line sort tool's text files: the lines of a data file and the
// two rule tables (equal-value table, no-sort table), all plain text in the
// process code page.
#ifndef STRBATCH_SORTTOOL_SORT_TABLES_H_
#define STRBATCH_SORTTOOL_SORT_TABLES_H_

#include <string>
#include <string_view>
#include <vector>

#include "sorttool/sort_key.h"

namespace strbatch {

// The non-empty lines of a text: a line ends at a line feed; carriage returns
// and line feeds are removed from both of its ends (one inside stays). Lines
// are kept whole whatever their length, NUL bytes included.
std::vector<std::string> SplitSortLines(std::string_view content);

// Equal-value table: each line cut at tabs and spaces; a line with two or
// more tokens maps the first to the second, a later line winning.
void ParseEqualValueTable(std::string_view content, SortTables* tables);
// No-sort table: each non-empty line, spaces included, is one entry.
void ParseNoSortTable(std::string_view content, SortTables* tables);

// Both tables from their files. An empty path means an empty table; so does
// a file that cannot be read, which is reported in *problems (one line per
// file) for a caller that wants to tell the user.
SortTables LoadSortTables(const std::string& equalValuePath, const std::string& noSortPath,
                          std::string* problems);

}  // namespace strbatch

#endif  // STRBATCH_SORTTOOL_SORT_TABLES_H_
