// Reading the line sort tool's text files: the lines of a data file and the
// two rule tables (equal-value table, no-sort table). Under the encoding
// setting "gbk" all of them are plain text in the process code page; under
// the other settings each file is read in its own encoding.
#ifndef STRBATCH_SORTTOOL_SORT_TABLES_H_
#define STRBATCH_SORTTOOL_SORT_TABLES_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "base/message.h"
#include "base/text_encoding.h"
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
// a file that cannot be read, which is reported in *problems (one message
// per file) for a caller that wants to tell the user.
SortTables LoadSortTables(const std::string& equalValuePath, const std::string& noSortPath,
                          std::vector<Message>* problems);

// The same under an encoding setting. Under "gbk" the tables hold the
// files' code page bytes, as above; under the other settings each table
// file is read in its own encoding and the tables hold UTF-8 text.
SortTables LoadSortTables(const std::string& equalValuePath, const std::string& noSortPath,
                          EncodingSetting setting, std::vector<Message>* problems);

// UTF-8 tables carried into a code page for the files read in it. An entry
// the code page cannot hold (either side of an equal-value entry) is left
// out rather than turned into "?".
SortTables CarrySortTables(const SortTables& utf8Tables, const CodePage& codePage);

// A text file's bytes as the sort sees them under a setting other than
// "gbk": its encoding, the byte-order mark set aside, and the text itself in
// its work code page (UTF-16 as UTF-8).
struct SortFileText {
  FileEncoding encoding = FileEncoding::CodePage;
  std::string mark;
  std::string text;
};

// False, with a reason, when the bytes are not text of the encoding they
// were taken for (an unpaired UTF-16 surrogate, an odd length).
bool OpenSortFileText(std::string bytes, EncodingSetting setting, SortFileText* file,
                      Message* error);
// The file's bytes for a new text in its work code page: the mark, then the
// text in the file's encoding.
bool EncodeSortFileText(const SortFileText& file, const std::string& text, std::string* bytes,
                        Message* error);

}  // namespace strbatch

#endif  // STRBATCH_SORTTOOL_SORT_TABLES_H_
