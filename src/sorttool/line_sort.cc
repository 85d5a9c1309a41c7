#include "sorttool/line_sort.h"

#include <map>

#include "config/language.h"
#include "lists/file_identity.h"
#include "sorttool/sort_tables.h"

namespace strbatch {
namespace {

// The tables of one run in each code page the files need, carried from
// UTF-8 once per code page.
class RunTables {
 public:
  RunTables(const SortTables& loaded, EncodingSetting setting)
      : loaded_(loaded), setting_(setting) {}

  const SortTables& For(const CodePage& codePage) {
    if (setting_ == EncodingSetting::Gbk || codePage.IsUtf8()) return loaded_;
    auto carried = carried_.find(codePage.Number());
    if (carried == carried_.end()) {
      carried = carried_.emplace(codePage.Number(), CarrySortTables(loaded_, codePage)).first;
    }
    return carried->second;
  }

 private:
  const SortTables& loaded_;
  EncodingSetting setting_;
  std::map<int, SortTables> carried_;
};

SortFileResult SortFileWith(const std::string& path, const SortOptions& options,
                            RunTables& tables, Message* error, FileRewriter& rewriter) {
  std::string content;
  if (!ReadWholeFile(path, &content, error)) return SortFileResult::kFailed;
  std::string sorted;
  if (options.encoding == EncodingSetting::Gbk) {
    if (!SortText(content, options, tables.For(CodePage::Process()), &sorted)) {
      return SortFileResult::kNothingToSort;
    }
  } else {
    SortFileText file;
    if (!OpenSortFileText(std::move(content), options.encoding, &file, error)) {
      return SortFileResult::kFailed;
    }
    const CodePage& codePage = WorkCodePage(file.encoding);
    std::string text;
    if (!SortText(file.text, options, tables.For(codePage), &text, codePage)) {
      return SortFileResult::kNothingToSort;
    }
    if (!EncodeSortFileText(file, text, &sorted, error)) return SortFileResult::kFailed;
  }
  if (!RewriteFile(rewriter, path, sorted, error)) return SortFileResult::kFailed;
  return SortFileResult::kSorted;
}

}  // namespace

bool SortText(std::string_view content, const SortOptions& options, const SortTables& tables,
              std::string* sorted, const CodePage& codePage) {
  std::vector<std::string> lines = SplitSortLines(content);
  if (lines.empty()) return false;
  const std::string_view lineEnd = FirstLineEnd(content);
  const SortKeyBuilder builder(options.KeyOptions(), tables, codePage);
  std::vector<LineEntry> entries;
  entries.reserve(lines.size());
  size_t total = 0;
  for (std::string& line : lines) {
    total += line.size() + lineEnd.size();
    std::string key = builder.BuildKey(line);
    entries.push_back({std::move(line), std::move(key)});
  }
  SortLineEntries(entries);

  // A duplicate is a text equal to the one written just before it, so in
  // reverse order the neighbour that counts is the next entry of the array.
  sorted->clear();
  sorted->reserve(total);
  const size_t n = entries.size();
  for (size_t k = 0; k < n; ++k) {
    const size_t at = options.reverseOutput ? n - 1 - k : k;
    if (options.filterDuplicates && k > 0) {
      const size_t previous = options.reverseOutput ? at + 1 : at - 1;
      if (entries[at].text == entries[previous].text) continue;
    }
    sorted->append(entries[at].text);
    sorted->append(lineEnd);
  }
  return true;
}

SortFileResult SortFile(const std::string& path, const SortOptions& options,
                        const SortTables& tables, Message* error, FileRewriter& rewriter) {
  RunTables runTables(tables, options.encoding);
  return SortFileWith(path, options, runTables, error, rewriter);
}

size_t RunLineSort(const std::vector<CheckedPath>& rows, const SortOptions& options,
                   BatchHost& host, FileRewriter& rewriter) {
  std::vector<Message> problems;
  const SortTables tables = LoadSortTables(options.equalValueTablePath, options.noSortTablePath,
                                          options.encoding, &problems);
  RunTables runTables(tables, options.encoding);
  // An unreadable table sorts as an empty one; the user still hears of it.
  for (const Message& problem : problems) {
    host.Warn("", Message(MessageId::kSortTableUnreadable).Because(problem));
  }

  host.ShowProgress();
  size_t sortedFiles = 0;
  // A file named again is sorted once.
  FileOnce once(SameFileRule::kContents);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].checked || !once.First(rows[i].path)) continue;
    if (host.CheckCancelled()) break;
    host.SetMessage(rows[i].path);
    host.SetPosition(static_cast<int>(100 * i / rows.size()));
    Message error;
    switch (SortFileWith(rows[i].path, options, runTables, &error, rewriter)) {
      case SortFileResult::kSorted:
        ++sortedFiles;
        break;
      case SortFileResult::kNothingToSort:
        break;
      case SortFileResult::kFailed:
        host.Warn(rows[i].path, error);
        break;
    }
  }
  if (!once.Folded().empty()) {
    host.Notice("", Message(MessageId::kNamesSkipped, {once.FoldedNames()}));
  }
  host.HideProgress();
  return sortedFiles;
}

}  // namespace strbatch
