#include "sorttool/line_sort.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace strbatch {
namespace {

// Records what a sort run shows; cancels at a chosen query.
class Host : public SilentHost {
 public:
  void SetMessage(const std::string& text) override { messages.push_back(text); }
  void SetPosition(int percent) override { positions.push_back(percent); }
  bool CheckCancelled() override { return ++queries == cancelAtQuery; }
  void Warn(const std::string& path, const std::string&) override { warnings.push_back(path); }
  int cancelAtQuery = 0, queries = 0;  // 1-based; 0: never
  std::vector<std::string> messages, warnings;
  std::vector<int> positions;
};

std::string Sorted(const std::string& content, bool reverse = false, bool unique = false) {
  SortOptions options;
  options.reverseOutput = reverse;
  options.filterDuplicates = unique;
  std::string sorted;
  if (!SortText(content, options, SortTables{}, &sorted)) return "<nothing>";
  return sorted;
}

TEST(LineSortTest, OutputOrderAndLineEnds) {
  EXPECT_EQ(Sorted("b\r\na\r\n\r\nc"), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(Sorted("b\r\na\r\n\r\nc", true), "c\r\nb\r\na\r\n");
  EXPECT_EQ(Sorted("\rb\r\na\rz"), "a\rz\r\nb\r\n");
  EXPECT_EQ(Sorted("\r\n\r\n\n"), "<nothing>");
  EXPECT_EQ(Sorted(std::string("b\0z\r\na", 6)), std::string("a\r\nb\0z\r\n", 8));
  // A long line is one line (reading in fixed pieces would cut it apart).
  const std::string longLine = "m" + std::string(2999, 'a');
  EXPECT_EQ(Sorted("z\r\n" + longLine + "\r\nb"), "b\r\n" + longLine + "\r\nz\r\n");
}

TEST(LineSortTest, EqualKeysLandWhereTheSortPutsThem) {
  // Traced by hand through the partition steps; a stable sort would keep
  // the input order.
  EXPECT_EQ(Sorted("apple\nApple\nAPPLE"), "APPLE\r\nApple\r\napple\r\n");
  EXPECT_EQ(Sorted("ab\nAb\naB\nAB"), "aB\r\nAB\r\nab\r\nAb\r\n");
  EXPECT_EQ(Sorted("b\na\nB"), "a\r\nB\r\nb\r\n");
}

TEST(LineSortTest, DuplicatesAreDroppedOnlyWhenNeighbours) {
  EXPECT_EQ(Sorted("x\r\nx\r\ny"), "x\r\nx\r\ny\r\n");
  EXPECT_EQ(Sorted("x\r\nx\r\ny", false, true), "x\r\ny\r\n");
  EXPECT_EQ(Sorted("x\r\nx\r\ny", true, true), "y\r\nx\r\n");
  // All three share a key, and the sort leaves "Apple" between the two
  // equal texts, so both stay.
  EXPECT_EQ(Sorted("apple\r\nApple\r\napple", false, true), "apple\r\nApple\r\napple\r\n");
}


TEST(LineSortTest, FilesWithoutLinesOrThatCannotBeWrittenStayAsTheyWere) {
  testing::ScratchDir dir;
  std::string error;
  EXPECT_EQ(SortFile(dir.Write("blank", "\r\n\r\n"), {}, {}, &error),
            SortFileResult::kNothingToSort);
  EXPECT_EQ(dir.Read("blank"), "\r\n\r\n");
  testing::FailingRewriter fullDisk;
  EXPECT_EQ(SortFile(dir.Write("f", "b\na\n"), {}, {}, &error, fullDisk), SortFileResult::kFailed);
  EXPECT_EQ(dir.Read("f"), "b\na\n");
}

TEST(LineSortTest, RunSortsCheckedFilesInOrderUntilCancelled) {
  testing::ScratchDir dir;
  SortOptions options;
  options.equalValueTablePath = dir.Write("equal.txt", "q a\n");
  options.noSortTablePath = dir.Write("nosort.txt", "#\n");
  std::vector<SortFileRow> rows = {
      {dir.Write("1", "b\nq2\n"), true},  // "q2" sorts as "a2"
      {dir.Write("2", "b\na\n"), false},
      {dir.File("missing"), true},
      {dir.Write("4", "b\n#c\n"), true},  // "#c" sorts as "c"
      {dir.Write("5", "b\na\n"), true},
  };
  Host host;
  host.cancelAtQuery = 4;
  EXPECT_EQ(RunLineSort(rows, options, host), 2u);
  EXPECT_EQ(dir.Read("1") + dir.Read("2") + dir.Read("4") + dir.Read("5"),
            "q2\r\nb\r\n" "b\na\n" "b\r\n#c\r\n" "b\na\n");
  EXPECT_EQ(host.messages, (std::vector<std::string>{rows[0].path, rows[2].path, rows[3].path}));
  EXPECT_EQ(host.positions, (std::vector<int>{0, 40, 60}));
  EXPECT_EQ(host.warnings, std::vector<std::string>{rows[2].path});
}

}  // namespace
}  // namespace strbatch
