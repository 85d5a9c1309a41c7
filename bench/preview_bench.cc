// Times the preview of a batch replace (ReplacePreview::Compute, what the
// window's preview does before it opens) against the batch replace itself
// over the same files, and checks that the preview wrote nothing and that
// its changes, applied, give the replace's bytes.
//
//   preview_bench CORPUS_DIR DEFINITIONS_TSV [RUNS]
//
// CORPUS_DIR and DEFINITIONS_TSV as bench/make_corpus.py makes them (the
// definitions one "find<TAB>replace" per line in UTF-8). Prints the median
// of RUNS (default 3) runs of each and their ratio; exit status 1 when the
// preview takes more than 1.5 times the replace or a check fails.
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
#include "batch/replace_preview.h"

namespace fs = std::filesystem;
using namespace strbatch;

namespace {

std::vector<std::string> SortedFiles(const fs::path& dir) {
  std::vector<std::string> paths;
  for (const auto& entry : fs::directory_iterator(dir)) paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: preview_bench CORPUS_DIR DEFINITIONS_TSV [RUNS]\n");
    return 2;
  }
  const fs::path corpus = argv[1];
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  DefinitionList definitions = bench::LoadDefinitions(argv[2]);
  const fs::path work = fs::temp_directory_path() / ("preview-bench-" + std::to_string(getpid()));
  SilentHost host;
  std::vector<double> replaceSeconds, previewSeconds;
  size_t changes = 0, files = 0;
  bool ok = true;
  for (int run = 0; run < runs; run++) {
    fs::remove_all(work);
    fs::copy(corpus, work);
    FileList list;
    for (const std::string& path : SortedFiles(work)) list.Append(path, true);
    DefinitionList defs = definitions;
    // The preview first, over the untouched copy.
    ReplacePreview preview;
    auto start = std::chrono::steady_clock::now();
    FileList previewList = list;
    preview.Compute(previewList, defs, Options(), host);
    previewSeconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    files = preview.files().size();
    changes = 0;
    for (const FilePreview& file : preview.files()) changes += file.changes.size();
    start = std::chrono::steady_clock::now();
    BatchRunner runner(list, defs, host);
    runner.BatchReplace();
    replaceSeconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (run == 0) {
      // Every change applied is what the replace wrote.
      for (const FilePreview& file : preview.files()) {
        std::string original, written;
        Message error;
        ReadWholeFile((corpus / fs::path(file.path).filename()).string(), &original, &error);
        ReadWholeFile(file.path, &written, &error);
        for (size_t k = file.changes.size(); k-- > 0;) {
          const DiskChange change = OnDisk(file, k);
          original.replace(change.offset, change.length, change.newBytes);
        }
        if (original != written) {
          std::fprintf(stderr, "%s: the changes do not give the replace's bytes\n",
                       file.path.c_str());
          ok = false;
        }
      }
    }
  }
  fs::remove_all(work);
  const double replace = bench::Median(replaceSeconds), previewTime = bench::Median(previewSeconds);
  std::printf("files with changes: %zu, changes: %zu\n", files, changes);
  std::printf("batch replace: %.3f s\npreview:       %.3f s (%.2fx)\n", replace, previewTime,
              previewTime / replace);
  if (previewTime > 1.5 * replace) {
    std::printf("the preview takes more than 1.5 times the replace\n");
    ok = false;
  }
  return ok ? 0 : 1;
}
