#include "batch/replace_worker.h"

#include <cstring>
#include <optional>
#include <vector>

#include "batch/replace_template.h"
#include "batch/string_syntax.h"
#include "office/office_bridge.h"
#include "pattern/pattern.h"

namespace strbatch {
namespace {

// A plain definition whose replacement is longer than its find string
// lists its occurrences first, so that the text can grow in place from the
// back. Beyond this many occurrences it counts them instead and moves the
// whole text once, so the list never costs more than a few tens of MiB.
constexpr size_t kMaxListedOccurrences = size_t{4} << 20;

void AppendMatchRecord(std::string* matchList, size_t offset, size_t length) {
  if (matchList == nullptr) return;
  if (!matchList->empty()) matchList->push_back(';');
  *matchList += std::to_string(offset);
  matchList->push_back(':');
  *matchList += std::to_string(length);
}

// The plain search over one text, case-sensitive or folded once.
class PlainSearch {
 public:
  PlainSearch(std::string_view text, std::string_view find, const WorkerContext& context)
      : text_(text),
        find_(find),
        rule_(context.codePage->IsUtf8() ? CharRule::Utf8 : CharRule::DoubleByte) {
    if (!context.caseSensitive) noCase_.emplace(text, find, rule_);
  }
  size_t Find(size_t from) const {
    return noCase_ ? noCase_->Find(from) : FindCaseSensitive(text_, find_, from, rule_);
  }

 private:
  std::string_view text_;
  std::string_view find_;
  CharRule rule_;
  std::optional<NoCaseSearcher> noCase_;
};

}  // namespace

size_t WorkText::SearchedLength() {
  if (cachedFor_ != bytes.size() ||
      (searchedLength_ < bytes.size() && bytes[searchedLength_] != '\0')) {
    const void* nul = std::memchr(bytes.data(), '\0', bytes.size());
    searchedLength_ =
        nul ? static_cast<size_t>(static_cast<const char*>(nul) - bytes.data()) : bytes.size();
    cachedFor_ = bytes.size();
  }
  return searchedLength_;
}

void WorkText::SetSearchedLength(size_t length) {
  searchedLength_ = length;
  cachedFor_ = bytes.size();
}

FindReport::~FindReport() { Close(); }

bool FindReport::Open(const std::string& path) {
  Close();
  failed_ = false;
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

void FindReport::WriteLine(std::string_view text) {
  if (file_ == nullptr) return;
  std::string carried;
  if (source_ != nullptr) {
    source_->ToUtf8(text, &carried);
    text = carried;
  }
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
      std::fwrite("\r\n", 1, 2, file_) != 2) {
    failed_ = true;
  }
}

bool FindReport::Close() {
  if (file_ == nullptr) return !failed_;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

int64_t ReplaceInTextPlain(WorkText& work, std::string_view findRaw, std::string_view replaceRaw,
                           const WorkerContext& context) {
  const std::string find = UnescapePlain(findRaw, context.codePage);
  const std::string replace = UnescapePlain(replaceRaw, context.codePage);
  std::string& bytes = work.bytes;
  if (find.empty() || bytes.empty() || bytes[0] == '\0') return 0;
  const size_t end = work.SearchedLength();
  const size_t oldSize = bytes.size();
  const size_t findLength = find.size();
  const size_t replaceLength = replace.size();
  const bool write = context.changesExpected;

  // The rewrite happens inside the buffer, so a file needs little more
  // memory than its own size. A replacement no longer than the find string
  // is written behind the cursor, never ahead of it, so the text still to be
  // searched is intact. A longer one grows the text from the back.
  size_t shift = 0;
  if (write && replaceLength > findLength) {
    const std::string_view text(bytes.data(), end);
    PlainSearch search(text, find, context);
    std::vector<size_t> occurrences;
    bool listed = true;
    for (size_t at = search.Find(0); at != kNotFound; at = search.Find(at + findLength)) {
      if (occurrences.size() == kMaxListedOccurrences) {
        listed = false;
        break;
      }
      occurrences.push_back(at);
      if (at + findLength >= end) break;
    }
    if (listed) {
      if (occurrences.empty()) return 0;
      if (context.office) {
        context.office->BeginOccurrences(text);
        for (size_t at : occurrences) {
          context.office->LocateOccurrence(static_cast<int64_t>(at),
                                           static_cast<int64_t>(findLength));
          context.office->EditOccurrence(replace);
        }
      }
      const size_t growth = occurrences.size() * (replaceLength - findLength);
      bytes.resize(oldSize + growth);
      char* base = bytes.data();
      size_t sourceEnd = oldSize;
      size_t targetEnd = oldSize + growth;
      for (size_t i = occurrences.size(); i-- > 0;) {
        const size_t tail = sourceEnd - (occurrences[i] + findLength);
        std::memmove(base + targetEnd - tail, base + occurrences[i] + findLength, tail);
        targetEnd -= tail;
        std::memcpy(base + targetEnd - replaceLength, replace.data(), replaceLength);
        targetEnd -= replaceLength;
        sourceEnd = occurrences[i];
      }
      work.SetSearchedLength(end + growth);
      work.changed = true;
      return static_cast<int64_t>(occurrences.size());
    }
    // Too many to list: count them all, move the text right by the whole
    // growth, then rewrite it forwards.
    size_t count = 0;
    for (size_t at = search.Find(0); at != kNotFound; at = search.Find(at + findLength)) {
      count++;
      if (at + findLength >= end) break;
    }
    shift = count * (replaceLength - findLength);
    bytes.resize(oldSize + shift);
    std::memmove(bytes.data() + shift, bytes.data(), oldSize);
  }

  char* base = bytes.data();
  const std::string_view text(base + shift, end);
  PlainSearch search(text, find, context);
  if (context.office) context.office->BeginOccurrences(text);
  int64_t count = 0;
  size_t cursor = 0;   // in text
  size_t output = 0;   // in bytes
  for (;;) {
    size_t at = search.Find(cursor);
    if (at == kNotFound) break;
    count++;
    if (context.office) {
      context.office->LocateOccurrence(static_cast<int64_t>(at),
                                       static_cast<int64_t>(findLength));
    }
    if (context.findMode) AppendMatchRecord(context.matchList, at, findLength);
    if (context.report && !replace.empty()) context.report->WriteLine(replace);
    if (write) {
      std::memmove(base + output, text.data() + cursor, at - cursor);
      output += at - cursor;
      std::memcpy(base + output, replace.data(), replaceLength);
      output += replaceLength;
    }
    cursor = at + findLength;
    if (write && context.office) context.office->EditOccurrence(replace);
    if (cursor >= end) break;
  }
  if (!write || count == 0) return count;
  // The rest, including the NUL and everything after it.
  size_t rest = oldSize - cursor;
  std::memmove(base + output, text.data() + cursor, rest);
  bytes.resize(output + rest);
  work.SetSearchedLength(output + (end - cursor));
  work.changed = true;
  return count;
}

AdvancedResult ReplaceInTextAdvanced(WorkText& work, std::string_view findRaw,
                                     std::string_view replaceRaw, const WorkerContext& context) {
  AdvancedResult result;
  std::vector<std::string> pieces;
  std::vector<uint32_t> kinds;
  ParseReplaceTemplate(replaceRaw, &pieces, &kinds, *context.codePage);
  CPattern pattern(*context.codePage);
  if (pattern.Compile(findRaw, context.caseSensitive) != PATTERN_OK) return result;
  if (context.searchSteps != 0) {
    pattern.SetSearchLimits(context.searchSteps, CPattern::kDefaultMaxStackEntries);
  }
  std::string& bytes = work.bytes;
  if (bytes.empty() || bytes[0] == '\0') return result;
  const size_t end = work.SearchedLength();
  const std::string_view text(bytes.data(), end);
  const bool write = context.changesExpected;

  // Every occurrence is found before anything is applied: a search that
  // gives up part of the way must leave the text, the match list, the
  // report and the document as they were.
  struct Occurrence {
    size_t start;
    size_t end;
    std::string replacement;
  };
  std::vector<Occurrence> officeOccurrences;
  std::string matchRecords;
  std::string reportText;           // the report lines, one after the other
  std::vector<size_t> reportEnds;   // where each line ends in reportText
  PatternText subject(pattern, text);
  CPatternMatch match(256);
  std::string output;
  int64_t count = 0;
  size_t cursor = 0;
  while (cursor < end) {
    size_t matchEnd = 0;
    if (!pattern.Match(subject, cursor, match, &matchEnd)) {
      if (match.LimitReached()) {
        result.gaveUp = true;
        result.reachedOffset = cursor;
        return result;
      }
      break;
    }
    const size_t start = match.Start();
    count++;
    if (context.findMode) AppendMatchRecord(&matchRecords, start, matchEnd - start);
    std::string replacement =
        ExpandReplaceTemplate(pieces, kinds, match, text, context.currentFileNumber);
    if (context.report && !replacement.empty()) {
      reportText += replacement;
      reportEnds.push_back(reportText.size());
    }
    if (write) {
      output.append(text.data() + cursor, start - cursor);
      output += replacement;
    }
    if (context.office) {
      officeOccurrences.push_back({start, matchEnd, std::move(replacement)});
    }
    if (matchEnd > start) {
      cursor = matchEnd;
    } else {
      // An empty match: its replacement goes in once at this position, and
      // the character here is kept and stepped over, so the loop always
      // moves on and no byte is lost.
      size_t next = context.codePage->NextChar(text.data(), start, end);
      if (write) output.append(text.data() + start, next - start);
      cursor = next;
    }
  }

  if (context.office) {
    context.office->BeginOccurrences(text);
    for (const Occurrence& occurrence : officeOccurrences) {
      context.office->LocateOccurrence(static_cast<int64_t>(occurrence.start),
                                       static_cast<int64_t>(occurrence.end - occurrence.start));
      if (write) context.office->EditOccurrence(occurrence.replacement);
    }
  }
  if (context.findMode && context.matchList != nullptr && !matchRecords.empty()) {
    if (!context.matchList->empty()) context.matchList->push_back(';');
    *context.matchList += matchRecords;
  }
  size_t lineStart = 0;
  for (size_t lineEnd : reportEnds) {
    context.report->WriteLine(std::string_view(reportText).substr(lineStart, lineEnd - lineStart));
    lineStart = lineEnd;
  }
  result.count = count;
  if (!write || count == 0) return result;
  const size_t searched = output.size() + (end - cursor);
  output.append(bytes, cursor, std::string::npos);
  bytes.swap(output);
  work.SetSearchedLength(searched);
  work.changed = true;
  return result;
}

int64_t ReplaceInFilePlain(const std::string& path, std::string_view find,
                           std::string_view replace, const WorkerContext& context,
                           std::string* error, FileRewriter& rewriter) {
  WorkText work;
  if (!ReadWholeFile(path, &work.bytes, error)) return 0;
  const int64_t count = ReplaceInTextPlain(work, find, replace, context);
  if (work.changed && !RewriteFile(rewriter, path, work.bytes, error)) return 0;
  return count;
}

int64_t ReplaceInFileAdvanced(const std::string& path, std::string_view find,
                              std::string_view replace, const WorkerContext& context,
                              std::string* error, FileRewriter& rewriter) {
  WorkText work;
  if (!ReadWholeFile(path, &work.bytes, error)) return 0;
  const AdvancedResult result = ReplaceInTextAdvanced(work, find, replace, context);
  if (result.gaveUp) {
    *error = "the search gave up at byte " + std::to_string(result.reachedOffset);
    return 0;
  }
  if (work.changed && !RewriteFile(rewriter, path, work.bytes, error)) return 0;
  return result.count;
}

}  // namespace strbatch
