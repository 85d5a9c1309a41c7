// Load: 100 definitions over 20,000 files run to their end with memory
// bounded by the largest file, progress reported between any two
// definitions, and a cancel honoured before the next definition.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/code_page.h"
#include "batch/batch_driver.h"
#include "batch/code_conversion.h"
#include "config/message_text.h"
#include "reliability_support.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::MemoryScratchDir;

constexpr size_t kFiles = 20000;
constexpr size_t kDefinitions = 100;
constexpr size_t kLargeFiles = 8;
constexpr size_t kLargeSize = size_t{8} << 20;

std::string Token(size_t k, char open, char close) {
  return open + std::to_string(k) + close;
}

// A host that times the gaps between its calls and cancels at one chosen
// cancel query, noting how far the current file had got.
class TimingHost : public BatchHost {
 public:
  explicit TimingHost(int cancelAt) : cancelAt_(cancelAt) {}

  bool Ask(Question) override { return true; }
  void ShowProgress() override { Tick(); }
  void SetMessage(const std::string&) override { Tick(); }
  void SetPosition(int percent) override {
    Tick();
    positionsInFile++;
    EXPECT_GE(percent, lastPercent);
    lastPercent = percent;
  }
  bool CheckCancelled() override {
    Tick();
    if (queries++ != cancelAt_) return false;
    cancelledRow = currentRow;
    appliedWhenCancelled = positionsInFile;
    return true;
  }
  void HideProgress() override { Tick(); }
  void SelectFileRow(size_t row) override {
    Tick();
    currentRow = row;
    positionsInFile = 0;
  }
  void OpenReport(const std::string&) override {}
  void Warn(const std::string& path, const Message& message) override {
    warnings.push_back(path + ": " + MessageText(texts, message));
  }
  void Notice(const std::string& path, const Message& message) override {
    warnings.push_back(path + ": " + MessageText(texts, message));
  }
  void RejectDefinition(size_t, const Message& message) override {
    warnings.push_back(MessageText(texts, message));
  }
  LanguageCatalog texts{Language::English};

  double longestGap = 0;
  int queries = 0;
  size_t currentRow = 0;
  size_t positionsInFile = 0;
  size_t cancelledRow = static_cast<size_t>(-1);
  size_t appliedWhenCancelled = 0;
  int lastPercent = 0;
  std::vector<std::string> warnings;

 private:
  void Tick() {
    auto now = std::chrono::steady_clock::now();
    if (started_) longestGap = std::max(longestGap, std::chrono::duration<double>(now - last_).count());
    started_ = true;
    last_ = now;
  }

  int cancelAt_;
  bool started_ = false;
  std::chrono::steady_clock::time_point last_;
};

TEST(LoadTest, HundredDefinitionsOverTwentyThousandFiles) {
  MemoryScratchDir memory;
  // Every file holds each definition's token once; definition k turns
  // "<k>" into "[k]", so a file's bytes tell which definitions ran on it.
  std::string tokens;
  for (size_t k = 0; k < kDefinitions; k++) tokens += Token(k, '<', '>') + " ";
  std::vector<std::string> paths;
  for (size_t i = 0; i < kFiles; i++) {
    if (i % 1000 == 0) {
      ASSERT_EQ(mkdir(memory.File("d" + std::to_string(i / 1000)).c_str(), 0755), 0);
    }
    paths.push_back(memory.File("d" + std::to_string(i / 1000) + "/f" + std::to_string(i)));
    std::string bytes = tokens;
    // A few large files: their bytes after a NUL are held but not searched.
    if (i % (kFiles / kLargeFiles) == 7) bytes += std::string(kLargeSize, '\0');
    testing::WriteBytes(paths.back(), bytes);
  }
  FileList files;
  DefinitionList definitions;
  for (const std::string& path : paths) files.Append(path, true);
  for (size_t k = 0; k < kDefinitions; k++) {
    definitions.Append(Token(k, '<', '>'), Token(k, '[', ']'), true);
  }

  // The cancel lands somewhere in the middle third of the run.
  testing::TestRandom random(20000);
  const int queriesPerFile = static_cast<int>(kDefinitions) + 1;
  const int cancelAt = static_cast<int>(kFiles / 3 * queriesPerFile +
                                        random.Below(kFiles / 3 * queriesPerFile));
  TimingHost host(cancelAt);
  BatchRunner runner(files, definitions, host);
  testing::ResetPeakResident();
  const int64_t before = testing::PeakResidentBytes();
  const auto start = std::chrono::steady_clock::now();
  runner.BatchReplace();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int64_t growth = testing::PeakResidentBytes() - before;

  EXPECT_TRUE(host.warnings.empty());
  ASSERT_NE(host.cancelledRow, static_cast<size_t>(-1)) << "the cancel query never came";
  // A cancel between definitions ends only the current file; one before a
  // file (all definitions of the last file done) ends the run.
  const bool endedRun = host.appliedWhenCancelled == kDefinitions;
  for (size_t i = 0; i < kFiles; i++) {
    size_t applied = kDefinitions;
    if (i == host.cancelledRow) applied = host.appliedWhenCancelled;
    if (i > host.cancelledRow && endedRun) applied = 0;
    std::string expected;
    for (size_t k = 0; k < kDefinitions; k++) {
      expected += (k < applied ? Token(k, '[', ']') : Token(k, '<', '>')) + " ";
    }
    const std::string bytes = testing::ReadBytes(paths[i]);
    ASSERT_EQ(bytes.substr(0, expected.size()), expected) << paths[i];
    ASSERT_EQ(testing::CountText(files.Row(i).count), std::to_string(applied)) << paths[i];
  }

  // Memory: what one large file needs (its bytes, and a second copy at
  // most), not what all files or all large files together hold. The
  // sanitizers keep freed memory in quarantine, so only a plain build can
  // tell.
  if (!testing::UnderSanitizer()) {
    EXPECT_LT(growth, static_cast<int64_t>(3 * kLargeSize + (24 << 20)))
        << "peak memory grew by " << growth;
  }
  EXPECT_LT(host.longestGap, testing::UnderSanitizer() ? 5.0 : 1.0);
  testing::AddToFigure("definition applications in the load run",
                       static_cast<int64_t>(kFiles * kDefinitions));
  std::printf("[ figures  ] load run: %.1f s, peak memory growth %lld KiB, longest gap %.3f s\n",
              seconds, static_cast<long long>(growth / 1024), host.longestGap);
}

// Converting a large file between code pages needs a few times its size,
// not many, and gives what converting each of its lines alone gives, also
// for a line longer than the pieces the character mapping works in.
TEST(LoadTest, LargeFileConversion) {
  MemoryScratchDir memory;
  const CodePage gbk(CodePage::kGbk);
  std::vector<std::string> lines, converted;
  for (const char* utf8 : {"简体中文的转换测试，还有 English\r\n", "软件 头发 后来 干净 里面\n",
                           "数字 0123456789 与符号 ，。！\n", "发展与面向未来的系统\r\n"}) {
    std::string line;
    Message error;
    gbk.FromUtf8(utf8, &line);
    testing::WriteBytes(memory.File("line"), line);
    ASSERT_TRUE(ConvertGbkToTraditional(memory.File("line"), &error, DefaultFileRewriter()))
        << error;
    lines.push_back(line);
    converted.push_back(testing::ReadBytes(memory.File("line")));
  }
  const size_t size = size_t{2} << 20;
  std::string text, expected;
  for (size_t i = 0; text.size() < size; i++) {
    text += lines[i % lines.size()];
    expected += converted[i % lines.size()];
  }
  // A line of 1.5 MB without a line feed: cut where a piece ends.
  std::string longUnit, longConverted;
  gbk.FromUtf8("简体中文", &longUnit);
  testing::WriteBytes(memory.File("line"), longUnit);
  Message error;
  ASSERT_TRUE(ConvertGbkToTraditional(memory.File("line"), &error, DefaultFileRewriter())) << error;
  longConverted = testing::ReadBytes(memory.File("line"));
  while (text.size() < size + (size_t{3} << 19)) {
    text += longUnit;
    expected += longConverted;
  }
  const std::string path = memory.File("large.txt");
  testing::WriteBytes(path, text);
  ASSERT_TRUE(ConvertGbkToTraditional(path, &error, DefaultFileRewriter())) << error;
  EXPECT_TRUE(testing::ReadBytes(path) == expected);

  if (testing::UnderSanitizer()) return;  // the sanitizers keep freed memory
  testing::WriteBytes(path, text);
  // In a child of its own, so that the peak is this conversion's alone.
  testing::ChildResult result = testing::RunInChild({}, [&] {
    testing::ResetPeakResident();
    const int64_t before = testing::PeakResidentBytes();
    Message error;
    if (!ConvertGbkToBig5(path, &error, DefaultFileRewriter())) return 2;
    const int64_t growth = testing::PeakResidentBytes() - before;
    std::printf("[ figures  ] conversion of %zu MiB: peak memory growth %lld MiB\n",
                text.size() >> 20, static_cast<long long>(growth >> 20));
    std::fflush(stdout);
    return growth < static_cast<int64_t>(6 * text.size()) ? 0 : 1;
  });
  EXPECT_EQ(result.exitCode, 0);
}

}  // namespace
}  // namespace strbatch
