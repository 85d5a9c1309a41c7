#include "sorttool/sort_tables.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace strbatch {
namespace {

TEST(SortTablesTest, EqualValueTableMapsFirstTokenToSecond) {
  SortTables tables;
  ParseEqualValueTable("A 1\n  B\t\t2 ignored\r\nlonely\n\nA  3\n", &tables);
  EXPECT_EQ(tables.equalValues.size(), 2u);
  EXPECT_EQ(tables.equalValues["A"], "3");  // the later line wins
  EXPECT_EQ(tables.equalValues["B"], "2");
}

TEST(SortTablesTest, NoSortTableKeepsSpaces) {
  SortTables tables;
  ParseNoSortTable("x\r\n \r\n\r\ny z\n", &tables);
  EXPECT_EQ(tables.noSort, (std::set<std::string, std::less<>>{"x", " ", "y z"}));
}

TEST(SortTablesTest, UnreadableTableIsEmptyAndReported) {
  testing::ScratchDir dir;
  std::string problems;
  SortTables tables = LoadSortTables(dir.File("missing.txt"), dir.Write("n.txt", "q\n"), &problems);
  EXPECT_TRUE(tables.equalValues.empty());
  EXPECT_EQ(tables.noSort.size(), 1u);
  EXPECT_NE(problems.find("missing.txt"), std::string::npos);

  problems.clear();
  tables = LoadSortTables("", "", &problems);
  EXPECT_TRUE(problems.empty());
}

}  // namespace
}  // namespace strbatch
