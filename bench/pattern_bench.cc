// Throughput of the pattern engine against std::regex and PCRE2 (without
// and with JIT) on equivalent expressions over a generated GBK Chinese and
// English corpus. Each run finds every match from left to right, as the
// batch does, and counts them. After the usual table it prints, per
// expression, the engine's speed relative to the others in CPU time (above
// 1: the engine is faster). Searches that are hard for backtrackers are in
// pattern_hard_bench.cc.
//
// Measured on the development machine (2 cores, RelWithDebInfo), CPU time:
//
//   expression   engine    std::regex  PCRE2     PCRE2-JIT  engine/JIT speed
//   numbers      6.3 ms    40.6 ms     6.8 ms    2.2 ms     0.36x
//   ing_words    27.3 ms   63.5 ms     54.0 ms   6.7 ms     0.25x
//   T_or_the     2.3 ms    31.1 ms     8.2 ms    1.5 ms     0.67x
//   chinese      0.50 ms   28.2 ms     1.9 ms    0.37 ms    0.73x
//   nocase_word  2.5 ms    56.7 ms     4.8 ms    1.1 ms     0.44x
//
// The engine beats std::regex everywhere and PCRE2 without JIT everywhere.
// Of the literal-led rows, T_or_the and chinese stay within 2x of PCRE2 with
// JIT; nocase_word misses by about 12% (0.44x where 0.50x is the goal): a
// case-insensitive search first folds a copy of the whole text (about 1 ms
// of the 2.5 ms here, for every pass, as the batch does once per file),
// where PCRE2 compares caselessly in place.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "pattern/pattern.h"

namespace strbatch {
namespace {

struct Row {
  const char* name;
  std::string engine;  // our expression, GBK bytes
  std::string other;   // the same for std::regex and PCRE2
  bool caseSensitive;
  bool literalLed;     // where the goal is to stay within 2x of PCRE2 with JIT
};

std::string Gbk(const char* utf8) {
  std::string bytes;
  CodePage(CodePage::kGbk).FromUtf8(utf8, &bytes);
  return bytes;
}

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"numbers", "{[0-9]+}-{[0-9]+}", "([0-9]+)-([0-9]+)", true, false},
      {"ing_words", "\\w+ing", "[a-zA-Z]+ing", true, false},
      {"T_or_the", "T|the", "[Tt]he", true, true},
      {"chinese", Gbk("数据"), Gbk("数据"), true, true},
      {"nocase_word", "system", "system", false, true},
  };
  return rows;
}

// About 2 MB of lines mixing English words (some capitalised, some ending
// in "ing"), Chinese words, numbers and number pairs, with CRLF line ends.
const std::string& Corpus() {
  static const std::string corpus = [] {
    const char* english[] = {"the", "and", "data", "system", "file", "value", "testing",
                             "report", "table", "index", "The", "System", "string",
                             "processing", "of", "to", "in", "is", "that", "for", "with",
                             "bring", "SYSTEM", "thesis", "other", "other", "running", "word"};
    const char* chinese[] = {"数据", "系统", "文件", "测试", "报告", "表格", "索引", "中文",
                             "程序", "用户", "我们", "他们", "时间", "问题", "工作", "发展",
                             "的", "了", "是", "在", "和", "有", "，", "。"};
    std::vector<std::string> chineseGbk;
    for (const char* word : chinese) chineseGbk.push_back(Gbk(word));
    std::mt19937 random(2024);
    std::string text;
    while (text.size() < (2u << 20)) {
      const int words = 4 + static_cast<int>(random() % 15);
      for (int i = 0; i < words; ++i) {
        const unsigned pick = random() % 10;
        if (pick < 5) {
          text += english[random() % std::size(english)];
          text += ' ';
        } else if (pick < 9) {
          text += chineseGbk[random() % chineseGbk.size()];
        } else {
          text += std::to_string(random() % 1000);
          if (random() % 2) text += "-" + std::to_string(random() % 100);
          text += ' ';
        }
      }
      text += "\r\n";
    }
    return text;
  }();
  return corpus;
}

void Engine(benchmark::State& state, const Row& row) {
  CPattern pattern;
  if (pattern.Compile(row.engine, row.caseSensitive) != PATTERN_OK) {
    state.SkipWithError("does not compile");
    return;
  }
  const std::string& text = Corpus();
  CPatternMatch match(256);
  int64_t count = 0;
  for (auto _ : state) {
    PatternText prepared(pattern, text);  // folds the text when case is ignored
    count = 0;
    size_t from = 0, end = 0;
    while (from < text.size() && pattern.Match(prepared, from, match, &end)) {
      ++count;
      if (end > match.Start()) {
        from = end;
      } else if (end < text.size()) {
        from = CodePage::Process().NextChar(text, end);
      } else {
        break;
      }
    }
    benchmark::DoNotOptimize(count);
  }
  state.counters["matches"] = static_cast<double>(count);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void StdRegex(benchmark::State& state, const Row& row) {
  auto flags = std::regex::ECMAScript;
  if (!row.caseSensitive) flags |= std::regex::icase;
  const std::regex expression(row.other, flags);
  const std::string& text = Corpus();
  int64_t count = 0;
  for (auto _ : state) {
    count = std::distance(std::sregex_iterator(text.begin(), text.end(), expression),
                          std::sregex_iterator());
    benchmark::DoNotOptimize(count);
  }
  state.counters["matches"] = static_cast<double>(count);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void Pcre2(benchmark::State& state, const Row& row, bool jit) {
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(row.other.data()), row.other.size(),
                                   row.caseSensitive ? 0 : PCRE2_CASELESS, &errorCode, &errorOffset,
                                   nullptr);
  if (code == nullptr) {
    state.SkipWithError("PCRE2 does not compile it");
    return;
  }
  if (jit && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) != 0) {
    pcre2_code_free(code);
    state.SkipWithError("PCRE2 JIT is not available");
    return;
  }
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  const std::string& text = Corpus();
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
  int64_t count = 0;
  for (auto _ : state) {
    count = 0;
    PCRE2_SIZE from = 0;
    while (from < text.size() &&
           pcre2_match(code, subject, text.size(), from, 0, data, nullptr) >= 0) {
      const PCRE2_SIZE* bounds = pcre2_get_ovector_pointer(data);
      ++count;
      from = bounds[1] > bounds[0] ? bounds[1] : bounds[1] + 1;
    }
    benchmark::DoNotOptimize(count);
  }
  pcre2_match_data_free(data);
  pcre2_code_free(code);
  state.counters["matches"] = static_cast<double>(count);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

// The console table, then the ratios per expression.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred) times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-12s %14s %14s %14s   goal\n", "expression", "vs std::regex", "vs PCRE2",
                "vs PCRE2-JIT");
    for (const Row& row : Rows()) {
      const double engine = Time("engine/", row);
      const double stdRegex = Time("std_regex/", row);
      const double pcre2 = Time("pcre2/", row);
      const double pcre2Jit = Time("pcre2_jit/", row);
      if (engine <= 0) continue;
      std::printf("%-12s %13.2fx %13.2fx %13.2fx   %s\n", row.name, stdRegex / engine, pcre2 / engine,
                  pcre2Jit / engine,
                  row.literalLed ? "faster than std::regex, >= 0.50x PCRE2-JIT"
                                 : "faster than std::regex");
    }
  }

 private:
  double Time(const std::string& prefix, const Row& row) const {
    const auto found = times_.find(prefix + row.name);
    return found == times_.end() ? 0 : found->second;
  }

  std::map<std::string, double> times_;
};

}  // namespace
}  // namespace strbatch

int main(int argc, char** argv) {
  using namespace strbatch;
  for (const Row& row : Rows()) {
    benchmark::RegisterBenchmark((std::string("engine/") + row.name).c_str(), Engine, row)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("std_regex/") + row.name).c_str(), StdRegex, row)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("pcre2/") + row.name).c_str(), Pcre2, row, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("pcre2_jit/") + row.name).c_str(), Pcre2, row, true)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
