// Every command that changes files, journalled and taken back: the folder
// must hold exactly its old bytes, modes and names again, and an undo of the
// undo must give the run's result. Each case runs with links and, as on
// another file system, with copies.
#include "journal/undo.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "batch/backup.h"
#include "batch/batch_driver.h"
#include "batch/recording_host.h"
#include "config/language.h"
#include "journal/undo_journal.h"
#include "sorttool/line_sort.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::RecordingHost;
using testing::ScratchDir;

// name -> mode and bytes of every entry of a folder.
using FolderState = std::map<std::string, std::pair<unsigned, std::string>>;

FolderState StateOf(const ScratchDir& dir) {
  FolderState state;
  DIR* handle = opendir(dir.path().c_str());
  while (dirent* entry = readdir(handle)) {
    std::string name = entry->d_name;
    struct stat st;
    if (name == "." || name == ".." || stat(dir.File(name).c_str(), &st) != 0) continue;
    state[name] = {st.st_mode & 07777, dir.Read(name)};
  }
  closedir(handle);
  return state;
}

// A host that agrees to everything but going on without undo.
class UndoHost : public RecordingHost {
 public:
  bool withoutUndo = false;
  bool Confirm(const std::string& key, const std::string& caption) override {
    return key == "1302" || key == "1307" ? withoutUndo : RecordingHost::Confirm(key, caption);
  }
};

class UndoTest : public ::testing::TestWithParam<bool> {
 protected:
  UndoTest() { journal_.SetLinking(GetParam()); }

  std::string Add(const std::string& name, const std::string& bytes, unsigned mode = 0644) {
    const std::string path = dir_.Write(name, bytes);
    chmod(path.c_str(), mode);
    files_.Append(path, true);
    return path;
  }
  std::vector<CheckedPath> Rows() const {
    std::vector<CheckedPath> rows;
    for (size_t r = 0; r < files_.Size(); r++) rows.push_back({files_.Row(r).path, true});
    return rows;
  }
  void Replace(const std::string& find, const std::string& replace) {
    definitions_.Clear();
    definitions_.Append(find, replace, true);
    BatchRunner runner(files_, definitions_, host_);
    runner.SetJournal(&journal_);
    runner.BatchReplace();
  }
  UndoOutcome Undo() { return UndoRun(journal_, "", host_); }

  ScratchDir dir_;
  ScratchDir journalDir_;
  UndoJournal journal_{journalDir_.path()};
  FileList files_;
  DefinitionList definitions_;
  UndoHost host_;
};

INSTANTIATE_TEST_SUITE_P(LinksAndCopies, UndoTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Links" : "Copies"; });

// Each command over the same kind of folder: run, undo, redo.
struct CommandCase {
  const char* name;
  std::function<void(UndoJournal&, BatchHost&, BatchRunner&, std::vector<CheckedPath>)> run;
};

TEST_P(UndoTest, EveryCommandIsTakenBackAndRedone) {
  const LanguageCatalog texts(Language::English);
  const CommandCase cases[] = {
      {"replace", [](auto&, auto&, BatchRunner& r, auto) { r.BatchReplace(); }},
      {"rename", [](auto&, auto&, BatchRunner& r, auto) { r.BatchRename(); }},
      {"convert",
       [](auto&, auto&, BatchRunner& r, auto) { r.ConvertCode(CodeConversion::GbkToBig5); }},
      {"sort", [](UndoJournal& j, BatchHost& h, auto&, auto rows) {
         RunLineSort(rows, SortOptions(), h, j);
       }},
      {"restore", [&texts](UndoJournal& j, BatchHost& h, auto&, auto rows) {
         RestoreBackups(rows, h, texts, j);
       }},
      {"clear", [&texts](UndoJournal& j, BatchHost& h, auto&, auto rows) {
         ClearBackups(rows, h, texts, j);
       }},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.name);
    files_.Clear();
    definitions_.Clear();
    // Text in GBK for the conversion; a second link, an empty file and an
    // unchanged one for the journal's choices.
    Add(std::string(c.name) + "1.txt", "b a\r\n\xD6\xD0\xCE\xC4 a\n", 0640);
    const std::string linked = Add(std::string(c.name) + "2.txt", "a\nc\nb\n", 0600);
    ASSERT_EQ(link(linked.c_str(), dir_.File(std::string(c.name) + "2.other").c_str()), 0);
    Add(std::string(c.name) + "3.txt", "", 0755);
    Add(std::string(c.name) + "4.txt", "nothing here\n");
    for (size_t r = 0; r < files_.Size(); r++) {
      testing::WriteBytes(files_.Row(r).path + ".bak", "backup " + std::to_string(r));
      chmod((files_.Row(r).path + ".bak").c_str(), 0600);
    }
    definitions_.Append("a", "x", true);
    const FolderState before = StateOf(dir_);

    BatchRunner runner(files_, definitions_, host_);
    runner.SetJournal(&journal_);
    const bool driven = c.name == std::string("replace") || c.name == std::string("rename") ||
                        c.name == std::string("convert");
    std::string error;
    if (!driven) {
      ASSERT_TRUE(journal_.StartRun(c.name, &error)) << error;
    }
    c.run(journal_, host_, runner, Rows());
    journal_.FinishRun();
    const FolderState after = StateOf(dir_);
    ASSERT_NE(after, before);

    UndoOutcome outcome = Undo();
    EXPECT_EQ(outcome.end, UndoOutcome::End::kDone);
    EXPECT_EQ(StateOf(dir_), before);
    outcome = Undo();
    EXPECT_EQ(outcome.end, UndoOutcome::End::kDone);
    EXPECT_EQ(StateOf(dir_), after);
    Undo();
    EXPECT_EQ(StateOf(dir_), before);
    EXPECT_TRUE(host_.warnings.empty()) << host_.warnings.front();
  }
}

TEST_P(UndoTest, AFileChangedSinceIsLeftAloneAndTheOthersRestored) {
  const std::string edited = Add("edited.txt", "a1\n");
  const std::string gone = Add("gone.txt", "a2\n");
  const std::string kept = Add("kept.txt", "a3\n");
  Replace("a", "b");
  testing::WriteBytes(edited, "b1 and the user's own words\n");
  unlink(gone.c_str());

  const UndoOutcome outcome = Undo();
  EXPECT_EQ(outcome.end, UndoOutcome::End::kPartly);
  EXPECT_EQ(outcome.restored, 1u);
  EXPECT_EQ(outcome.refused, 2u);
  EXPECT_EQ(dir_.Read("kept.txt"), "a3\n");
  EXPECT_EQ(dir_.Read("edited.txt"), "b1 and the user's own words\n");
  EXPECT_NE(access(gone.c_str(), F_OK), 0);
  ASSERT_EQ(host_.warnings.size(), 2u);
  EXPECT_NE(host_.warnings[0].find("gone.txt: not undone: it is gone"), std::string::npos);
  EXPECT_NE(host_.warnings[1].find("edited.txt: not undone: it was changed"), std::string::npos);
}

TEST_P(UndoTest, OldBytesAreLinkedOnlyWhereNothingElseCanChangeThem) {
  Add("single.txt", "a");
  const std::string shared = Add("shared.txt", "a");
  ASSERT_EQ(link(shared.c_str(), dir_.File("other-name").c_str()), 0);
  Replace("a", "b");
  const std::vector<JournalRun> runs = ListJournals(journal_.Root());
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].entries.size(), 2u);
  using Store = JournalEntry::Store;
  EXPECT_EQ(runs[0].entries[0].store, GetParam() ? Store::kLink : Store::kCompressed);
  EXPECT_EQ(runs[0].entries[1].store, Store::kCompressed);
  EXPECT_EQ(runs[0].DoneCount(), 2u);
}

// A renamed file is known by its inode, size and time, not its bytes: one
// the run may not read is renamed and taken back, and one edited since is
// left alone.
// A journal really on another file system than the files (memory, where
// the system has /dev/shm) cannot link: it keeps copies and undoes the same.
TEST(UndoOnAnotherFileSystemTest, KeepsCopiesAndUndoes) {
  struct stat shm, tmp;
  if (stat("/dev/shm", &shm) != 0 || stat("/tmp", &tmp) != 0 || shm.st_dev == tmp.st_dev) {
    GTEST_SKIP() << "no second file system";
  }
  char pattern[] = "/dev/shm/strbatch-journal-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  {
    UndoJournal journal(pattern);
    ScratchDir dir;
    FileList files;
    files.Append(dir.Write("f.txt", "cat"), true);
    DefinitionList definitions;
    definitions.Append("cat", "dog", true);
    UndoHost host;
    BatchRunner runner(files, definitions, host);
    runner.SetJournal(&journal);
    runner.BatchReplace();
    ASSERT_EQ(dir.Read("f.txt"), "dog");
    const std::vector<JournalRun> runs = ListJournals(journal.Root());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].entries.at(0).store, JournalEntry::Store::kCompressed);
    EXPECT_EQ(UndoRun(journal, "", host).end, UndoOutcome::End::kDone);
    EXPECT_EQ(dir.Read("f.txt"), "cat");
  }
  std::filesystem::remove_all(pattern);
}

TEST_P(UndoTest, ARenameBackIsRefusedWhereTheOldNameIsTakenOrTheFileChanged) {
  Add("a.txt", "one");
  Add("c.txt", "two");
  Add("e.txt", "three", 0);
  definitions_.Append("a.txt", "b.txt", true);
  definitions_.Append("c.txt", "d.txt", true);
  definitions_.Append("e.txt", "f.txt", true);
  BatchRunner runner(files_, definitions_, host_);
  runner.SetJournal(&journal_);
  runner.BatchRename();
  ASSERT_TRUE(host_.warnings.empty()) << host_.warnings.front();
  dir_.Write("a.txt", "someone else's");
  dir_.Write("d.txt", "two, edited");
  EXPECT_EQ(Undo().end, UndoOutcome::End::kPartly);
  EXPECT_EQ(dir_.Read("a.txt"), "someone else's");
  EXPECT_EQ(dir_.Read("b.txt"), "one");
  EXPECT_EQ(dir_.Read("d.txt"), "two, edited");
  EXPECT_EQ(access(dir_.File("e.txt").c_str(), F_OK), 0);
  ASSERT_EQ(host_.warnings.size(), 2u);
  EXPECT_NE(host_.warnings[0].find("d.txt: not undone: it was changed"), std::string::npos);
}

TEST_P(UndoTest, JournalsKeepTheLastRunsWithinBothLimits) {
  Add("f.txt", std::string(3000, 'a'));
  journal_.limits.keepRuns = 3;
  for (int i = 0; i < 5; i++) Replace(i % 2 ? "b" : "a", i % 2 ? "a" : "b");
  std::vector<JournalRun> runs = ListJournals(journal_.Root());
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs.back().id, journal_.RunId());

  // Bytes: a run whose files exceed the limit asks first, and without a
  // yes nothing is changed.
  journal_.limits.keepBytes = 1000;
  Replace("a", "c");
  EXPECT_EQ(dir_.Read("f.txt"), std::string(3000, 'b'));
  host_.withoutUndo = true;
  Replace("b", "c");
  EXPECT_EQ(dir_.Read("f.txt"), std::string(3000, 'c'));
  EXPECT_EQ(ListJournals(journal_.Root()).size(), 3u);
}

TEST_P(UndoTest, NoJournalForARunThatChangedNothingOrWithUndoOff) {
  Add("f.txt", "a");
  Replace("x", "y");
  EXPECT_TRUE(ListJournals(journal_.Root()).empty());
  journal_.limits.enabled = false;
  Replace("a", "b");
  EXPECT_EQ(dir_.Read("f.txt"), "b");
  EXPECT_TRUE(ListJournals(journal_.Root()).empty());
  EXPECT_EQ(Undo().end, UndoOutcome::End::kNoRun);
  EXPECT_EQ(host_.warnings.size(), 1u);
}

}  // namespace
}  // namespace strbatch
