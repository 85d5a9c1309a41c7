// The line sort tool: rewrites text files with their non-empty lines in
// sorted order, each followed by the file's first line end (LF or CR LF; CR
// LF when it has none). A file with no non-empty line, or one
// that cannot be read, is left untouched; the rewrite is all-or-nothing.
// Under an encoding setting other than "gbk" each file is sorted by the
// characters of its own encoding and written back in it, mark kept.
#ifndef STRBATCH_SORTTOOL_LINE_SORT_H_
#define STRBATCH_SORTTOOL_LINE_SORT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "base/safe_file.h"
#include "base/text_encoding.h"
#include "base/batch_host.h"
#include "config/options.h"
#include "lists/file_list.h"
#include "sorttool/sort_key.h"

namespace strbatch {

// The choices of one sort run (the two paths are those kept in the settings
// under "ByFile" and "notfile").
struct SortOptions {
  bool caseSensitive = false;
  bool widthSensitive = false;
  bool countSpaces = false;
  bool reverseOutput = false;     // write the lines from last to first
  bool filterDuplicates = false;  // drop a line equal to its neighbour in the output
  std::string equalValueTablePath;
  std::string noSortTablePath;
  // How data and table files are read: "gbk" reads all of them in the
  // process code page.
  EncodingSetting encoding = EncodingSetting::Gbk;
  // The language of the run's notices.
  Language language = Language::Chinese;

  SortKeyOptions KeyOptions() const { return {caseSensitive, widthSensitive, countSpaces}; }
};

// The sorted form of a text in a code page (tables in the same code page);
// false when it has no non-empty line.
bool SortText(std::string_view content, const SortOptions& options, const SortTables& tables,
              std::string* sorted, const CodePage& codePage = CodePage::Process());

enum class SortFileResult {
  kSorted,         // rewritten
  kNothingToSort,  // no non-empty line: untouched
  kFailed,         // unreadable, or the rewrite failed: untouched
};

// tables: as LoadSortTables gives them for options.encoding (code page
// bytes under "gbk", UTF-8 otherwise).
SortFileResult SortFile(const std::string& path, const SortOptions& options,
                        const SortTables& tables, Message* error, FileRewriter& rewriter);

// Loads the tables, then sorts every checked file in list order with the
// progress shown per file (the path, and 100 * row / number of rows); the
// user may cancel before any file. Failures go to host.Warn. Gives the
// number of files rewritten.
size_t RunLineSort(const std::vector<CheckedPath>& rows, const SortOptions& options,
                   BatchHost& host, FileRewriter& rewriter);

}  // namespace strbatch

#endif  // STRBATCH_SORTTOOL_LINE_SORT_H_
