#include "lists/definition_list.h"

#include <gtest/gtest.h>

#include "lists/file_list.h"
#include "test_support.h"

namespace strbatch {
namespace {

TEST(DefinitionListTest, ShortTextsStayInTheCells) {
  DefinitionList list;
  list.Append(std::string(255, 'f'), "r", true);
  EXPECT_EQ(list.Row(0).longTextIndex, 0);
  EXPECT_EQ(list.Store().Size(), 0u);
  EXPECT_EQ(list.GetDefinitionText(0, 0), std::string(255, 'f'));
}

TEST(DefinitionListTest, LongTextsGoToTheStoreAndFollowEveryChange) {
  DefinitionList list;
  list.Append("a", "b", true);
  list.Append("c", std::string(256, 'r'), false);
  EXPECT_EQ(list.Row(1).longTextIndex, 1);  // slot 0 is the placeholder
  EXPECT_EQ(list.Store().Size(), 3u);
  EXPECT_EQ(list.GetDefinitionText(1, 1), std::string(256, 'r'));
  // A later short text still overwrites the row's slots.
  list.SetTexts(1, "c", "short");
  EXPECT_EQ(list.GetDefinitionText(1, 1), "short");
  EXPECT_EQ(list.Store().Size(), 3u);
  list.Append(std::string(300, 'x'), "", true);
  EXPECT_EQ(list.Row(2).longTextIndex, 3);
  list.SetCount(2, 7);
  EXPECT_EQ(testing::CountText(list.Row(2).count), "7");
  list.Clear();
  EXPECT_EQ(list.Store().Size(), 0u);
}

TEST(FileListTest, RowsAndMatchListsStayInStep) {
  FileList files;
  files.Append("/a", true);
  files.Append("/b", false);
  EXPECT_TRUE(files.Row(1).matches.empty());
  EXPECT_FALSE(files.Row(1).count.has_value());
  files.Clear();
  EXPECT_EQ(files.Size(), 0u);
}

}  // namespace
}  // namespace strbatch

namespace strbatch {
namespace {

TEST(DefinitionListCommandsTest, AddDeleteMoveAndEdit) {
  DefinitionList list;
  EXPECT_EQ(list.AddDefault(), 0u);
  EXPECT_EQ(list.Find(0), "str1");
  EXPECT_EQ(list.Replace(0), "str2");
  EXPECT_TRUE(list.Row(0).checked);
  list.Append(std::string(300, 'f'), "r", false);
  list.Append("c", "d", true);
  list.SetCount(1, 5);
  // Moving carries texts, long texts, check mark and count.
  EXPECT_EQ(list.MoveDown(1), 2u);
  EXPECT_EQ(list.GetDefinitionText(2, 0), std::string(300, 'f'));
  EXPECT_EQ(testing::CountText(list.Row(2).count), "5");
  EXPECT_FALSE(list.Row(2).checked);
  EXPECT_EQ(list.MoveDown(2), 2u);  // the last row stays
  EXPECT_EQ(list.MoveUp(0), 0u);    // the first row stays
  // An edit in place of a long row replaces its full text.
  list.EndEdit(2, 0, "short");
  EXPECT_EQ(list.GetDefinitionText(2, 0), "short");
  EXPECT_EQ(list.GetDefinitionText(2, 1), "r");
  list.EndEdit(2, 2, "9");
  EXPECT_EQ(testing::CountText(list.Row(2).count), "9");
  // Deleting the last row selects the one above it.
  EXPECT_EQ(list.Delete(2), 1u);
  EXPECT_EQ(list.Delete(0), 0u);
  EXPECT_EQ(list.Delete(0), kNoRow);
  list.Append("a", "b", false);
  list.Append("c", "d", true);
  list.InvertChecks();
  EXPECT_TRUE(list.Row(0).checked);
  EXPECT_FALSE(list.Row(1).checked);
  list.CheckAll();
  EXPECT_TRUE(list.Row(1).checked);
  // Clear then Add gives a row without long texts.
  list.Clear();
  list.AddDefault();
  EXPECT_EQ(list.Row(0).longTextIndex, 0);
}

TEST(FileListCommandsTest, DeleteRenumbersAndMovesKeepNumbers) {
  FileList files;
  for (int i = 0; i < 5; i++) files.Append("/f" + std::to_string(i), true);
  files.SetMatches(2, testing::Matches("0:1"));
  EXPECT_EQ(files.Delete(1), 1u);
  ASSERT_EQ(files.Size(), 4u);
  EXPECT_EQ(testing::MatchListText(files.Row(1).matches), "0:1");
  EXPECT_EQ(files.Row(1).path, "/f2");
  files.SetCount(0, 3);
  files.SetChecked(0, false);
  EXPECT_EQ(files.MoveDown(0), 1u);
  EXPECT_EQ(files.Row(1).path, "/f0");
  EXPECT_EQ(testing::CountText(files.Row(1).count), "3");
  EXPECT_FALSE(files.Row(1).checked);
  EXPECT_EQ(testing::MatchListText(files.Row(0).matches), "0:1");
  EXPECT_EQ(files.Delete(3), 2u);
  files.InvertChecks();
  EXPECT_TRUE(files.Row(1).checked);
  EXPECT_FALSE(files.Row(0).checked);
}

}  // namespace
}  // namespace strbatch
