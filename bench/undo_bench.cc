// Times a batch replace with the undo journal against the same replace
// without it: with the old bytes kept by hard links (journal and files on
// one file system) and kept as zstd copies (as on another file system). The
// first run of each journalled kind is then undone and must give back the
// corpus byte for byte.
//
//   undo_bench CORPUS_DIR DEFINITIONS_TSV [RUNS]
//
// CORPUS_DIR and DEFINITIONS_TSV as bench/make_corpus.py makes them. Prints
// the median of RUNS (default 3) runs of each kind and the ratios, in time
// on the clock and in processor time (user and system) of the process; exit
// status 1 when links cost more than 1.2 times the plain replace, copies
// more than 2 times (judged by processor time, which other work on a shared
// machine moves far less than the clock), or an undo does not restore the
// corpus.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/batch_host.h"
#include "base/safe_file.h"
#include "batch/batch_driver.h"
#include "bench_support.h"
#include "journal/undo.h"
#include "journal/undo_journal.h"

namespace fs = std::filesystem;
using namespace strbatch;

namespace {

enum class Kind { kPlain, kLinks, kCopies };
const char* const kNames[] = {"without journal", "journal, links", "journal, copies"};

double ProcessorSeconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool SameFiles(const fs::path& a, const fs::path& b) {
  for (const auto& entry : fs::directory_iterator(a)) {
    std::string left, right;
    Message error;
    if (!ReadWholeFile(entry.path().string(), &left, &error) ||
        !ReadWholeFile((b / entry.path().filename()).string(), &right, &error) || left != right) {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: undo_bench CORPUS_DIR DEFINITIONS_TSV [RUNS]\n");
    return 2;
  }
  const fs::path corpus = argv[1];
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  DefinitionList definitions = bench::LoadDefinitions(argv[2]);
  // The copy of the corpus and the journals on one file system, so that
  // links can be made where they are wanted.
  const fs::path base = corpus.parent_path() / ("undo-bench-" + std::to_string(getpid()));
  const fs::path work = base / "files";
  SilentHost host;
  std::vector<double> seconds[3], processor[3];
  bool ok = true;
  for (int run = 0; run < runs; run++) {
    // The order turns from run to run, so that no kind always comes first
    // after the writes of another.
    for (int turn = 0; turn < 3; turn++) {
      const Kind kind = static_cast<Kind>((run + turn) % 3);
      fs::remove_all(base);
      fs::create_directories(base);
      fs::copy(corpus, work);
      sync();
      FileList list;
      std::vector<std::string> paths;
      for (const auto& entry : fs::directory_iterator(work)) paths.push_back(entry.path());
      std::sort(paths.begin(), paths.end());
      for (const std::string& path : paths) list.Append(path, true);
      DefinitionList defs = definitions;
      UndoJournal journal((base / "journal").string(), DefaultFileRewriter());
      journal.SetLinking(kind == Kind::kLinks);
      BatchRunner runner(list, defs, host);
      if (kind != Kind::kPlain) runner.SetJournal(&journal);
      const auto start = std::chrono::steady_clock::now();
      const double startProcessor = ProcessorSeconds();
      runner.BatchReplace();
      seconds[static_cast<int>(kind)].push_back(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      processor[static_cast<int>(kind)].push_back(ProcessorSeconds() - startProcessor);
      if (run == 0 && kind != Kind::kPlain) {
        const UndoOutcome outcome = UndoRun(journal, "", host);
        if (outcome.end != UndoOutcome::End::kDone || !SameFiles(corpus, work)) {
          std::printf("%s: the undo did not give the corpus back\n",
                      kNames[static_cast<int>(kind)]);
          ok = false;
        }
      }
    }
  }
  fs::remove_all(base);
  const double plain = bench::Median(seconds[0]), plainProcessor = bench::Median(processor[0]);
  const double limits[] = {1.0, 1.2, 2.0};
  for (int k = 0; k < 3; k++) {
    const double median = bench::Median(seconds[k]), used = bench::Median(processor[k]);
    std::printf("%-16s %.3f s (%.2fx), processor %.3f s (%.2fx)\n", kNames[k], median,
                median / plain, used, used / plainProcessor);
    if (k > 0 && used > limits[k] * plainProcessor) {
      std::printf("%s: more than %.1f times the replace without it\n", kNames[k], limits[k]);
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
