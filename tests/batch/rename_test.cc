#include "batch/rename.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "batch/batch_driver.h"
#include "recording_host.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::RecordingHost;
using testing::ScratchDir;

class RenameTest : public ::testing::Test {
 protected:
  void Add(const std::string& name, bool checked = true) {
    files_.Append(dir_.Write(name, "content of " + name), checked);
  }
  bool Exists(const std::string& name) const { return access(dir_.File(name).c_str(), F_OK) == 0; }

  ScratchDir dir_;
  FileList files_;
  DefinitionList definitions_;
  RecordingHost host_;
  BatchRunner runner_{files_, definitions_, host_};
};

TEST_F(RenameTest, PlainDefinitionRenamesAndUpdatesTheRow) {
  Add("report-old.txt");
  definitions_.Append("old", "new", true);
  runner_.BatchRename();
  EXPECT_TRUE(Exists("report-new.txt"));
  EXPECT_FALSE(Exists("report-old.txt"));
  EXPECT_EQ(files_.Row(0).path, dir_.File("report-new.txt"));
  EXPECT_EQ(testing::CountText(files_.Row(0).count), "1");
  EXPECT_EQ(dir_.Read("report-new.txt"), "content of report-old.txt");
}

TEST_F(RenameTest, DirectoryPartIsNeverMatched) {
  ScratchDir other;
  std::string path = other.Write("x.txt", "1");
  files_.Append(path, true);
  std::string dirName = other.path().substr(other.path().rfind('/') + 1);
  definitions_.Append(dirName, "changed", true);
  runner_.BatchRename();
  EXPECT_EQ(files_.Row(0).path, path);
  EXPECT_EQ(testing::CountText(files_.Row(0).count), "0");
}

TEST_F(RenameTest, ExistingTargetIsNeverReplaced) {
  Add("a.txt");
  Add("b.txt", false);
  definitions_.Append("a", "b", true);
  runner_.BatchRename();
  EXPECT_EQ(dir_.Read("a.txt"), "content of a.txt");
  EXPECT_EQ(dir_.Read("b.txt"), "content of b.txt");
  EXPECT_EQ(files_.Row(0).path, dir_.File("a.txt"));
  EXPECT_EQ(host_.warnings.size(), 1u);
}

TEST_F(RenameTest, LineEndsAndEmptyNamesAreRefused) {
  Add("keep.txt");
  Add("gone.txt");
  definitions_.Append("keep", "ke\\nep", true);
  definitions_.Append("gone.txt", "", true);
  runner_.BatchRename();
  EXPECT_TRUE(Exists("keep.txt"));
  EXPECT_TRUE(Exists("gone.txt"));
  EXPECT_EQ(files_.Row(1).path, dir_.File("gone.txt"));
}

TEST_F(RenameTest, SlashMovesIntoAnExistingSubfolder) {
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0700), 0);
  Add("sub_a.txt");
  Add("none_b.txt");
  definitions_.Append("_", "/", true);
  runner_.BatchRename();
  EXPECT_TRUE(Exists("sub/a.txt"));
  EXPECT_EQ(files_.Row(0).path, dir_.File("sub/a.txt"));
  EXPECT_TRUE(Exists("none_b.txt"));  // no folder "none": nothing moves
}

TEST_F(RenameTest, ChineseDefinitionsRenameUtf8Names) {
  // 报告.txt in UTF-8 on disk; the definition is GBK 报告 -> 总结.
  Add("\xE6\x8A\xA5\xE5\x91\x8A.txt");
  definitions_.Append("\xB1\xA8\xB8\xE6", "\xD7\xDC\xBD\xE1", true);
  runner_.BatchRename();
  EXPECT_TRUE(Exists("\xE6\x80\xBB\xE7\xBB\x93.txt"));
  EXPECT_EQ(testing::CountText(files_.Row(0).count), "1");
}

TEST_F(RenameTest, NameThatCannotBeCarriedIsLeftAlone) {
  Add("bad\xFF" "name.txt");
  definitions_.Append("name", "x", true);
  runner_.BatchRename();
  EXPECT_TRUE(Exists("bad\xFF" "name.txt"));
  EXPECT_EQ(testing::CountText(files_.Row(0).count), "0");
  EXPECT_EQ(host_.warnings.size(), 1u);
}

TEST_F(RenameTest, UnchangedNameAndFindOnlyDefinitionsDoNothing) {
  Add("same.txt");
  definitions_.Append("same", "same", true);
  runner_.BatchRename();
  EXPECT_TRUE(Exists("same.txt"));
  EXPECT_EQ(testing::CountText(files_.Row(0).count), "1");
  EXPECT_TRUE(host_.warnings.empty());
}

TEST(NewNameTest, FirstLineAndNeverCut) {
  std::string name;
  Message error;
  ASSERT_TRUE(NewNameFromWorkText("a.txt\nsecond", CodePage::Process(), &name, &error));
  EXPECT_EQ(name, "a.txt\n");  // the line end stays and makes the name invalid
  ASSERT_TRUE(NewNameFromWorkText(std::string(255, 'x'), CodePage::Process(), &name, &error));
  // A longer name is refused, not cut: 256 bytes, and 120 Chinese characters
  // that fit in GBK (240 bytes) but would be 360 bytes as a UTF-8 name.
  EXPECT_FALSE(NewNameFromWorkText(std::string(256, 'x'), CodePage::Process(), &name, &error));
  std::string chinese;
  for (int i = 0; i < 120; i++) chinese += "\xD6\xD0";
  EXPECT_FALSE(NewNameFromWorkText(chinese, CodePage::Process(), &name, &error));
  EXPECT_EQ(error.id, MessageId::kNameTooLong);
}

}  // namespace
}  // namespace strbatch

namespace strbatch {
namespace {

TEST_F(RenameTest, FileNumbersCountUncheckedRowsToo) {
  Add("a.txt");
  Add("skip.txt", false);
  Add("b.txt");
  Add("c.txt");
  definitions_.Append("{.*}\\.txt", "{1}_{i;w=2}.txt", true);
  runner_.options.Advance = true;
  runner_.BatchRename();
  EXPECT_TRUE(Exists("a_01.txt"));
  EXPECT_TRUE(Exists("skip.txt"));
  EXPECT_TRUE(Exists("b_03.txt"));
  EXPECT_TRUE(Exists("c_04.txt"));
  EXPECT_EQ(files_.Row(3).path, dir_.File("c_04.txt"));
  EXPECT_EQ(testing::CountText(definitions_.Row(0).count), "3");
}

}  // namespace
}  // namespace strbatch
