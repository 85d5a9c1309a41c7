// Searches that are hard for backtracking engines: nested repeats that a
// plain backtracker takes exponential time over, and repeats spanning a whole
// single-line text of 10 MB (and, with STRBATCH_BENCH_HUGE=1, 200 MB) of
// ASCII or GBK Chinese. Each engine runs each row in a child process of its
// own, so that a crash, an exception or a run past the time limit is
// reported as such instead of ending the benchmark; a cell shows the best
// time of a few runs, the peak memory the child used beyond the text, and
// whether the answer was right. PCRE2 (without and with JIT) reports its own
// match-limit errors, which are shown as errors, not as "no match".
//
// Measured on the development machine (2 cores, RelWithDebInfo; best of 3,
// of 1 for 200 MB; "limit": PCRE2's own match-limit error):
//
//   row                   StrBatch   PCRE2     PCRE2-JIT  std::regex
//   (a|a)*c, 25 a         3.9 ms     limit     limit      4.1 s
//   (x+x+)+y, 28 x        4.8 ms     limit     limit      10.6 s
//   (a*)*b, 28 a          3.8 ms     limit     limit      > 20 s
//   (a|aa)*c, 40 a        3.9 ms     limit     limit      > 20 s
//   <b>.*</b>    10 MB    1.2 / 2.8  12 / 12   7.7 / 8.0  crashed
//   <b>.*?</b>   10 MB    1.5 / 3.4  limit     limit      crashed
//   <b>[^<]*</b> 10 MB    1.4 / 3.0  6.0 / 5.8 4.4 / 4.2  crashed
//   <b>.*</b>    200 MB   36 / 74    247 / 249 165 / 163  crashed
//   <b>.*?</b>   200 MB   53 / 101   limit     limit      crashed
//   <b>[^<]*</b> 200 MB   70 / 91    139 / 140 97 / 93    crashed
//   (spans: ms over ASCII / over GBK Chinese)
//
// StrBatch gives every row the right answer, faster than PCRE2 without JIT
// and, on these rows, than PCRE2 with JIT, and needs no memory beyond the
// text (the children's peak grew by less than 1 MiB). The exponential rows
// take a few milliseconds because the memo of failed states starts only
// after 2^20 steps. A 200 MB span costs about one byte scan of the text
// (PatternText looks for a NUL byte) plus the match.
//
// Our language refuses "(a*)*" (a repeat of what can match nothing), so the
// engine's row reads "(a*a)*b", which backtracks the same way.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "pattern/pattern.h"

namespace strbatch {
namespace {

constexpr size_t kNoMatch = static_cast<size_t>(-1);
constexpr int kSecondsPerRun = 20;

struct Row {
  std::string name;
  std::string engine;  // our expression
  std::string other;   // the same for PCRE2 and std::regex
  std::function<std::string()> text;
  size_t start, end;   // the right answer (kNoMatch for none)
  int runs;
};

// What one engine run reports back to the parent.
struct Outcome {
  enum Kind { kFound, kNone, kLimit, kThrew } kind = kNone;
  size_t start = 0, end = 0;
  double milliseconds = 0;
  long extraKib = 0;  // peak resident memory beyond what the child started with
  char message[120] = "";
};

// A line of /proc/self/status in KiB ("VmRSS": resident memory now,
// "VmHWM": its peak), or 0.
long StatusKib(const char* name) {
  long value = 0;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    const size_t length = std::strlen(name);
    while (std::fgets(line, sizeof line, status) != nullptr) {
      if (std::strncmp(line, name, length) == 0 && line[length] == ':') value = std::atol(line + length + 1);
    }
    std::fclose(status);
  }
  return value;
}

std::string Gbk(const char* utf8) {
  std::string bytes;
  CodePage(CodePage::kGbk).FromUtf8(utf8, &bytes);
  return bytes;
}

std::string Repeat(const std::string& unit, size_t bytes) {
  std::string out;
  out.reserve(bytes + unit.size());
  while (out.size() < bytes) out += unit;
  return out;
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

Outcome RunEngine(const Row& row, const std::string& text) {
  Outcome outcome;
  CPattern pattern;
  if (pattern.Compile(row.engine, true) != PATTERN_OK) {
    outcome.kind = Outcome::kThrew;
    std::snprintf(outcome.message, sizeof outcome.message, "compile error %d", pattern.LastError());
    return outcome;
  }
  const auto start = std::chrono::steady_clock::now();
  PatternText prepared(pattern, text);  // as the batch does for each file
  CPatternMatch match;
  const bool found = pattern.Match(prepared, 0, match);
  outcome.milliseconds = Since(start);
  if (found) {
    outcome.kind = Outcome::kFound;
    outcome.start = match.Start();
    outcome.end = match.End();
  } else if (match.LimitReached()) {
    outcome.kind = Outcome::kLimit;
    std::snprintf(outcome.message, sizeof outcome.message, "gave up at %zu", match.LimitOffset());
  }
  return outcome;
}

Outcome RunPcre2(const Row& row, const std::string& text, bool jit) {
  Outcome outcome;
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(row.other.data()), row.other.size(),
                                   0, &errorCode, &errorOffset, nullptr);
  if (code == nullptr) {
    outcome.kind = Outcome::kThrew;
    std::snprintf(outcome.message, sizeof outcome.message, "does not compile");
    return outcome;
  }
  if (jit) pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  const auto start = std::chrono::steady_clock::now();
  const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0,
                             data, nullptr);
  outcome.milliseconds = Since(start);
  if (rc >= 0) {
    outcome.kind = Outcome::kFound;
    outcome.start = pcre2_get_ovector_pointer(data)[0];
    outcome.end = pcre2_get_ovector_pointer(data)[1];
  } else if (rc != PCRE2_ERROR_NOMATCH) {
    outcome.kind = Outcome::kLimit;
    PCRE2_UCHAR message[100];
    pcre2_get_error_message(rc, message, sizeof message);
    std::snprintf(outcome.message, sizeof outcome.message, "%s", reinterpret_cast<char*>(message));
  }
  pcre2_match_data_free(data);
  pcre2_code_free(code);
  return outcome;
}

Outcome RunStdRegex(const Row& row, const std::string& text) {
  Outcome outcome;
  try {
    const std::regex expression(row.other);
    std::smatch found;
    const auto start = std::chrono::steady_clock::now();
    const bool matched = std::regex_search(text, found, expression);
    outcome.milliseconds = Since(start);
    if (matched) {
      outcome.kind = Outcome::kFound;
      outcome.start = static_cast<size_t>(found.position(0));
      outcome.end = outcome.start + static_cast<size_t>(found.length(0));
    }
  } catch (const std::exception& error) {
    outcome.kind = Outcome::kThrew;
    std::snprintf(outcome.message, sizeof outcome.message, "threw: %s", error.what());
  }
  return outcome;
}

// Runs one engine (run) in a child process, row.runs times; the cell text.
// The child starts with the parent's pages, the text among them, so its
// memory is counted from what it holds at the start.
std::string Cell(const Row& row, const std::function<Outcome()>& run) {
  double best = -1;
  long extraKib = 0;
  Outcome last;
  for (int i = 0; i < row.runs; ++i) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
      close(pipeEnds[0]);
      alarm(kSecondsPerRun);
      const long before = StatusKib("VmRSS");
      Outcome outcome = run();
      outcome.extraKib = StatusKib("VmHWM") - before;
      if (write(pipeEnds[1], &outcome, sizeof outcome) != sizeof outcome) _exit(2);
      _exit(0);
    }
    close(pipeEnds[1]);
    Outcome outcome;
    const bool reported = read(pipeEnds[0], &outcome, sizeof outcome) == sizeof outcome;
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
      if (WTERMSIG(status) == SIGALRM) return "timed out (> " + std::to_string(kSecondsPerRun) + " s)";
      return std::string("crashed (") + strsignal(WTERMSIG(status)) + ")";
    }
    if (!reported) return "no report";
    extraKib = std::max(extraKib, outcome.extraKib);
    last = outcome;
    if (outcome.kind == Outcome::kThrew || outcome.kind == Outcome::kLimit) break;
    if (best < 0 || outcome.milliseconds < best) best = outcome.milliseconds;
  }
  char buffer[200];
  switch (last.kind) {
    case Outcome::kThrew:
      return last.message;
    case Outcome::kLimit:
      std::snprintf(buffer, sizeof buffer, "limit: %s (%.0f ms)", last.message, last.milliseconds);
      return buffer;
    case Outcome::kFound:
    case Outcome::kNone: {
      const bool right = last.kind == Outcome::kFound
                             ? last.start == row.start && last.end == row.end
                             : row.start == kNoMatch;
      std::snprintf(buffer, sizeof buffer, "%.1f ms +%ld MiB%s", best, std::max(0L, extraKib) / 1024,
                    right ? "" : " WRONG ANSWER");
      return buffer;
    }
  }
  return "";
}

std::vector<Row> Rows(bool huge) {
  std::vector<Row> rows;
  const std::string zhong = Gbk("中");
  // The exponential rows: the answer lies after a run that defeats a plain
  // backtracker at every start.
  auto tailAfter = [](const std::string& run, const std::string& tail) {
    return [run, tail] { return run + tail; };
  };
  rows.push_back({"(a|a)*c, 25 a", "(a|a)*c", "(a|a)*c", tailAfter(std::string(25, 'a'), " c"), 26, 27, 3});
  rows.push_back({"(x+x+)+y, 28 x", "(x+x+)+y", "(x+x+)+y", tailAfter(std::string(28, 'x'), " xxy"),
                  29, 32, 3});
  rows.push_back({"(a*)*b, 28 a", "(a*a)*b", "(a*)*b", tailAfter(std::string(28, 'a'), " ab"), 29, 31, 3});
  rows.push_back({"(a|aa)*c, 40 a", "(a|aa)*c", "(a|aa)*c", tailAfter(std::string(40, 'a'), " c"), 41, 42, 3});
  // Spans over one line.
  struct Size {
    const char* name;
    size_t bytes;
    int runs;
  };
  std::vector<Size> sizes = {{"10 MB", size_t{10} << 20, 3}};
  if (huge) sizes.push_back({"200 MB", size_t{200} << 20, 1});
  struct Span {
    const char* expression;
    const char* close;  // what the text ends with
    size_t tailLeft;    // bytes after the match
  };
  const Span spans[] = {{"<b>.*</b>", "</b>", 0}, {"<b>.*?</b>", "</b></b>", 4}, {"<b>[^<]*</b>", "</b>", 0}};
  for (const Size& size : sizes) {
    for (const char* script : {"ASCII", "GBK"}) {
      const std::string unit = std::string(script) == "ASCII" ? "x" : zhong;
      for (const Span& span : spans) {
        const size_t bytes = size.bytes;
        const std::string close = span.close;
        const size_t length = 3 + Repeat(unit, bytes).size() + close.size();
        rows.push_back({std::string(span.expression) + " " + size.name + " " + script, span.expression,
                        span.expression, [unit, bytes, close] { return "<b>" + Repeat(unit, bytes) + close; },
                        0, length - span.tailLeft, size.runs});
      }
    }
  }
  return rows;
}

}  // namespace
}  // namespace strbatch

// Usage: pattern_hard_bench [TEXT]: only the rows whose name contains TEXT.
int main(int argc, char** argv) {
  using namespace strbatch;
  const std::string only = argc > 1 ? argv[1] : "";
  const char* huge = std::getenv("STRBATCH_BENCH_HUGE");
  const std::vector<Row> rows = Rows(huge != nullptr && std::string(huge) == "1");
  std::printf("%-26s %-22s %-22s %-22s %s\n", "row", "StrBatch", "PCRE2", "PCRE2-JIT", "std::regex");
  for (const Row& row : rows) {
    if (row.name.find(only) == std::string::npos) continue;
    const std::string text = row.text();
    std::printf("%-26s", row.name.c_str());
    std::fflush(stdout);
    std::printf(" %-22s", Cell(row, [&] { return RunEngine(row, text); }).c_str());
    std::fflush(stdout);
    std::printf(" %-22s", Cell(row, [&] { return RunPcre2(row, text, false); }).c_str());
    std::fflush(stdout);
    std::printf(" %-22s", Cell(row, [&] { return RunPcre2(row, text, true); }).c_str());
    std::fflush(stdout);
    std::printf(" %s\n", Cell(row, [&] { return RunStdRegex(row, text); }).c_str());
  }
  if (huge == nullptr) std::printf("\n(200 MB rows: set STRBATCH_BENCH_HUGE=1)\n");
  return 0;
}
