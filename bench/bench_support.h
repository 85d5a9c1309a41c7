// What the file benchmarks share: the median of their runs, and the
// definitions bench/make_corpus.py writes ("find<TAB>replace" per line, in
// UTF-8), carried into the process code page.
#ifndef STRBATCH_BENCH_BENCH_SUPPORT_H_
#define STRBATCH_BENCH_BENCH_SUPPORT_H_

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "lists/definition_list.h"

namespace strbatch::bench {

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

inline DefinitionList LoadDefinitions(const std::string& tsvPath) {
  DefinitionList definitions;
  std::ifstream tsv(tsvPath);
  for (std::string line; std::getline(tsv, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string find, replace;
    CodePage::Process().FromUtf8(line.substr(0, tab), &find);
    CodePage::Process().FromUtf8(line.substr(tab + 1), &replace);
    definitions.Append(find, replace, true);
  }
  return definitions;
}

}  // namespace strbatch::bench

#endif  // STRBATCH_BENCH_BENCH_SUPPORT_H_
