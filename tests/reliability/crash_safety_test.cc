// Kills the command-line program (and, for the viewer's save, a process that
// saves files) with SIGKILL at random moments of a run over many files, then
// checks what the kill left: every file holds either its old or its new
// bytes, keeps its mode, and is neither lost nor doubled; every stray file is
// one of this program's recognisable temporary files, and the next run over
// that folder removes them.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/code_page.h"
#include "base/safe_file.h"
#include "batch/backup.h"
#include "batch/code_conversion.h"
#include "journal/undo_journal.h"
#include "reliability_support.h"
#include "sorttool/line_sort.h"
#include "test_support.h"
#include "viewer/viewer_text.h"

namespace strbatch {
namespace {

using testing::ChildOptions;
using testing::FileState;
using testing::ScratchDir;
using testing::StateOf;
using testing::TestRandom;

constexpr int kKills = 20;
constexpr size_t kFiles = 1000;
constexpr unsigned kModes[] = {0644, 0600, 0640, 0755, 0664};

// GBK bytes of two characters whose second bytes are not ASCII, so the
// plain search for ASCII words cannot land inside them.
const std::string kChinese = "\xD6\xD0\xCE\xC4";

// One file of a run: where it is before and after the command, and the only
// two contents it may have.
struct Expected {
  std::string path;
  std::string newPath;
  std::string oldBytes;
  std::string newBytes;
  unsigned mode = 0;
  ino_t inode = 0;
};

// Varied text: empty files, files without occurrences, bytes after a NUL,
// and every 97th file large so that kills often land inside a write.
std::string SampleText(size_t i) {
  if (i % 250 == 0) return "";
  std::string line = i % 11 == 0 ? "no occurrence " + std::to_string(i) + "\n"
                                 : "alpha beta " + kChinese + " line " + std::to_string(i) + "\r\n";
  std::string text;
  for (size_t r = 0, n = i % 97 == 0 ? 8192 : 1 + i % 5; r < n; r++) text += line;
  if (i % 7 == 0) text += std::string("\0alpha tail \xFF", 13);
  return text;
}

// The plain replacement of find by replace before the first NUL.
std::string ReplaceBeforeNul(std::string text, const std::string& find,
                             const std::string& replace) {
  size_t end = text.find('\0');
  std::string head = text.substr(0, end);
  std::string tail = end == std::string::npos ? "" : text.substr(end);
  std::string out;
  size_t at = 0;
  for (size_t hit; (hit = head.find(find, at)) != std::string::npos; at = hit + find.size()) {
    out += head.substr(at, hit - at) + replace;
  }
  return out + head.substr(at) + tail;
}

// A command line: the command and its options, then the paths.
std::vector<std::string> Command(std::vector<std::string> args,
                                 const std::vector<std::string>& paths) {
  args.push_back("--");
  args.insert(args.end(), paths.begin(), paths.end());
  return args;
}

class CrashSafetyTest : public ::testing::Test {
 protected:
  // The files of a test: names, the two contents each may have, and modes.
  void Plan(const std::function<std::string(size_t)>& name,
            const std::function<std::string(size_t)>& oldBytes,
            const std::function<std::string(size_t)>& newBytes,
            const std::function<std::string(size_t)>& newName = nullptr) {
    folder_ = memory_.File("files");
    ASSERT_EQ(mkdir(folder_.c_str(), 0755), 0);
    files_.clear();
    for (size_t i = 0; i < kFiles; i++) {
      Expected file;
      file.path = folder_ + "/" + name(i);
      file.newPath = newName ? folder_ + "/" + newName(i) : file.path;
      file.oldBytes = oldBytes(i);
      file.newBytes = newBytes(i);
      file.mode = kModes[i % std::size(kModes)];
      files_.push_back(file);
    }
  }

  // Puts every file back in its old state before the next kill.
  void Reset() {
    for (Expected& file : files_) {
      if (file.newPath != file.path) rename(file.newPath.c_str(), file.path.c_str());
      unlink(BackupPath(file.path).c_str());
      testing::WriteBytes(file.path, file.oldBytes);
      ASSERT_EQ(chmod(file.path.c_str(), file.mode), 0);
      file.inode = StateOf(file.path).inode;
    }
    ASSERT_EQ(testing::ListFolder(folder_).size(), files_.size());
  }

  // The files that still hold their old state, for a second run.
  std::vector<std::string> OldPaths() const {
    std::vector<std::string> paths;
    for (const Expected& file : files_) {
      FileState state = StateOf(file.path);
      if (state.exists && (state.bytes != file.newBytes || file.path != file.newPath)) {
        paths.push_back(file.path);
      }
    }
    return paths;
  }

  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (const Expected& file : files_) paths.push_back(file.path);
    return paths;
  }

  // A random file that the command changes, from the first nine tenths.
  size_t PickChangingFile(TestRandom& random) const {
    size_t k = random.Below(kFiles * 9 / 10);
    while (files_[k].oldBytes == files_[k].newBytes && files_[k].path == files_[k].newPath) k++;
    return k;
  }

  // Kills pid soon after file k has been handled, unless it ended first.
  void KillAfterFile(pid_t pid, size_t k, TestRandom& random) {
    const Expected& file = files_[k];
    bool running = testing::WaitWhileRunning(pid, [&] {
      struct stat st;
      if (file.path != file.newPath) return lstat(file.path.c_str(), &st) != 0;
      return lstat(file.path.c_str(), &st) == 0 && st.st_ino != file.inode;
    });
    if (running) {
      usleep(static_cast<useconds_t>(random.Below(500)));
      kill(pid, SIGKILL);
    }
    testing::ChildResult result = testing::FinishCli(pid);
    testing::AddToFigure("kills attempted", 1);
    attempted_++;
    if (result.signal == SIGKILL) {
      testing::AddToFigure("kills that landed mid-run", 1);
      landed_++;
    }
  }

  // What any kill may leave. extraNames: other files the command may leave
  // beside the listed ones (backups).
  void ExpectOldOrNew(const std::set<std::string>& extraNames = {}) {
    std::set<std::string> known = extraNames;
    for (const Expected& file : files_) {
      FileState before = StateOf(file.path);
      FileState after = StateOf(file.newPath);
      known.insert(file.path.substr(folder_.size() + 1));
      known.insert(file.newPath.substr(folder_.size() + 1));
      if (file.path != file.newPath) {
        ASSERT_NE(before.exists, after.exists) << file.path << " lost or doubled";
        if (after.exists) before = after;
      }
      ASSERT_TRUE(before.exists) << file.path;
      ASSERT_TRUE(before.bytes == file.oldBytes || before.bytes == file.newBytes)
          << file.path << " holds neither its old nor its new bytes";
      EXPECT_EQ(before.mode, file.mode) << file.path;
    }
    for (const std::string& name : testing::ListFolder(folder_)) {
      if (known.count(name)) continue;
      ASSERT_TRUE(IsSiblingTempName(name)) << "unexpected file " << name;
      testing::AddToFigure("temporary files left by kills", 1);
    }
  }

  // After an uninterrupted second run: everything done, nothing stray.
  void ExpectAllNewAndNoTemps() {
    for (const Expected& file : files_) {
      FileState state = StateOf(file.newPath);
      ASSERT_TRUE(state.exists) << file.newPath;
      ASSERT_EQ(state.bytes, file.newBytes) << file.newPath;
      EXPECT_EQ(state.mode, file.mode) << file.newPath;
    }
    EXPECT_TRUE(testing::TempFilesIn(folder_).empty());
  }

  // Runs the command to its end over paths (when there are any).
  static void RunAgain(const std::vector<std::string>& args,
                       const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    testing::ChildResult result = testing::RunCli(Command(args, paths));
    ASSERT_EQ(result.exitCode, 0) << "signal " << result.signal << ": " << result.err;
  }

  // Kills command amid a run, undoes it, kills the undo of that undo,
  // finishes that and undoes again, checking the files after each step.
  void KillRunAndUndo(const std::vector<std::string>& command, uint64_t seeds);

  // A test whose kills mostly came too late would prove nothing.
  void TearDown() override {
    if (attempted_ > 0) {
      EXPECT_GE(landed_, attempted_ / 2);
    }
  }

  ScratchDir scratch_;
  testing::MemoryScratchDir memory_;
  std::string folder_;
  std::vector<Expected> files_;
  int attempted_ = 0;
  int landed_ = 0;
};

TEST_F(CrashSafetyTest, KilledReplaceLeavesEveryFileOldOrNew) {
  const std::vector<std::string> replace = {"replace", "-y", "-d", "alpha", "ALPHA-GROWN",
                                            "-d",      "beta", "b"};
  Plan([](size_t i) { return "f" + std::to_string(i) + ".txt"; }, SampleText, [](size_t i) {
    return ReplaceBeforeNul(ReplaceBeforeNul(SampleText(i), "alpha", "ALPHA-GROWN"), "beta", "b");
  });
  for (int seed = 1; seed <= kKills; seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TestRandom random(static_cast<uint64_t>(seed));
    Reset();
    // Odd seeds keep backups too, whose writes a kill may also cut short.
    const bool backups = seed % 2 == 1;
    std::vector<std::string> args = replace;
    if (backups) args.push_back("-b");
    KillAfterFile(testing::StartCli(Command(args, Paths())), PickChangingFile(random), random);
    std::set<std::string> backupNames;
    for (const Expected& file : files_) {
      FileState backup = StateOf(BackupPath(file.path));
      if (!backup.exists) continue;
      ASSERT_TRUE(backups);
      EXPECT_EQ(backup.bytes, file.oldBytes) << BackupPath(file.path);
      EXPECT_EQ(backup.mode, file.mode) << BackupPath(file.path);
      backupNames.insert(file.path.substr(folder_.size() + 1) + ".bak");
    }
    ExpectOldOrNew(backupNames);
    RunAgain(replace, OldPaths());
    ExpectAllNewAndNoTemps();
    if (HasFatalFailure()) return;
  }
}

// A kill during a run, then during the undo of its undo: each undo must
// take back exactly the files its journal holds as changed (by the file's
// state where the kill came before the done mark), the undo after a killed
// undo must finish it, and no file may be lost, doubled or mixed.
void CrashSafetyTest::KillRunAndUndo(const std::vector<std::string>& command, uint64_t seeds) {
  std::string root;
  Message error;
  ASSERT_TRUE(DefaultJournalRoot(&root, &error)) << error;
  // The files the command changed, with the inodes they have now.
  auto changedNow = [&] {
    std::vector<size_t> changed;
    for (size_t i = 0; i < files_.size(); i++) {
      Expected& file = files_[i];
      file.inode = StateOf(file.path).inode;
      const bool moved = file.path != file.newPath && StateOf(file.newPath).exists;
      const bool rewritten = file.oldBytes != file.newBytes &&
                             StateOf(file.path).bytes == file.newBytes;
      if (moved || rewritten) changed.push_back(i);
    }
    return changed;
  };
  // Runs undo to its end; it must name as many files as changed.
  auto undoAll = [&](size_t changed) {
    testing::ChildResult result = testing::RunCli({"undo", "-y"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(std::stoul(result.out), changed) << result.out;
    for (const Expected& file : files_) {
      ASSERT_EQ(StateOf(file.path).bytes, file.oldBytes) << file.path;
      EXPECT_EQ(StateOf(file.path).mode, file.mode) << file.path;
      if (file.newPath != file.path) {
        ASSERT_FALSE(StateOf(file.newPath).exists) << file.newPath;
      }
    }
  };
  for (uint64_t seed = 1; seed <= static_cast<uint64_t>(kKills / 2); seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TestRandom random(seed + seeds);
    Reset();
    std::filesystem::remove_all(root);
    KillAfterFile(testing::StartCli(Command(command, Paths())), PickChangingFile(random), random);
    ExpectOldOrNew();
    std::vector<size_t> changed = changedNow();
    undoAll(changed.size());
    if (HasFatalFailure() || changed.empty()) return;

    // Redo, killed after one of the files it puts back; the next undo
    // finishes the redo (the files it redid count as done), and the one
    // after takes it all back. A kill after the redo's journal ended came
    // too late: that undo takes the redo back at once.
    changedNow();
    KillAfterFile(testing::StartCli({"undo", "-y"}), changed[random.Below(changed.size())],
                  random);
    ExpectOldOrNew();
    const std::vector<JournalRun> runs = ListJournals(root);
    ASSERT_FALSE(runs.empty());
    if (!runs.back().finished) {
      const size_t redone = changedNow().size();
      testing::ChildResult result = testing::RunCli({"undo", "-y"});
      ASSERT_EQ(result.exitCode, 0) << result.err;
      EXPECT_EQ(std::stoul(result.out), changed.size() - redone) << result.out;
      EXPECT_EQ(changedNow(), changed);
    }
    undoAll(changed.size());
    EXPECT_TRUE(testing::TempFilesIn(folder_).empty());
    if (HasFatalFailure()) return;
  }
}

TEST_F(CrashSafetyTest, KilledReplaceAndKilledUndoAreTakenBackExactly) {
  Plan([](size_t i) { return "f" + std::to_string(i) + ".txt"; }, SampleText,
       [](size_t i) { return ReplaceBeforeNul(SampleText(i), "alpha", "ALPHA-GROWN"); });
  KillRunAndUndo({"replace", "-y", "-d", "alpha", "ALPHA-GROWN"}, 600);
}

TEST_F(CrashSafetyTest, KilledRenameAndKilledUndoAreTakenBackExactly) {
  Plan([](size_t i) { return "name-" + std::to_string(i) + ".txt"; },
       [](size_t i) { return "content of " + std::to_string(i) + "\n"; },
       [](size_t i) { return "content of " + std::to_string(i) + "\n"; },
       [](size_t i) { return "done-" + std::to_string(i) + ".txt"; });
  KillRunAndUndo({"rename", "-y", "-d", "name", "done"}, 700);
}

// Ctrl-C stops the run at its next step and says so: a script must be able
// to tell an interrupted run from one that found nothing.
TEST_F(CrashSafetyTest, InterruptedReplaceSaysWhereItStopped) {
  const std::vector<std::string> replace = {"replace", "-y", "--json", "--lang", "en",
                                            "-d",      "alpha", "ALPHA-GROWN"};
  Plan([](size_t i) { return "f" + std::to_string(i) + ".txt"; }, SampleText,
       [](size_t i) { return ReplaceBeforeNul(SampleText(i), "alpha", "ALPHA-GROWN"); });
  Reset();
  const pid_t pid = testing::StartCli(Command(replace, Paths()));
  const Expected& file = files_[kFiles / 10];
  const bool running = testing::WaitWhileRunning(pid, [&] {
    return StateOf(file.path).inode != file.inode;
  });
  if (running) kill(pid, SIGINT);
  const testing::ChildResult result = testing::FinishCli(pid);
  if (!running) GTEST_SKIP() << "the run ended before it could be interrupted";
  EXPECT_EQ(result.exitCode, 130) << result.err;
  const size_t at = result.err.find("strbatch-cli: stopped after file ");
  ASSERT_NE(at, std::string::npos) << result.err;
  const size_t stoppedAfter = std::stoul(result.err.substr(at + 33));
  EXPECT_GT(stoppedAfter, kFiles / 10);
  EXPECT_LT(stoppedAfter, kFiles);
  EXPECT_NE(result.err.find(" of " + std::to_string(kFiles) + "\n"), std::string::npos);
  EXPECT_EQ(result.out.rfind("{\"stopped\":true,\"files\":[", 0), 0u) << result.out.substr(0, 80);
  // The files after the stop are untouched.
  EXPECT_EQ(StateOf(files_[kFiles - 1].path).bytes, files_[kFiles - 1].oldBytes);
  ExpectOldOrNew();
}

TEST_F(CrashSafetyTest, KilledRenameNeitherLosesNorDoublesAFile) {
  const std::vector<std::string> rename = {"rename", "-y", "-d", "name", "done"};
  Plan([](size_t i) { return "name-" + std::to_string(i) + ".txt"; },
       [](size_t i) { return "content of " + std::to_string(i) + "\n"; },
       [](size_t i) { return "content of " + std::to_string(i) + "\n"; },
       [](size_t i) { return "done-" + std::to_string(i) + ".txt"; });
  for (int seed = 1; seed <= kKills; seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TestRandom random(static_cast<uint64_t>(seed) + 100);
    Reset();
    KillAfterFile(testing::StartCli(Command(rename, Paths())), PickChangingFile(random), random);
    ExpectOldOrNew();
    RunAgain(rename, OldPaths());
    ExpectAllNewAndNoTemps();
    if (HasFatalFailure()) return;
  }
}

TEST_F(CrashSafetyTest, KilledConversionLeavesEveryFileOldOrNew) {
  const std::vector<std::string> convert = {"convert", "-y", "--to", "big5"};
  std::string simplified;
  CodePage(CodePage::kGbk).FromUtf8("简体中文的转换，还有 English 与数字 ", &simplified);
  auto text = [&](size_t i) {
    std::string bytes;
    for (size_t r = 0, n = i % 97 == 0 ? 512 : 1 + i % 4; r < n; r++) {
      bytes += simplified + std::to_string(i) + "\r\n";
    }
    return bytes;
  };
  // The converted bytes come from the conversion itself, run on a copy.
  const std::string reference = memory_.File("reference");
  auto converted = [&](size_t i) {
    testing::WriteBytes(reference, text(i));
    Message error;
    EXPECT_TRUE(ConvertGbkToBig5(reference, &error, DefaultFileRewriter())) << error;
    return testing::ReadBytes(reference);
  };
  Plan([](size_t i) { return "c" + std::to_string(i) + ".txt"; }, text, converted);
  for (int seed = 1; seed <= kKills; seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TestRandom random(static_cast<uint64_t>(seed) + 200);
    Reset();
    KillAfterFile(testing::StartCli(Command(convert, Paths())), PickChangingFile(random),
                  random);
    ExpectOldOrNew();
    // Only what is still GBK is converted again.
    RunAgain(convert, OldPaths());
    ExpectAllNewAndNoTemps();
    if (HasFatalFailure()) return;
  }
}

TEST_F(CrashSafetyTest, KilledRestoreKeepsABackupUntilItsFileHoldsIt) {
  auto backup = [](size_t i) {
    return std::string(i % 97 == 0 ? 200000 : 1 + i % 300, 'b') + std::to_string(i);
  };
  Plan([](size_t i) { return "r" + std::to_string(i) + ".txt"; },
       [](size_t i) { return "changed " + std::to_string(i) + "\n"; }, backup);
  for (int seed = 1; seed <= kKills; seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TestRandom random(static_cast<uint64_t>(seed) + 300);
    Reset();
    std::set<std::string> backupNames;
    for (size_t i = 0; i < kFiles; i++) {
      testing::WriteBytes(BackupPath(files_[i].path), backup(i));
      backupNames.insert("r" + std::to_string(i) + ".txt.bak");
    }
    KillAfterFile(testing::StartCli(Command({"restore"}, Paths())), PickChangingFile(random),
                  random);
    ExpectOldOrNew(backupNames);
    for (const Expected& file : files_) {
      FileState kept = StateOf(BackupPath(file.path));
      if (StateOf(file.path).bytes == file.oldBytes) {
        ASSERT_TRUE(kept.exists) << "backup gone before " << file.path << " was restored";
      }
      if (kept.exists) {
        ASSERT_EQ(kept.bytes, file.newBytes);
      }
    }
    // Also the files whose backup outlived the kill after their restore.
    RunAgain({"restore"}, Paths());
    ExpectAllNewAndNoTemps();
    for (const Expected& file : files_) EXPECT_FALSE(StateOf(BackupPath(file.path)).exists);
    if (HasFatalFailure()) return;
  }
}

TEST_F(CrashSafetyTest, KilledLineSortLeavesEveryFileOldOrSorted) {
  auto text = [](size_t i) {
    std::string bytes;
    for (size_t line = 0, n = i % 97 == 0 ? 20000 : 2 + i % 9; line < n; line++) {
      bytes += std::to_string((line * 7919 + i) % 1000) + " " + kChinese + "\n";
    }
    return bytes;
  };
  auto sorted = [&](size_t i) {
    std::string out;
    SortText(text(i), SortOptions{}, SortTables{}, &out);
    return out;
  };
  Plan([](size_t i) { return "s" + std::to_string(i) + ".txt"; }, text, sorted);
  for (int seed = 1; seed <= kKills; seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TestRandom random(static_cast<uint64_t>(seed) + 400);
    Reset();
    KillAfterFile(testing::StartCli(Command({"sort", "-y"}, Paths())), PickChangingFile(random),
                  random);
    ExpectOldOrNew();
    RunAgain({"sort", "-y"}, OldPaths());
    ExpectAllNewAndNoTemps();
    if (HasFatalFailure()) return;
  }
}

TEST_F(CrashSafetyTest, KilledViewerSavesLeaveEveryFileOldOrSaved) {
  auto lines = [](size_t i) {
    return std::vector<std::string>{"saved " + std::to_string(i), kChinese,
                                    std::string(i % 97 == 0 ? 300000 : i % 50, 'v')};
  };
  // Saves, as the viewer does, every file that does not hold its saved text.
  auto saveAll = [&] {
    for (size_t i = 0; i < files_.size(); i++) {
      if (StateOf(files_[i].path).bytes == files_[i].newBytes) continue;
      Message error;
      if (!SaveViewerText(DefaultFileRewriter(), files_[i].path, lines(i), &error)) return 1;
    }
    return 0;
  };
  Plan([](size_t i) { return "v" + std::to_string(i) + ".txt"; }, SampleText,
       [&](size_t i) { return JoinViewerLines(lines(i)); });
  for (int seed = 1; seed <= kKills; seed++) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TestRandom random(static_cast<uint64_t>(seed) + 500);
    Reset();
    KillAfterFile(testing::StartChild(ChildOptions{}, saveAll), PickChangingFile(random), random);
    ExpectOldOrNew();
    // A new process, as a new viewer session would be.
    ASSERT_EQ(testing::RunInChild(ChildOptions{}, saveAll).exitCode, 0);
    ExpectAllNewAndNoTemps();
    if (HasFatalFailure()) return;
  }
}

// The treatment of what a kill leaves: a temporary file that no live
// rewrite holds is removed by the next rewrite in its folder; one that a
// live rewrite holds, another user's, and anything not of this program's
// making stay.
TEST_F(CrashSafetyTest, NextRunRemovesOnlyStaleTemporaryFiles) {
  const std::string folder = scratch_.path();
  // A rewrite in progress in another process holds its temporary file.
  Message error;
  auto live = DefaultFileRewriter().Begin(scratch_.File("live.txt"), &error);
  ASSERT_TRUE(live) << error;
  ASSERT_TRUE(live->Write("in progress"));

  const std::string target = scratch_.Write("data.txt", "alpha");
  scratch_.Write(".data.txt.strbatch-Ab12Cd", "half written");
  scratch_.Write(".other.strbatch-zzzzzz", "");
  scratch_.Write("notes.strbatch-Ab12Cd", "user file");
  scratch_.Write(".x.strbatch-abc", "user file");
  ASSERT_EQ(symlink(target.c_str(), scratch_.File(".link.strbatch-Zz99Yy").c_str()), 0);
  if (testing::RunningAsRoot()) {
    testing::GiveToTestUser(scratch_.Write(".theirs.strbatch-Qq11Ww", "another user's"));
  }
  const std::vector<std::string> before = testing::TempFilesIn(folder);

  RunAgain({"replace", "-y", "-d", "alpha", "beta"}, {target});

  EXPECT_EQ(scratch_.Read("data.txt"), "beta");
  std::vector<std::string> after = testing::TempFilesIn(folder);
  std::set<std::string> left(after.begin(), after.end());
  EXPECT_FALSE(left.count(".data.txt.strbatch-Ab12Cd"));
  EXPECT_FALSE(left.count(".other.strbatch-zzzzzz"));
  EXPECT_TRUE(left.count(".link.strbatch-Zz99Yy"));
  EXPECT_EQ(left.count(".theirs.strbatch-Qq11Ww"), testing::RunningAsRoot() ? 1u : 0u);
  EXPECT_EQ(after.size(), before.size() - 2);
  EXPECT_EQ(scratch_.Read("notes.strbatch-Ab12Cd"), "user file");
  EXPECT_EQ(scratch_.Read(".x.strbatch-abc"), "user file");
  // The live rewrite still completes.
  ASSERT_TRUE(live->Commit(&error)) << error;
  EXPECT_EQ(scratch_.Read("live.txt"), "in progress");
}

}  // namespace
}  // namespace strbatch
