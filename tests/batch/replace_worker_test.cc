// The plain worker rewrites the text inside its own buffer: shorter
// replacements behind the cursor, longer ones from the back (or, past a
// bound on listed occurrences, by moving the whole text once). Every row is
// run through each way the worker can take and checked against a naive
// replacement written from the rules.
#include "batch/replace_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "batch/string_syntax.h"

namespace strbatch {
namespace {

// Characters of the process code page: a byte of 0x80 or above and the
// byte after it (when that is not the terminator) are one character.
size_t NextCharacter(const std::string& text, size_t at) {
  const unsigned char b = static_cast<unsigned char>(text[at]);
  return b >= 0x80 && at + 1 < text.size() && text[at + 1] != '\0' ? at + 2 : at + 1;
}

// Whether find occurs at position at of text (a character boundary), ASCII
// letters of one-byte characters compared without case when asked. Only
// the start must be a boundary.
bool OccursAt(const std::string& text, size_t at, const std::string& find, bool caseSensitive) {
  if (at + find.size() > text.size()) return false;
  for (size_t i = 0; i < find.size();) {
    const size_t next = NextCharacter(find, i);
    for (size_t k = i; k < next; k++) {
      char a = text[at + k], b = find[k];
      if (!caseSensitive && next - i == 1) {
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
      }
      if (a != b) return false;
    }
    i = next;
  }
  return true;
}

// The replacement as the rules give it, one character at a time.
std::string NaiveReplace(const std::string& text, const std::string& findRaw,
                         const std::string& replaceRaw, bool caseSensitive, int64_t* count) {
  const std::string find = UnescapePlain(findRaw);
  const std::string replace = UnescapePlain(replaceRaw);
  const size_t end = std::min(text.find('\0'), text.size());
  std::string out;
  *count = 0;
  size_t at = 0;
  while (at < end) {
    if (!find.empty() && at + find.size() <= end &&
        OccursAt(text.substr(0, end), at, find, caseSensitive)) {
      out += replace;
      at += find.size();
      (*count)++;
      continue;
    }
    const size_t next = NextCharacter(text, at);
    out.append(text, at, next - at);
    at = next;
  }
  return out + text.substr(end);
}

struct Row {
  const char* group;
  std::string text;
  const char* find;
  const char* replace;
  bool caseSensitive;
  std::string expected;
};

const Row kRows[] = {
    {"shrink", "aaaa", "aa", "b", true, "bb"},
    {"shrink", "cat and cat", "cat", "", true, " and "},
    {"shrink", "ABC abc", "abc", "x", false, "x x"},
    {"equal", "abcabc", "b", "x", true, "axcaxc"},
    {"equal", "aaa", "aa", "bb", true, "bba"},
    {"grow", "abab", "a", "xyz", true, "xyzbxyzb"},
    {"grow", "xa", "a", "\\r\\n", true, "x\r\n"},
    {"grow", "aaaaa", "a", "bb", true, "bbbbbbbbbb"},
    {"grow", "no hit", "q", "long", true, "no hit"},
    {"NUL tail", std::string("a\0a", 3), "a", "bb", true, std::string("bb\0a", 4)},
    {"NUL tail", std::string("ab\0ab\xFF", 6), "b", "", true, std::string("a\0ab\xFF", 5)},
    {"NUL tail", std::string("\0a", 2), "a", "b", true, std::string("\0a", 2)},
    // 中文 is D6 D0 CE C4: D0 CE straddles the two characters.
    {"double-byte", "\xD6\xD0\xCE\xC4", "\xD0\xCE", "x", true, "\xD6\xD0\xCE\xC4"},
    {"double-byte", "\xD6\xD0\xCE\xC4", "\xCE\xC4", "\xD6\xD0", true, "\xD6\xD0\xD6\xD0"},
    // The trail byte 0x41 is "A" but belongs to its character.
    {"double-byte", "\x81\x41" "A", "a", "b", false, "\x81\x41" "b"},
    // A lone lead byte at the end of a find string is a character of its
    // own; the occurrence starts on a boundary and may end inside one.
    {"double-byte", "a\x80" "b", "\x80", "--", true, "a--b"},
};

// Runs the worker on text; maxListed bounds the occurrences a growing
// replacement lists before it moves the whole text instead.
std::string RunWorker(const Row& row, size_t maxListed, int64_t* count) {
  WorkText work;
  work.bytes = row.text;
  WorkerContext context;
  context.caseSensitive = row.caseSensitive;
  context.changesExpected = true;
  context.maxListedOccurrences = maxListed;
  *count = ReplaceInTextPlain(work, row.find, row.replace, context);
  EXPECT_EQ(work.changed, *count > 0);
  return work.bytes;
}

TEST(ReplaceWorkerTest, PlainRewritesMatchTheNaiveReplacement) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.group) + ": " + row.find + " -> " + row.replace);
    int64_t expectedCount = 0;
    const std::string naive =
        NaiveReplace(row.text, row.find, row.replace, row.caseSensitive, &expectedCount);
    EXPECT_EQ(naive, row.expected);
    // Listing every occurrence, listing none (the whole text moves once),
    // and running out of the list part of the way.
    for (size_t maxListed : {size_t{4} << 20, size_t{0}, size_t{1}}) {
      int64_t count = 0;
      EXPECT_EQ(RunWorker(row, maxListed, &count), row.expected) << "list bound " << maxListed;
      EXPECT_EQ(count, expectedCount);
    }
  }
}

// A find leaves the text alone and hands every occurrence on in order.
TEST(ReplaceWorkerTest, OccurrencesReachTheSinkInOrder) {
  struct Recorder : OccurrenceSink {
    std::string seen;
    void BeginDefinition(std::string_view text) override { seen += "[" + std::string(text) + "]"; }
    void Occurrence(size_t start, size_t length, std::string_view replacement) override {
      seen += std::to_string(start) + ":" + std::to_string(length) + "=" +
              std::string(replacement) + " ";
    }
  } recorder;
  WorkText work;
  work.bytes = std::string("ab ab\0ab", 8);
  WorkerContext context;
  context.sink = &recorder;
  EXPECT_EQ(ReplaceInTextPlain(work, "ab", "x", context), 2);
  EXPECT_FALSE(work.changed);
  EXPECT_EQ(ReplaceInTextAdvanced(work, "{a}b", "<{1}>", context).count, 2);
  EXPECT_EQ(recorder.seen, "[ab ab]0:2=x 3:2=x [ab ab]0:2=<a> 3:2=<a> ");
}

// A sink over a text whose stand-ins (characters the code page holds only
// as "?") are at the given offsets: it admits no occurrence that covers
// one, and may be asked only once the definition has begun.
struct StandInSink : OccurrenceSink {
  std::vector<size_t> standIns;
  bool begun = false;
  std::string seen;
  void BeginDefinition(std::string_view) override { begun = true; }
  bool Restricts() const override { return true; }
  bool Admits(size_t start, size_t length) const override {
    EXPECT_TRUE(begun) << "asked before the definition began";
    for (size_t at : standIns) {
      if (at >= start && at < start + length) return false;
    }
    return true;
  }
  void Occurrence(size_t start, size_t length, std::string_view) override {
    seen += std::to_string(start) + ":" + std::to_string(length) + " ";
  }
};

// A refused match is not counted, not replaced and not handed on, and the
// search goes on from the character after its start, not after its end.
TEST(ReplaceWorkerTest, MatchesTheSinkRefusesAreSkipped) {
  const struct {
    const char* group;
    bool advanced;
    bool caseSensitive;
    std::string text;
    const char* find;
    const char* replace;
    std::vector<size_t> standIns;
    std::string expected;
    const char* occurrences;
  } kCases[] = {
      {"plain", false, true, "a?b?", "?", "!", {1}, "a?b!", "3:1 "},
      {"plain", false, true, "aaa", "aa", "X", {0}, "aX", "1:2 "},
      {"plain, longer replacement", false, true, "aaa", "aa", "XYZ", {0}, "aXYZ", "1:2 "},
      {"plain, longer replacement", false, true, "?x?x", "?x", "<>", {0}, "?x<>", "2:2 "},
      {"plain, no case", false, false, "A?a?", "a?", "-", {1}, "A?-", "2:2 "},
      {"plain, all refused", false, true, "??", "?", "!", {0, 1}, "??", ""},
      // The step after a refused match is one character: a double-byte one
      // is not split.
      {"plain, double-byte", false, true, "?\xD6\xD0?", "?", "!", {0}, "?\xD6\xD0!", "3:1 "},
      {"advanced", true, true, "cat cat", "cat", "dog", {1}, "cat dog", "4:3 "},
      {"advanced", true, true, "aaa", "aa", "X", {0}, "aX", "1:2 "},
      // An empty match covers nothing; the refused "x" is kept.
      {"advanced, empty match", true, true, "axb", "x*", "-", {1}, "-ax-b", "0:0 2:0 "},
  };
  for (const auto& row : kCases) {
    SCOPED_TRACE(std::string(row.group) + ": " + row.find + " in " + row.text);
    for (size_t maxListed : {size_t{4} << 20, size_t{0}, size_t{1}}) {
      for (bool write : {true, false}) {
        StandInSink sink;
        sink.standIns = row.standIns;
        WorkText work;
        work.bytes = row.text;
        WorkerContext context;
        context.caseSensitive = row.caseSensitive;
        context.changesExpected = write;
        context.maxListedOccurrences = maxListed;
        context.sink = &sink;
        const int64_t count =
            row.advanced ? ReplaceInTextAdvanced(work, row.find, row.replace, context).count
                         : ReplaceInTextPlain(work, row.find, row.replace, context);
        EXPECT_EQ(work.bytes, write ? row.expected : row.text) << "list bound " << maxListed;
        EXPECT_EQ(sink.seen, row.occurrences);
        EXPECT_EQ(count, static_cast<int64_t>(std::count(sink.seen.begin(), sink.seen.end(), ' ')));
      }
    }
  }
}

}  // namespace
}  // namespace strbatch
