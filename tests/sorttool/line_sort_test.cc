#include "sorttool/line_sort.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

// Records what a sort run shows, and cancels when told to.
class RecordingHost : public SilentHost {
 public:
  void SetMessage(const std::string& text) override { messages.push_back(text); }
  void SetPosition(int percent) override { positions.push_back(percent); }
  bool CheckCancelled() override { return ++checks == cancelAtCheck; }
  void Warn(const std::string& path, const std::string&) override { warnings.push_back(path); }

  int cancelAtCheck = 0;  // 1-based; 0 never
  int checks = 0;
  std::vector<std::string> messages;
  std::vector<int> positions;
  std::vector<std::string> warnings;
};

// Lets through a given number of bytes, then fails every write.
class FailingRewriter : public FileRewriter {
 public:
  explicit FailingRewriter(size_t budget) : budget_(budget) {}
  std::unique_ptr<RewriteSession> Begin(const std::string& path, std::string* error) override {
    auto real = DefaultFileRewriter().Begin(path, error);
    if (!real) return nullptr;
    return std::make_unique<Session>(std::move(real), budget_);
  }

 private:
  class Session : public RewriteSession {
   public:
    Session(std::unique_ptr<RewriteSession> real, size_t budget)
        : real_(std::move(real)), budget_(budget) {}
    bool Write(const char* data, size_t size) override {
      if (size > budget_) {
        real_->Write(data, budget_);
        failed_ = true;
        return false;
      }
      budget_ -= size;
      return real_->Write(data, size);
    }
    bool Commit(std::string* error) override {
      if (failed_) {
        *error = "disk full";
        return false;
      }
      return real_->Commit(error);
    }

   private:
    std::unique_ptr<RewriteSession> real_;
    size_t budget_;
    bool failed_ = false;
  };
  size_t budget_;
};

std::string Sorted(const std::string& content, const SortOptions& options = {}) {
  std::string sorted;
  if (!SortText(content, options, SortTables{}, &sorted)) return "<nothing>";
  return sorted;
}

SortOptions Reverse() {
  SortOptions options;
  options.reverseOutput = true;
  return options;
}
SortOptions Unique(bool reverse = false) {
  SortOptions options;
  options.filterDuplicates = true;
  options.reverseOutput = reverse;
  return options;
}

TEST(LineSortTest, OutputOrderAndLineEnds) {
  EXPECT_EQ(Sorted("b\r\na\r\n\r\nc"), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(Sorted("b\r\na\r\n\r\nc", Reverse()), "c\r\nb\r\na\r\n");
  EXPECT_EQ(Sorted("b\na\n"), "a\r\nb\r\n");
  EXPECT_EQ(Sorted("\rb\r\na\rz"), "a\rz\r\nb\r\n");
  EXPECT_EQ(Sorted("\r\n\r\n\n"), "<nothing>");
  EXPECT_EQ(Sorted(""), "<nothing>");
  EXPECT_EQ(Sorted(std::string("b\0z\r\na", 6)), std::string("a\r\nb\0z\r\n", 8));
}

TEST(LineSortTest, DuplicatesAreDroppedOnlyWhenNeighbours) {
  EXPECT_EQ(Sorted("x\r\nx\r\ny", Unique()), "x\r\ny\r\n");
  EXPECT_EQ(Sorted("x\r\nx\r\ny", Unique(true)), "y\r\nx\r\n");
  EXPECT_EQ(Sorted("y\r\nx\r\ny\r\nx", Unique(true)), "y\r\nx\r\n");
  // All three lines share a key; the partition leaves "Apple" between the
  // two equal texts, so both stay.
  EXPECT_EQ(Sorted("apple\r\nApple\r\napple", Unique()), "apple\r\nApple\r\napple\r\n");
  EXPECT_EQ(Sorted("apple\r\nApple\r\napple", Unique(true)), "apple\r\nApple\r\napple\r\n");
  // Without the filter every line is written.
  EXPECT_EQ(Sorted("x\r\nx\r\ny"), "x\r\nx\r\ny\r\n");
}

TEST(LineSortTest, LongLineStaysWhole) {
  const std::string longLine = "m" + std::string(2999, 'a');
  EXPECT_EQ(Sorted("z\r\n" + longLine + "\r\nb"), "b\r\n" + longLine + "\r\nz\r\n");
}

TEST(LineSortTest, FileIsRewrittenOnlyWhenItHasLines) {
  ScratchDir dir;
  std::string error;
  std::string path = dir.Write("f.txt", "b\na\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  EXPECT_EQ(SortFile(path, {}, {}, &error), SortFileResult::kSorted);
  EXPECT_EQ(dir.Read("f.txt"), "a\r\nb\r\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  path = dir.Write("blank.txt", "\r\n\r\n");
  EXPECT_EQ(SortFile(path, {}, {}, &error), SortFileResult::kNothingToSort);
  EXPECT_EQ(dir.Read("blank.txt"), "\r\n\r\n");

  EXPECT_EQ(SortFile(dir.File("missing.txt"), {}, {}, &error), SortFileResult::kFailed);
  EXPECT_FALSE(error.empty());
}

TEST(LineSortTest, FailedRewriteLeavesTheFile) {
  ScratchDir dir;
  std::string path = dir.Write("f.txt", "b\na\n");
  FailingRewriter rewriter(3);
  std::string error;
  EXPECT_EQ(SortFile(path, {}, {}, &error, rewriter), SortFileResult::kFailed);
  EXPECT_EQ(dir.Read("f.txt"), "b\na\n");
}

TEST(LineSortTest, RunSortsCheckedFilesWithTablesAndProgress) {
  ScratchDir dir;
  SortOptions options;
  options.equalValueTablePath = dir.Write("equal.txt", "q a\n");
  options.noSortTablePath = dir.Write("nosort.txt", "#\n");
  std::vector<SortFileRow> rows = {
      {dir.Write("1.txt", "b\nq2\n"), true},
      {dir.Write("2.txt", "b\na\n"), false},
      {dir.Write("3.txt", "b\n#c\n"), true},
  };
  RecordingHost host;
  EXPECT_EQ(RunLineSort(rows, options, host), 2u);
  EXPECT_EQ(dir.Read("1.txt"), "q2\r\nb\r\n");  // "q2" sorts as "a2"
  EXPECT_EQ(dir.Read("2.txt"), "b\na\n");
  EXPECT_EQ(dir.Read("3.txt"), "b\r\n#c\r\n");  // "#c" sorts as "c"
  EXPECT_EQ(host.messages, (std::vector<std::string>{rows[0].path, rows[2].path}));
  EXPECT_EQ(host.positions, (std::vector<int>{0, 66}));
  EXPECT_TRUE(host.warnings.empty());
}

TEST(LineSortTest, CancelStopsBeforeTheNextFileAndFailuresAreReported) {
  ScratchDir dir;
  std::vector<SortFileRow> rows = {
      {dir.File("missing.txt"), true},
      {dir.Write("2.txt", "b\na\n"), true},
      {dir.Write("3.txt", "b\na\n"), true},
  };
  RecordingHost host;
  host.cancelAtCheck = 3;
  EXPECT_EQ(RunLineSort(rows, {}, host), 1u);
  EXPECT_EQ(dir.Read("2.txt"), "a\r\nb\r\n");
  EXPECT_EQ(dir.Read("3.txt"), "b\na\n");
  EXPECT_EQ(host.warnings, std::vector<std::string>{rows[0].path});
}

}  // namespace
}  // namespace strbatch
