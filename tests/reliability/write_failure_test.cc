// Write failures: a fault injected at every step of the file layer, a real
// file-size limit (a full disk), read-only files, folders without write
// permission and files that vanish. The original always survives untouched,
// the run goes on with the next file, and the counts show nothing done for
// the file that failed.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/profile.h"
#include "base/safe_file.h"
#include "config/settings.h"
#include "batch/backup.h"
#include "batch/batch_driver.h"
#include "batch/code_conversion.h"
#include "batch/recording_host.h"
#include "lists/definition_file.h"
#include "reliability_support.h"
#include "sorttool/line_sort.h"
#include "test_support.h"
#include "viewer/viewer_text.h"

namespace strbatch {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using testing::FileState;
using testing::MemoryScratchDir;
using testing::RecordingHost;
using testing::ScratchDir;
using testing::StateOf;

// Fails the n-th step (a begin, a write or a commit) of all rewrites,
// counted from 0 across sessions; the other steps go to the real file
// system. A failed write leaves half its bytes in the temporary file.
class FaultAtStep : public FileRewriter {
 public:
  explicit FaultAtStep(int failAt) : failAt_(failAt) {}
  int steps() const { return steps_; }
  bool fired() const { return fired_; }

  std::unique_ptr<RewriteSession> Begin(const std::string& path, Message* error) override {
    if (Fails()) {
      *error = Message(MessageId::kCannotWrite).WithOsError(EIO);
      return nullptr;
    }
    auto real = DefaultFileRewriter().Begin(path, error);
    if (!real) return nullptr;
    return std::make_unique<Session>(this, std::move(real));
  }

 private:
  class Session : public RewriteSession {
   public:
    Session(FaultAtStep* owner, std::unique_ptr<RewriteSession> real)
        : owner_(owner), real_(std::move(real)) {}
    bool Write(const char* data, size_t size) override {
      if (failed_) return false;
      if (owner_->Fails()) {
        real_->Write(data, size / 2);
        failed_ = true;
        return false;
      }
      return real_->Write(data, size);
    }
    void SetMode(unsigned mode) override { real_->SetMode(mode); }
    bool Commit(Message* error) override {
      if (failed_ || owner_->Fails()) {
        *error = Message(MessageId::kCannotWrite).WithOsError(EIO);
        return false;
      }
      return real_->Commit(error);
    }

   private:
    FaultAtStep* owner_;
    std::unique_ptr<RewriteSession> real_;
    bool failed_ = false;
  };

  bool Fails() {
    if (steps_++ != failAt_) return false;
    fired_ = true;
    testing::AddToFigure("faults injected in the file layer", 1);
    return true;
  }

  int failAt_;
  int steps_ = 0;
  bool fired_ = false;
};

// Runs body once without a fault to count the steps, then once with a
// fault at each step.
void ForEveryStep(const std::function<void(FaultAtStep&)>& body) {
  FaultAtStep counting(-1);
  body(counting);
  ASSERT_GT(counting.steps(), 0);
  for (int n = 0; n < counting.steps(); n++) {
    SCOPED_TRACE("fault at step " + std::to_string(n) + " of " +
                 std::to_string(counting.steps()));
    FaultAtStep fault(n);
    body(fault);
    ASSERT_TRUE(fault.fired());
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Occurrences of find in text before the first NUL.
size_t Occurrences(const std::string& text, const std::string& find) {
  std::string head = text.substr(0, text.find('\0'));
  size_t count = 0;
  for (size_t at = head.find(find); at != std::string::npos; at = head.find(find, at + find.size())) {
    count++;
  }
  return count;
}

std::string Replaced(const std::string& text, const std::string& find, const std::string& to) {
  size_t end = text.find('\0');
  std::string head = text.substr(0, end), out;
  size_t at = 0;
  for (size_t hit; (hit = head.find(find, at)) != std::string::npos; at = hit + find.size()) {
    out += head.substr(at, hit - at) + to;
  }
  return out + head.substr(at) + (end == std::string::npos ? "" : text.substr(end));
}

class WriteFailureTest : public ::testing::Test {
 protected:
  // Files whose text has 0 to 5 occurrences of "alpha", some with bytes
  // after a NUL.
  void MakeFiles(size_t n) {
    paths_.clear();
    olds_.clear();
    for (size_t i = 0; i < n; i++) {
      std::string text = "line " + std::to_string(i) + ":";
      for (size_t k = 0; k < i % 6; k++) text += " alpha";
      if (i % 4 == 3) text += std::string("\0alpha", 6);
      paths_.push_back(memory_.File("f" + std::to_string(i) + ".txt"));
      olds_.push_back(text);
    }
  }
  void ResetFiles() {
    for (size_t i = 0; i < paths_.size(); i++) {
      testing::WriteBytes(paths_[i], olds_[i]);
      unlink(BackupPath(paths_[i]).c_str());
    }
  }
  void ExpectNoTemporaryFiles() { EXPECT_TRUE(testing::TempFilesIn(memory_.path()).empty()); }

  MemoryScratchDir memory_;
  std::vector<std::string> paths_;
  std::vector<std::string> olds_;
};

TEST_F(WriteFailureTest, BatchReplaceWithBackupsSurvivesAFaultAtEveryStep) {
  MakeFiles(12);
  ForEveryStep([&](FaultAtStep& fault) {
    ResetFiles();
    FileList files;
    DefinitionList definitions;
    for (const std::string& path : paths_) files.Append(path, true);
    definitions.Append("alpha", "ALPHA-GROWN", true);
    RecordingHost host;
    BatchRunner runner(files, definitions, host);
    runner.options.autoBackup = true;
    runner.SetFileRewriter(&fault);
    runner.BatchReplace();

    size_t failed = 0, total = 0;
    for (size_t i = 0; i < paths_.size(); i++) {
      const std::string now = testing::ReadBytes(paths_[i]);
      const std::string expected = Replaced(olds_[i], "alpha", "ALPHA-GROWN");
      const size_t count = Occurrences(olds_[i], "alpha");
      ASSERT_TRUE(now == olds_[i] || now == expected) << paths_[i];
      if (count > 0 && now == olds_[i]) {
        failed++;
        EXPECT_EQ(testing::CountText(files.Row(i).count), "0") << "a failed write counted as done";
      } else {
        EXPECT_EQ(testing::CountText(files.Row(i).count), std::to_string(count));
        total += count;
      }
      FileState backup = StateOf(BackupPath(paths_[i]));
      if (backup.exists) {
        EXPECT_EQ(backup.bytes, olds_[i]);
      }
    }
    EXPECT_LE(failed, 1u) << "the run did not go on after a failure";
    EXPECT_EQ(testing::CountText(definitions.Row(0).count), std::to_string(total));
    if (fault.fired()) {
      EXPECT_EQ(host.warnings.size(), 1u);
    } else {
      EXPECT_TRUE(host.warnings.empty());
    }
    ExpectNoTemporaryFiles();
  });
}

TEST_F(WriteFailureTest, ConversionSurvivesAFaultAtEveryStep) {
  std::string simplified;
  CodePage(CodePage::kGbk).FromUtf8("简体中文", &simplified);
  MakeFiles(6);
  for (std::string& text : olds_) text = simplified + text;
  // The converted bytes, from a run without faults.
  ResetFiles();
  std::vector<std::string> converted;
  for (const std::string& path : paths_) {
    Message error;
    ASSERT_TRUE(ConvertGbkToBig5(path, &error, DefaultFileRewriter())) << error;
    converted.push_back(testing::ReadBytes(path));
  }
  ForEveryStep([&](FaultAtStep& fault) {
    ResetFiles();
    FileList files;
    DefinitionList definitions;
    for (const std::string& path : paths_) files.Append(path, true);
    RecordingHost host;
    BatchRunner runner(files, definitions, host);
    runner.SetFileRewriter(&fault);
    runner.ConvertCode(CodeConversion::GbkToBig5);
    size_t failed = 0;
    for (size_t i = 0; i < paths_.size(); i++) {
      const std::string now = testing::ReadBytes(paths_[i]);
      ASSERT_TRUE(now == olds_[i] || now == converted[i]) << paths_[i];
      if (now == olds_[i]) failed++;
    }
    EXPECT_EQ(failed, fault.fired() ? 1u : 0u);
    EXPECT_EQ(host.warnings.size(), failed);
    ExpectNoTemporaryFiles();
  });
}

TEST_F(WriteFailureTest, RestoreAndSortSurviveAFaultAtEveryStep) {
  MakeFiles(8);
  std::vector<CheckedPath> backupRows;
  std::vector<CheckedPath> sortRows;
  for (const std::string& path : paths_) {
    backupRows.push_back({path, true});
    sortRows.push_back({path, true});
  }
  ForEveryStep([&](FaultAtStep& fault) {
    ResetFiles();
    for (const std::string& path : paths_) testing::WriteBytes(BackupPath(path), "backup of " + path);
    RecordingHost host;
    size_t restored = RestoreBackups(backupRows, host, LanguageCatalog(), fault);
    EXPECT_EQ(restored, paths_.size() - (fault.fired() ? 1 : 0));
    for (size_t i = 0; i < paths_.size(); i++) {
      FileState file = StateOf(paths_[i]);
      FileState backup = StateOf(BackupPath(paths_[i]));
      if (file.bytes == olds_[i]) {
        // Not restored: the backup must still be there for another try.
        ASSERT_TRUE(backup.exists) << paths_[i];
        EXPECT_EQ(backup.bytes, "backup of " + paths_[i]);
      } else {
        EXPECT_EQ(file.bytes, "backup of " + paths_[i]);
        EXPECT_FALSE(backup.exists);
      }
    }
    EXPECT_EQ(host.warnings.size(), fault.fired() ? 1u : 0u);
    ExpectNoTemporaryFiles();
  });
  ForEveryStep([&](FaultAtStep& fault) {
    for (size_t i = 0; i < paths_.size(); i++) {
      testing::WriteBytes(paths_[i], "b line\nc line " + std::to_string(i) + "\na line\n");
    }
    RecordingHost host;
    size_t sorted = RunLineSort(sortRows, SortOptions{}, host, fault);
    EXPECT_EQ(sorted, paths_.size() - (fault.fired() ? 1 : 0));
    size_t untouched = 0;
    for (size_t i = 0; i < paths_.size(); i++) {
      std::string now = testing::ReadBytes(paths_[i]);
      std::string tail = std::to_string(i);
      if (now == "b line\nc line " + tail + "\na line\n") {
        untouched++;
      } else {
        EXPECT_EQ(now, "a line\nb line\nc line " + tail + "\n");
      }
    }
    EXPECT_EQ(untouched, paths_.size() - sorted);
    ExpectNoTemporaryFiles();
  });
}

// Every other writer of the program, one file each: a failure at any step
// gives false and leaves the old bytes.
TEST_F(WriteFailureTest, EverySaveKeepsTheOldFileOnAFaultAtEveryStep) {
  const std::string old = "[option]\r\nCase=0\r\n; the user's own comment\r\n";
  const std::string path = memory_.File("saved.ini");
  struct Writer {
    const char* name;
    std::function<bool(FileRewriter&, Message*)> save;
  };
  Options settings;
  settings.language = Language::English;
  const std::vector<Writer> writers = {
      {"viewer", [&](FileRewriter& r, Message* e) {
         return SaveViewerText(r, path, {"edited", "text"}, e);
       }},
      {"definition file", [&](FileRewriter& r, Message* e) {
         return SaveDefinitionFile(r, path, {{"find", "replace"}}, e);
       }},
      {"settings", [&](FileRewriter& r, Message* e) {
         return SaveSettings(r, path, settings, e);
       }},
      {"profile", [&](FileRewriter& r, Message* e) {
         return WriteProfileStrings(r, path, "Sort3", {{"ByFile", "/a/table"}}, e);
       }},
      {"backup", [&](FileRewriter& r, Message* e) {
         std::string source = memory_.File("source");
         testing::WriteBytes(source, "the file to back up");
         return MakeBackup(source, e, r) && rename(BackupPath(source).c_str(), path.c_str()) == 0;
       }},
  };
  for (const Writer& writer : writers) {
    SCOPED_TRACE(writer.name);
    ForEveryStep([&](FaultAtStep& fault) {
      testing::WriteBytes(path, old);
      Message error;
      const bool saved = writer.save(fault, &error);
      EXPECT_EQ(saved, !fault.fired());
      if (fault.fired()) {
        EXPECT_EQ(testing::ReadBytes(path), old);
        EXPECT_FALSE(error.Empty());
      } else {
        EXPECT_NE(testing::ReadBytes(path), old);
      }
      ExpectNoTemporaryFiles();
    });
  }
}

// The command-line program under a real file-size limit, as on a disk that
// fills up: exactly the files whose new content would pass the limit fail,
// each is named on the error output and counted 0, and the rest are done.
TEST_F(WriteFailureTest, FileSizeLimitFailsExactlyTheFilesThatOutgrowIt) {
  const std::vector<size_t> repeats = {1, 10, 100, 700, 1000, 5000};
  // No journal: its own writes would meet the limit first.
  std::vector<std::string> args = {"replace", "-y",          "-b", "--no-undo",
                                   "-d",      "alpha", "ALPHA-GROWN", "--"};
  for (size_t k : repeats) args.push_back(memory_.File("r" + std::to_string(k)));
  for (int64_t limit : {int64_t{0}, int64_t{100}, int64_t{8192}, int64_t{12000}, int64_t{65536}}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    for (size_t k : repeats) {
      std::string old;
      for (size_t r = 0; r < k; r++) old += "alpha\n";
      testing::WriteBytes(memory_.File("r" + std::to_string(k)), old);
      unlink(BackupPath(memory_.File("r" + std::to_string(k))).c_str());
    }
    ChildOptions options;
    options.fileSizeLimit = limit;
    ChildResult result = testing::RunCli(args, options);
    ASSERT_EQ(result.signal, 0);
    testing::AddToFigure("runs under a file-size limit", 1);
    for (size_t k : repeats) {
      const std::string path = memory_.File("r" + std::to_string(k));
      const size_t oldSize = 6 * k, newSize = 12 * k;
      const std::string now = testing::ReadBytes(path);
      const bool fits = static_cast<int64_t>(newSize) <= limit;
      EXPECT_EQ(now.size(), fits ? newSize : oldSize) << path;
      EXPECT_EQ(StateOf(BackupPath(path)).exists, static_cast<int64_t>(oldSize) <= limit) << path;
      const std::string countLine = (fits ? std::to_string(k) : "0") + "\t" + path + "\n";
      EXPECT_NE(result.out.find(countLine), std::string::npos) << result.out;
      EXPECT_EQ(result.err.find(path + ":") != std::string::npos, !fits ||
                                                                      static_cast<int64_t>(oldSize) > limit)
          << result.err;
    }
    ExpectNoTemporaryFiles();
  }
}

// Permission tests run as an ordinary user: root may write any file.
class PermissionTest : public WriteFailureTest {
 protected:
  void SetUp() override {
    // Scratch folders under /tmp are private to root; the test user gets its
    // own folder and its own private temporary directory.
    base_ = scratch_.File("user");
    ASSERT_EQ(mkdir(base_.c_str(), 0755), 0);
    ASSERT_EQ(chmod(scratch_.path().c_str(), 0755), 0);
    privateDir_ = base_ + "/private";
    ASSERT_EQ(mkdir(privateDir_.c_str(), 0700), 0);
    options_.unprivileged = true;
    options_.privateDir = privateDir_;
  }
  // Makes everything below base_ the test user's, then applies the modes.
  void HandOver(const std::map<std::string, unsigned>& modes) {
    testing::GiveToTestUser(base_);
    for (const auto& [path, mode] : modes) ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
  }
  std::vector<std::string> CopiesKept() const {
    std::vector<std::string> copies;
    for (const std::string& name : testing::ListFolder(privateDir_)) {
      if (name.rfind("in-place-", 0) == 0) copies.push_back(name);
    }
    return copies;
  }

  ScratchDir scratch_;
  std::string base_;
  std::string privateDir_;
  ChildOptions options_;
};

TEST_F(PermissionTest, ReadOnlyFileIsLeftAndTheRunGoesOn) {
  const std::string a = base_ + "/a.txt", locked = base_ + "/locked.txt", c = base_ + "/c.txt";
  for (const std::string& path : {a, locked, c}) testing::WriteBytes(path, "alpha alpha");
  HandOver({{locked, 0444}});
  const ino_t inode = StateOf(locked).inode;
  ChildResult result = testing::RunCli({"replace", "-y", "-d", "alpha", "beta", a, locked, c},
                                       options_);
  ASSERT_EQ(result.signal, 0);
  EXPECT_EQ(testing::ReadBytes(a), "beta beta");
  EXPECT_EQ(testing::ReadBytes(c), "beta beta");
  EXPECT_EQ(StateOf(locked).bytes, "alpha alpha");
  EXPECT_EQ(StateOf(locked).inode, inode) << "a read-only file was replaced";
  EXPECT_EQ(StateOf(locked).mode, 0444u);
  EXPECT_NE(result.out.find("0\t" + locked + "\n"), std::string::npos) << result.out;
  EXPECT_NE(result.err.find(locked), std::string::npos) << result.err;
  EXPECT_TRUE(testing::TempFilesIn(base_).empty());
}

TEST_F(PermissionTest, FolderWithoutWritePermission) {
  const std::string folder = base_ + "/closed";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const std::string locked = folder + "/locked.txt", open = folder + "/open.txt";
  const std::string old = std::string(3000, 'x') + "alpha" + std::string("\0tail", 5);
  testing::WriteBytes(locked, old);
  testing::WriteBytes(open, old);
  HandOver({{locked, 0444}, {open, 0640}, {folder, 0555}});
  const ino_t openInode = StateOf(open).inode;
  const std::vector<std::string> args = {"replace", "-y", "-d", "alpha", "ALPHA-GROWN",
                                         locked, open};

  // A limit below the new size: the in-place write fails and the kept copy
  // is put back.
  ChildOptions limited = options_;
  limited.fileSizeLimit = static_cast<int64_t>(old.size()) + 2;
  ChildResult result = testing::RunCli(args, limited);
  ASSERT_EQ(result.signal, 0);
  EXPECT_EQ(StateOf(open).bytes, old);
  EXPECT_NE(result.out.find("0\t" + open + "\n"), std::string::npos) << result.out;
  EXPECT_NE(result.err.find(open), std::string::npos) << result.err;
  EXPECT_TRUE(CopiesKept().empty());

  // Without a usable private directory there is nowhere to keep a copy, so
  // nothing is written; nor is there a journal, which -y goes on without,
  // saying so.
  ChildOptions nowhere = options_;
  nowhere.privateDir = base_ + "/no-such-parent/x";
  ASSERT_EQ(mkdir((base_ + "/no-such-parent").c_str(), 0500), 0);
  testing::GiveToTestUser(base_ + "/no-such-parent");
  result = testing::RunCli(args, nowhere);
  EXPECT_EQ(StateOf(open).bytes, old);
  EXPECT_NE(result.err.find(open), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("cannot be recorded for undo"), std::string::npos) << result.err;

  // Otherwise the writable file is rewritten in place, the read-only one
  // is left, and no copy stays behind.
  result = testing::RunCli(args, options_);
  ASSERT_EQ(result.exitCode, 1) << result.err;  // the read-only file is reported
  EXPECT_EQ(StateOf(locked).bytes, old);
  EXPECT_NE(result.err.find(locked), std::string::npos) << result.err;
  FileState now = StateOf(open);
  EXPECT_EQ(now.bytes, Replaced(old, "alpha", "ALPHA-GROWN"));
  EXPECT_EQ(now.inode, openInode);
  EXPECT_EQ(now.mode, 0640u);
  EXPECT_NE(result.out.find("1\t" + open + "\n"), std::string::npos) << result.out;
  EXPECT_TRUE(CopiesKept().empty());
  EXPECT_EQ(testing::ListFolder(folder), (std::vector<std::string>{"locked.txt", "open.txt"}));

  // Undo writes in place too, from the journal's copy.
  result = testing::RunCli({"undo", "-y"}, options_);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  now = StateOf(open);
  EXPECT_EQ(now.bytes, old);
  EXPECT_EQ(now.inode, openInode);
  EXPECT_EQ(now.mode, 0640u);
  EXPECT_TRUE(CopiesKept().empty());
}

TEST_F(PermissionTest, InPlaceRewriteUndoneWhenAbandonedAndCopyKeptWhenKilled) {
  const std::string folder = base_ + "/closed";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const std::string path = folder + "/file.txt";
  const std::string old = "the original bytes, longer than what is written";
  testing::WriteBytes(path, old);
  HandOver({{folder, 0555}});

  // Abandoned after a write: the original comes back, shorter or not.
  ChildResult abandoned = testing::RunInChild(options_, [&] {
    Message error;
    auto session = DefaultFileRewriter().Begin(path, &error);
    if (!session) return 1;
    return session->Write("NEW") ? 0 : 2;
  });
  ASSERT_EQ(abandoned.exitCode, 0);
  EXPECT_EQ(testing::ReadBytes(path), old);
  EXPECT_TRUE(CopiesKept().empty());

  // Killed in the middle of the write: the copy and a note of the file's
  // path stay in the private directory.
  ChildResult killed = testing::RunInChild(options_, [&] {
    Message error;
    auto session = DefaultFileRewriter().Begin(path, &error);
    if (!session || !session->Write("NEW")) return 1;
    _exit(0);
  });
  ASSERT_EQ(killed.exitCode, 0);
  std::vector<std::string> copies = CopiesKept();
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(testing::ReadBytes(privateDir_ + "/" + copies[0]), old);
  EXPECT_EQ(testing::ReadBytes(privateDir_ + "/" + copies[1]), path + "\n");
}

// A script that runs the command line must be able to tell from the exit
// status that a file could not be processed; the counts alone say nothing
// of a file that failed.
TEST_F(WriteFailureTest, ExitStatusTellsThatAFileWasNotProcessed) {
  MakeFiles(2);
  ResetFiles();
  unlink(paths_[0].c_str());
  ChildResult result = testing::RunCli({"replace", "-y", "-d", "alpha", "beta", paths_[0],
                                        paths_[1]});
  EXPECT_NE(result.err.find(paths_[0]), std::string::npos) << result.err;
  EXPECT_EQ(testing::ReadBytes(paths_[1]), Replaced(olds_[1], "alpha", "beta"));
  EXPECT_NE(result.exitCode, 0) << "a run with a failed file ended as a success";
}

TEST_F(WriteFailureTest, FileThatVanishedAfterListingIsReportedAndSkipped) {
  MakeFiles(3);
  ResetFiles();
  FileList files;
  DefinitionList definitions;
  for (const std::string& path : paths_) files.Append(path, true);
  definitions.Append("alpha", "beta", true);
  unlink(paths_[1].c_str());
  RecordingHost host;
  BatchRunner runner(files, definitions, host);
  runner.BatchReplace();
  EXPECT_FALSE(StateOf(paths_[1]).exists) << "a vanished file came back";
  EXPECT_EQ(testing::CountText(files.Row(1).count), "0");
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_NE(host.warnings[0].find(paths_[1]), std::string::npos);
  EXPECT_EQ(testing::CountText(files.Row(2).count), "2");
  EXPECT_EQ(testing::ReadBytes(paths_[2]), Replaced(olds_[2], "alpha", "beta"));
}

}  // namespace
}  // namespace strbatch
