#include "batch/backup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/language.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

// Records what a backup command shows, and cancels when told to.
class RecordingHost : public SilentHost {
 public:
  void SetMessage(const std::string& text) override { messages.push_back(text); }
  void SelectFileRow(size_t row) override { selected.push_back(row); }
  bool CheckCancelled() override { return ++checks == cancelAtCheck; }
  void Warn(const std::string& path, const std::string&) override { warnings.push_back(path); }

  int cancelAtCheck = 0;  // 1-based; 0 never
  int checks = 0;
  std::vector<std::string> messages;
  std::vector<size_t> selected;
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

mode_t ModeOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class BackupTest : public ::testing::Test {
 protected:
  // A file with a fresh backup, then changed.
  std::string BackedUp(const std::string& name, const std::string& original) {
    std::string path = dir_.Write(name, original);
    std::string error;
    EXPECT_TRUE(MakeBackup(path, &error)) << error;
    ::strbatch::testing::WriteBytes(path, "changed");
    return path;
  }

  ScratchDir dir_;
  RecordingHost host_;
};

TEST_F(BackupTest, BackupCopiesBytesAndModeAndReplacesAnOlderOne) {
  const std::string bytes("a\0b\xFF\r\n", 6);
  std::string path = dir_.Write("report.txt", "first");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  std::string error;
  ASSERT_TRUE(MakeBackup(path, &error)) << error;
  ::strbatch::testing::WriteBytes(path, bytes);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  ASSERT_TRUE(MakeBackup(path, &error)) << error;
  EXPECT_EQ(dir_.Read("report.txt.bak"), bytes);
  EXPECT_EQ(ModeOf(dir_.File("report.txt.bak")), 0600u);
}

TEST_F(BackupTest, FailedBackupKeepsTheOlderOne) {
  std::string path = dir_.Write("f.txt", "old");
  std::string error;
  ASSERT_TRUE(MakeBackup(path, &error));
  ::strbatch::testing::WriteBytes(path, "newer and longer");
  FailingRewriter rewriter(4);
  EXPECT_FALSE(MakeBackup(path, &error, rewriter));
  EXPECT_EQ(dir_.Read("f.txt.bak"), "old");

  EXPECT_FALSE(MakeBackup(dir_.File("missing.txt"), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(Exists(dir_.File("missing.txt.bak")));
}

TEST_F(BackupTest, RestoreConsumesTheBackupOnce) {
  std::string path = BackedUp("f.txt", "original");
  std::vector<BackupRow> rows = {{path, true}};
  EXPECT_EQ(RestoreBackups(rows, host_), 1u);
  EXPECT_EQ(dir_.Read("f.txt"), "original");
  EXPECT_FALSE(Exists(path + ".bak"));

  ::strbatch::testing::WriteBytes(path, "edited after restore");
  EXPECT_EQ(RestoreBackups(rows, host_), 0u);
  EXPECT_EQ(dir_.Read("f.txt"), "edited after restore");
  EXPECT_TRUE(host_.warnings.empty());
}

TEST_F(BackupTest, FailedRestoreKeepsFileAndBackup) {
  std::string path = BackedUp("f.txt", "original content");
  FailingRewriter rewriter(5);
  EXPECT_EQ(RestoreBackups({{path, true}}, host_, rewriter), 0u);
  EXPECT_EQ(dir_.Read("f.txt"), "changed");
  EXPECT_EQ(dir_.Read("f.txt.bak"), "original content");
  EXPECT_EQ(host_.warnings, std::vector<std::string>{path});
}

TEST_F(BackupTest, RestoreVisitsCheckedRowsWithProgress) {
  std::vector<BackupRow> rows = {
      {BackedUp("a.txt", "A"), true},
      {BackedUp("b.txt", "B"), false},
      {dir_.Write("c.txt", "no backup"), true},
  };
  EXPECT_EQ(RestoreBackups(rows, host_), 1u);
  EXPECT_EQ(dir_.Read("a.txt"), "A");
  EXPECT_EQ(dir_.Read("b.txt"), "changed");
  EXPECT_TRUE(Exists(rows[1].path + ".bak"));
  EXPECT_EQ(dir_.Read("c.txt"), "no backup");
  const std::string text = GetText("1026");
  EXPECT_EQ(host_.messages, (std::vector<std::string>{text + "1/3", text + "3/3"}));
  EXPECT_EQ(host_.selected, (std::vector<size_t>{0, 2}));
  EXPECT_TRUE(host_.warnings.empty());
}

TEST_F(BackupTest, CancelStopsBeforeTheNextRow) {
  std::vector<BackupRow> rows = {
      {BackedUp("a.txt", "A"), true},
      {BackedUp("b.txt", "B"), true},
  };
  host_.cancelAtCheck = 2;
  EXPECT_EQ(RestoreBackups(rows, host_), 1u);
  EXPECT_EQ(dir_.Read("a.txt"), "A");
  EXPECT_EQ(dir_.Read("b.txt"), "changed");
  EXPECT_TRUE(Exists(rows[1].path + ".bak"));

  RecordingHost clearHost;
  clearHost.cancelAtCheck = 1;
  EXPECT_EQ(ClearBackups(rows, clearHost), 0u);
  EXPECT_TRUE(Exists(rows[1].path + ".bak"));
}

TEST_F(BackupTest, ClearDeletesOnlyCheckedBackups) {
  std::vector<BackupRow> rows = {
      {BackedUp("a.txt", "A"), true},
      {BackedUp("b.txt", "B"), false},
      {dir_.Write("c.txt", "no backup"), true},
  };
  EXPECT_EQ(ClearBackups(rows, host_), 1u);
  EXPECT_FALSE(Exists(rows[0].path + ".bak"));
  EXPECT_TRUE(Exists(rows[1].path + ".bak"));
  EXPECT_EQ(dir_.Read("a.txt"), "changed");
  const std::string text = GetText("1027");
  EXPECT_EQ(host_.messages, (std::vector<std::string>{text + "1/3", text + "3/3"}));
  EXPECT_TRUE(host_.warnings.empty());
}

}  // namespace
}  // namespace strbatch
