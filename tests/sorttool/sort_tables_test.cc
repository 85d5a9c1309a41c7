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
  std::vector<Message> problems;
  SortTables tables = LoadSortTables(dir.File("missing.txt"), dir.Write("n.txt", "q\n"), &problems);
  EXPECT_TRUE(tables.equalValues.empty());
  EXPECT_EQ(tables.noSort.size(), 1u);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].id, MessageId::kCannotOpen);
  EXPECT_EQ(problems[0].args, std::vector<std::string>{dir.File("missing.txt")});

  problems.clear();
  tables = LoadSortTables("", "", &problems);
  EXPECT_TRUE(problems.empty());
}

TEST(SortTablesTest, TablesAreReadInTheirOwnEncodingAndCarriedIntoOthers) {
  testing::ScratchDir dir;
  std::string gbk;
  std::vector<Message> problems;
  // (GBK "壹" alone would pass for UTF-8; "贰" makes the file plain GBK.)
  ASSERT_TRUE(CodePage(CodePage::kGbk).FromUtf8("壹 1\n贰 2\n", &gbk));
  // Under "auto" a GBK table and a UTF-16 one both come out as UTF-8.
  SortTables tables = LoadSortTables(dir.Write("e.txt", gbk),
                                     dir.Write("n.txt", std::string("\xFF\xFE\x84\x76\n\0", 6)),
                                     EncodingSetting::Auto, &problems);
  EXPECT_TRUE(problems.empty()) << problems[0];
  EXPECT_EQ(tables.equalValues["壹"], "1");
  tables.equalValues.erase("贰");
  EXPECT_EQ(tables.noSort, (std::set<std::string, std::less<>>{"的"}));

  // An entry BIG5 cannot hold is left out for BIG5 files, not made "?".
  tables.equalValues["书"] = "0";
  tables.noSort.insert("这");
  const CodePage big5(CodePage::kBig5);
  SortTables carried = CarrySortTables(tables, big5);
  std::string one, of;
  ASSERT_TRUE(big5.FromUtf8("壹", &one) && big5.FromUtf8("的", &of));
  EXPECT_EQ(carried.equalValues, (std::map<std::string, std::string, std::less<>>{{one, "1"}}));
  EXPECT_EQ(carried.noSort, (std::set<std::string, std::less<>>{of}));
}

}  // namespace
}  // namespace strbatch
