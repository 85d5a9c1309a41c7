#include "batch/backup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "config/language.h"
#include "test_support.h"

namespace strbatch {
namespace {

// Records the progress messages and warnings; cancels at a chosen query.
class Host : public SilentHost {
 public:
  void SetMessage(const std::string& text) override { messages.push_back(text); }
  bool CheckCancelled() override { return ++queries == cancelAtQuery; }
  void Warn(const std::string& path, const Message&) override { warnings.push_back(path); }
  int cancelAtQuery = 0, queries = 0;  // 1-based; 0: never
  std::vector<std::string> messages, warnings;
};


class BackupTest : public ::testing::Test {
 protected:
  // A file with a backup of original, then changed to "changed".
  std::string BackedUp(const std::string& name, const std::string& original) {
    std::string path = dir_.Write(name, original);
    Message error;
    EXPECT_TRUE(MakeBackup(path, &error, DefaultFileRewriter())) << error;
    testing::WriteBytes(path, "changed");
    return path;
  }
  bool HasBackup(const std::string& path) { return access(BackupPath(path).c_str(), F_OK) == 0; }

  testing::ScratchDir dir_;
  Host host_;
  testing::FailingRewriter fullDisk_;
  LanguageCatalog texts_;
};

TEST_F(BackupTest, BackupCopiesBytesAndModeOverAnOlderOne) {
  const std::string bytes("a\0b\xFF\r\n", 6);
  std::string path = dir_.Write("report.txt", "first");
  Message error;
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(MakeBackup(path, &error, DefaultFileRewriter())) << error;
  testing::WriteBytes(path, bytes);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  ASSERT_TRUE(MakeBackup(path, &error, DefaultFileRewriter())) << error;
  EXPECT_EQ(dir_.Read("report.txt.bak"), bytes);
  struct stat st;
  ASSERT_EQ(stat(dir_.File("report.txt.bak").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // A failed copy leaves the older backup; a missing file makes none.
  testing::WriteBytes(path, "newer");
  EXPECT_FALSE(MakeBackup(path, &error, fullDisk_));
  EXPECT_EQ(dir_.Read("report.txt.bak"), bytes);
  EXPECT_FALSE(MakeBackup(dir_.File("missing"), &error, DefaultFileRewriter()));
  EXPECT_FALSE(HasBackup(dir_.File("missing")));
}

TEST_F(BackupTest, RestoreConsumesTheBackupOnce) {
  std::vector<CheckedPath> rows = {{BackedUp("f.txt", "original"), true}};
  EXPECT_EQ(RestoreBackups(rows, host_, texts_, DefaultFileRewriter()), 1u);
  EXPECT_EQ(dir_.Read("f.txt"), "original");
  EXPECT_FALSE(HasBackup(rows[0].path));

  testing::WriteBytes(rows[0].path, "edited");
  EXPECT_EQ(RestoreBackups(rows, host_, texts_, DefaultFileRewriter()), 0u);
  EXPECT_EQ(dir_.Read("f.txt"), "edited");
  EXPECT_TRUE(host_.warnings.empty());
}

TEST_F(BackupTest, FailedRestoreKeepsFileAndBackup) {
  std::string path = BackedUp("f.txt", "original");
  EXPECT_EQ(RestoreBackups({{path, true}}, host_, texts_, fullDisk_), 0u);
  EXPECT_EQ(dir_.Read("f.txt"), "changed");
  EXPECT_EQ(dir_.Read("f.txt.bak"), "original");
  EXPECT_EQ(host_.warnings, std::vector<std::string>{path});
}

TEST_F(BackupTest, CommandsVisitCheckedRowsUntilCancelled) {
  std::vector<CheckedPath> rows = {
      {BackedUp("a", "A"), true},
      {BackedUp("b", "B"), false},
      {dir_.Write("c", "no backup"), true},
      {BackedUp("d", "D"), true},
  };
  host_.cancelAtQuery = 4;
  EXPECT_EQ(RestoreBackups(rows, host_, texts_, DefaultFileRewriter()), 1u);
  EXPECT_EQ(dir_.Read("a") + dir_.Read("b") + dir_.Read("c") + dir_.Read("d"),
            "Achangedno backupchanged");
  const std::string restoring = texts_.Text("1026");
  EXPECT_EQ(host_.messages, (std::vector<std::string>{restoring + "1/4", restoring + "3/4"}));

  Host clearing;
  EXPECT_EQ(ClearBackups(rows, clearing, texts_, DefaultFileRewriter()), 1u);
  EXPECT_TRUE(HasBackup(rows[1].path));
  EXPECT_FALSE(HasBackup(rows[3].path));
  const std::string text = texts_.Text("1027");
  EXPECT_EQ(clearing.messages, (std::vector<std::string>{text + "1/4", text + "3/4", text + "4/4"}));
  EXPECT_TRUE(host_.warnings.empty() && clearing.warnings.empty());
}

}  // namespace
}  // namespace strbatch
