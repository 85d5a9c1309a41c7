#include "sorttool/sort_tables.h"

#include "base/safe_file.h"

namespace strbatch {
namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsTokenSeparator(char c) { return c == ' ' || c == '\t'; }

bool IsUtf16(FileEncoding encoding) {
  return encoding == FileEncoding::Utf16LE || encoding == FileEncoding::Utf16BE;
}

// Reads a table file; under a setting other than "gbk" its text is turned
// into UTF-8 from the file's own encoding.
void LoadTable(const std::string& path, EncodingSetting setting,
               void (*parse)(std::string_view, SortTables*), SortTables* tables,
               std::vector<Message>* problems) {
  if (path.empty()) return;
  std::string content;
  Message error;
  if (!ReadWholeFile(path, &content, &error)) {
    problems->push_back(error);
    return;
  }
  if (setting != EncodingSetting::Gbk) {
    SortFileText file;
    if (!OpenSortFileText(std::move(content), setting, &file, &error)) {
      problems->push_back(Message(MessageId::kSortTableFile, {path}).Because(error));
      return;
    }
    const CodePage& codePage = WorkCodePage(file.encoding);
    content.clear();
    if (codePage.IsUtf8()) {
      content = std::move(file.text);
    } else {
      codePage.ToUtf8(file.text, &content);
    }
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
                          std::vector<Message>* problems) {
  return LoadSortTables(equalValuePath, noSortPath, EncodingSetting::Gbk, problems);
}

SortTables LoadSortTables(const std::string& equalValuePath, const std::string& noSortPath,
                          EncodingSetting setting, std::vector<Message>* problems) {
  SortTables tables;
  LoadTable(equalValuePath, setting, ParseEqualValueTable, &tables, problems);
  LoadTable(noSortPath, setting, ParseNoSortTable, &tables, problems);
  return tables;
}

SortTables CarrySortTables(const SortTables& utf8Tables, const CodePage& codePage) {
  if (codePage.IsUtf8()) return utf8Tables;
  SortTables carried;
  std::string key, value;
  for (const auto& [from, to] : utf8Tables.equalValues) {
    if (codePage.FromUtf8(from, &key) && codePage.FromUtf8(to, &value)) {
      carried.equalValues[key] = value;
    }
  }
  for (const std::string& entry : utf8Tables.noSort) {
    if (codePage.FromUtf8(entry, &key)) carried.noSort.insert(key);
  }
  return carried;
}

bool OpenSortFileText(std::string bytes, EncodingSetting setting, SortFileText* file,
                      Message* error) {
  const DetectedEncoding detected = DetectFileEncoding(bytes, setting);
  file->encoding = detected.encoding;
  file->mark = bytes.substr(0, detected.bomLength);
  bytes.erase(0, detected.bomLength);
  if (IsUtf16(detected.encoding)) {
    if (!Utf16ToUtf8(bytes, detected.encoding == FileEncoding::Utf16BE, &file->text)) {
      *error = Message(MessageId::kNotValidUtf16);
      return false;
    }
  } else {
    file->text.swap(bytes);
  }
  return true;
}

bool EncodeSortFileText(const SortFileText& file, const std::string& text, std::string* bytes,
                        Message* error) {
  *bytes = file.mark;
  if (!IsUtf16(file.encoding)) {
    *bytes += text;
    return true;
  }
  std::string encoded;
  if (!Utf8ToUtf16(text, file.encoding == FileEncoding::Utf16BE, &encoded)) {
    *error = Message(MessageId::kTextNotWritableAs, {"UTF-16"});
    return false;
  }
  *bytes += encoded;
  return true;
}

}  // namespace strbatch
