#include "batch/replace_worker.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "batch/replace_template.h"
#include "batch/string_syntax.h"
#include "pattern/pattern.h"

namespace strbatch {
namespace {

// Begins the definition in the sink, if any; gives the sink when it may
// refuse matches, so that a search asks it only then.
const OccurrenceSink* BeginInSink(const WorkerContext& context, std::string_view text) {
  if (context.sink == nullptr) return nullptr;
  context.sink->BeginDefinition(text);
  return context.sink->Restricts() ? context.sink : nullptr;
}

// The plain search over one text, case-sensitive or folded once, for the
// occurrences judge admits (all of them without a judge).
class PlainSearch {
 public:
  PlainSearch(std::string_view text, std::string_view find, const WorkerContext& context,
              const OccurrenceSink* judge)
      : text_(text),
        find_(find),
        codePage_(*context.codePage),
        rule_(context.codePage->IsUtf8() ? CharRule::Utf8 : CharRule::DoubleByte),
        judge_(judge) {
    if (!context.caseSensitive) noCase_.emplace(text, find, rule_);
  }
  size_t Find(size_t from) const {
    const size_t at = FindAny(from);
    return judge_ == nullptr || at == kNotFound ? at : FindAdmitted(at);
  }

 private:
  // Kept out of Find, so that the search without a judge stays as small.
  [[gnu::noinline]] size_t FindAdmitted(size_t at) const {
    while (at != kNotFound && !judge_->Admits(at, find_.size())) {
      const size_t from = codePage_.NextChar(text_, at);
      if (from >= text_.size()) return kNotFound;
      at = FindAny(from);
    }
    return at;
  }

  size_t FindAny(size_t from) const {
    return noCase_ ? noCase_->Find(from) : FindCaseSensitive(text_, find_, from, rule_);
  }

  std::string_view text_;
  std::string_view find_;
  const CodePage& codePage_;
  CharRule rule_;
  const OccurrenceSink* judge_;
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
  bool begun = false;
  const OccurrenceSink* judge = nullptr;
  if (write && replaceLength > findLength) {
    const std::string_view text(bytes.data(), end);
    judge = BeginInSink(context, text);
    begun = true;
    PlainSearch search(text, find, context, judge);
    std::vector<size_t> occurrences;
    bool listed = true;
    for (size_t at = search.Find(0); at != kNotFound; at = search.Find(at + findLength)) {
      if (occurrences.size() == context.maxListedOccurrences) {
        listed = false;
        break;
      }
      occurrences.push_back(at);
      if (at + findLength >= end) break;
    }
    if (listed) {
      if (occurrences.empty()) return 0;
      if (context.sink) {
        for (size_t at : occurrences) context.sink->Occurrence(at, findLength, replace);
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
        std::copy_n(replace.data(), replaceLength, base + targetEnd - replaceLength);
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
  // Moved, the text reads as it did: offsets in it are the same.
  if (!begun) judge = BeginInSink(context, text);
  PlainSearch search(text, find, context, judge);
  int64_t count = 0;
  size_t cursor = 0;   // in text
  size_t output = 0;   // in bytes
  for (;;) {
    size_t at = search.Find(cursor);
    if (at == kNotFound) break;
    count++;
    // Before the rewrite below changes the text behind the cursor.
    if (context.sink) context.sink->Occurrence(at, findLength, replace);
    if (write) {
      std::memmove(base + output, text.data() + cursor, at - cursor);
      output += at - cursor;
      std::copy_n(replace.data(), replaceLength, base + output);
      output += replaceLength;
    }
    cursor = at + findLength;
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

  // Every occurrence is found before anything is handed on: a search that
  // gives up part of the way must leave the text, the match list, the
  // report and the document as they were.
  struct Occurrence {
    size_t start;
    size_t end;
    std::string replacement;
  };
  std::vector<Occurrence> occurrences;
  PatternText subject(pattern, text);
  CPatternMatch match(256);
  std::string output;
  int64_t count = 0;
  // The sink hears of the definition before the search asks it about
  // matches; a search that gives up hands it no occurrence.
  const OccurrenceSink* judge = BeginInSink(context, text);
  size_t cursor = 0;  // where the search goes on
  size_t copied = 0;  // the text before it is in output (or replaced there)
  while (cursor < end) {
    size_t matchEnd = 0;
    if (!pattern.Match(subject, cursor, match, &matchEnd)) {
      if (match.LimitReached()) {
        result.gaveUp = true;
        result.reachedOffset = match.LimitOffset() != CPatternMatch::kUnset ? match.LimitOffset()
                                                                            : cursor;
        return result;
      }
      break;
    }
    const size_t start = match.Start();
    if (judge != nullptr && !judge->Admits(start, matchEnd - start)) {
      cursor = context.codePage->NextChar(text.data(), start, end);
      continue;
    }
    count++;
    std::string replacement =
        ExpandReplaceTemplate(pieces, kinds, match, text, context.currentFileNumber);
    if (write) {
      output.append(text.data() + copied, start - copied);
      output += replacement;
    }
    if (context.sink) occurrences.push_back({start, matchEnd, std::move(replacement)});
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
    copied = cursor;
  }
  if (context.sink) {
    for (const Occurrence& occurrence : occurrences) {
      context.sink->Occurrence(occurrence.start, occurrence.end - occurrence.start,
                               occurrence.replacement);
    }
  }
  result.count = count;
  if (!write || count == 0) return result;
  const size_t searched = output.size() + (end - copied);
  output.append(bytes, copied, std::string::npos);
  bytes.swap(output);
  work.SetSearchedLength(searched);
  work.changed = true;
  return result;
}

}  // namespace strbatch
