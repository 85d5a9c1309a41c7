// Every command that changes files, journalled and taken back: the folder
// must hold exactly its old bytes, modes and names again, and an undo of the
// undo must give the run's result. Each case runs with links and, as on
// another file system, with copies.
#include "journal/undo.h"

#include <dirent.h>
#include <fcntl.h>
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

// The one run under root, entries and all.
JournalRun OnlyRun(const std::string& root) {
  const std::vector<JournalRun> runs = ListJournals(root);
  JournalRun run;
  Message error;
  EXPECT_EQ(runs.size(), 1u);
  if (!runs.empty()) {
    EXPECT_TRUE(ReadJournal(runs[0].folder, &run, &error)) << error;
  }
  return run;
}

// A host that agrees to everything but going on without undo.
class UndoHost : public RecordingHost {
 public:
  bool withoutUndo = false;
  bool Ask(Question question) override {
    const bool answer = RecordingHost::Ask(question);
    return question == Question::kGoOnWithoutUndoOverLimit ||
                   question == Question::kGoOnWithoutJournal
               ? withoutUndo
               : answer;
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
  UndoJournal journal_{journalDir_.path(), DefaultFileRewriter()};
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
    Message error;
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
  const JournalRun run = OnlyRun(journal_.Root());
  ASSERT_EQ(run.entries.size(), 2u);
  using Store = JournalEntry::Store;
  EXPECT_EQ(run.entries[0].store, GetParam() ? Store::kLink : Store::kCompressed);
  EXPECT_EQ(run.entries[1].store, Store::kCompressed);
  EXPECT_EQ(run.DoneCount(), 2u);
  EXPECT_EQ(ListJournals(journal_.Root()).at(0).files, 2u);
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
    UndoJournal journal(pattern, DefaultFileRewriter());
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
    EXPECT_EQ(OnlyRun(journal.Root()).entries.at(0).store, JournalEntry::Store::kCompressed);
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

// Renames that fail (their new name taken) cancel their entries: such runs
// leave no journal and push no real run out of those kept.
TEST_P(UndoTest, FailedRenamesPushNoRealRunOut) {
  Add("a.txt", "a");
  journal_.limits.keepRuns = 3;
  Replace("a", "b");
  const std::string replaceId = journal_.RunId();
  dir_.Write("g.txt", "in the way");
  for (int i = 0; i < 4; i++) {
    definitions_.Clear();
    definitions_.Append("a.txt", "g.txt", true);
    BatchRunner runner(files_, definitions_, host_);
    runner.SetJournal(&journal_);
    runner.BatchRename();
  }
  EXPECT_EQ(host_.warnings.size(), 4u);
  const std::vector<JournalRun> runs = ListJournals(journal_.Root());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].id, replaceId);
  host_.warnings.clear();
  EXPECT_EQ(Undo().end, UndoOutcome::End::kDone);
  EXPECT_EQ(dir_.Read("a.txt"), "a");
  EXPECT_EQ(dir_.Read("g.txt"), "in the way");
}

// A copy of from at to with from's modification time: the same size, time
// and bytes, so that only the kind of the path can tell them apart.
void CopyWithTime(const std::string& from, const std::string& to) {
  testing::WriteBytes(to, testing::ReadBytes(from));
  struct stat st;
  ASSERT_EQ(stat(from.c_str(), &st), 0);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, to.c_str(), times, 0), 0);
}

// Undo writes the file the run wrote, never through what the path leads to
// now. Each case: a run over a.txt (a link to elsewhere/real.txt where
// linked), then a change of the path; the file elsewhere must keep its bytes.
TEST_P(UndoTest, UndoWritesOnlyTheFileTheRunWrote) {
  struct Case {
    const char* name;
    bool linked;
    std::function<void(const std::string& path, const std::string& elsewhere)> change;
    const char* warning;  // empty: undone
  };
  const Case cases[] = {
      {"a run through a link is undone at its target", true, nullptr, ""},
      {"a file replaced by a link to an identical one", false,
       [](const std::string& path, const std::string& elsewhere) {
         CopyWithTime(path, elsewhere + "/copy.txt");
         unlink(path.c_str());
         ASSERT_EQ(symlink((elsewhere + "/copy.txt").c_str(), path.c_str()), 0);
       },
       "replaced by a symbolic link"},
      {"a link that leads elsewhere now", true,
       [](const std::string& path, const std::string& elsewhere) {
         CopyWithTime(elsewhere + "/real.txt", elsewhere + "/copy.txt");
         unlink(path.c_str());
         ASSERT_EQ(symlink((elsewhere + "/copy.txt").c_str(), path.c_str()), 0);
       },
       "no longer the symbolic link"},
      {"a folder in place of the file", false,
       [](const std::string& path, const std::string&) {
         unlink(path.c_str());
         ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
       },
       "no longer a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir elsewhere;
    files_.Clear();
    host_.warnings.clear();
    const std::string path = dir_.File("a.txt");
    std::filesystem::remove_all(path);
    if (c.linked) {
      ASSERT_EQ(symlink(elsewhere.Write("real.txt", "a").c_str(), path.c_str()), 0);
      files_.Append(path, true);
    } else {
      Add("a.txt", "a");
    }
    Replace("a", "b");
    if (c.change) c.change(path, elsewhere.path());
    const FolderState outside = StateOf(elsewhere);

    const UndoOutcome outcome = Undo();
    if (*c.warning == '\0') {
      EXPECT_EQ(outcome.end, UndoOutcome::End::kDone);
      EXPECT_EQ(elsewhere.Read("real.txt"), "a");
      struct stat st;
      EXPECT_TRUE(lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
      continue;
    }
    EXPECT_EQ(outcome.end, UndoOutcome::End::kPartly);
    EXPECT_EQ(StateOf(elsewhere), outside);
    ASSERT_EQ(host_.warnings.size(), 1u);
    EXPECT_NE(host_.warnings[0].find(c.warning), std::string::npos) << host_.warnings[0];
  }
}

// An entry whose record no longer verifies is refused and named; the rest
// of the run is undone.
TEST_P(UndoTest, ADamagedEntryIsRefusedAndTheOthersUndone) {
  Add("a.txt", "a1");
  Add("b.txt", "a2");
  Replace("a", "b");
  const std::string c = dir_.Write("c.txt", "b1");
  const std::string log = OnlyRun(journal_.Root()).folder + "/log";
  std::string text = testing::ReadBytes(log);
  const size_t at = text.find("/a.txt\t");
  ASSERT_NE(at, std::string::npos);
  text[at + 1] = 'c';  // the entry now names c.txt, which holds a.txt's new bytes
  testing::WriteBytes(log, text);

  const UndoOutcome outcome = Undo();
  EXPECT_EQ(outcome.end, UndoOutcome::End::kPartly);
  EXPECT_EQ(outcome.restored, 1u);
  EXPECT_EQ(dir_.Read("b.txt"), "a2");
  EXPECT_EQ(dir_.Read("a.txt"), "b1");
  EXPECT_EQ(dir_.Read("c.txt"), "b1");
  ASSERT_EQ(host_.warnings.size(), 1u);
  EXPECT_NE(host_.warnings[0].find("c.txt: not undone: its record in the journal is damaged"),
            std::string::npos)
      << host_.warnings[0];
}

// Runs kept by the first journal format (no checksums, links or index)
// still list and undo.
TEST_P(UndoTest, ARunOfTheFirstFormatListsAndUndoes) {
  const std::string path = Add("a.txt", "new bytes");
  const std::string folder = journalDir_.path() + "/20240101-000000-abcdef";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  testing::WriteBytes(folder + "/1.old", "old bytes");
  FileFingerprint now;
  Message error;
  ASSERT_TRUE(TakeFingerprint(path, &now, &error)) << error;
  testing::WriteBytes(folder + "/log", "strbatch-journal\t1\t1704067200000000000\t1\treplace\n"
                                       "P\t1\twrite\t" + path + "\t" + path +
                                       "\tlink\t644\t-\t-\t-\n"
                                       "D\t1\t9\t-\t" + now.sha256 + "\nE\t1\n");
  const std::vector<JournalRun> runs = ListJournals(journal_.Root());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].command, "replace");
  EXPECT_EQ(runs[0].files, 1u);
  EXPECT_EQ(Undo().end, UndoOutcome::End::kDone);
  EXPECT_EQ(dir_.Read("a.txt"), "old bytes");
}

// An undo that stopped short (at the second file) or whose writes failed
// marks its run partly undone; the next undo finishes it in the same
// journal, then the run is undone and the undo of that undo redoes.
TEST_P(UndoTest, AnUndoCutShortIsFinished) {
  struct Case {
    const char* name;
    std::function<UndoOutcome()> cutShort;
  };
  const Case cases[] = {
      {"stopped", [this] {
         host_.queries = 0;
         host_.cancelAtQuery = 2;
         UndoOutcome outcome = Undo();
         host_.cancelAtQuery = -1;
         return outcome;
       }},
      {"a write failed", [this] {
         testing::FailingRewriter full(4);  // the old bytes of c.txt do not fit
         UndoJournal journal(journalDir_.path(), full);
         journal.SetLinking(GetParam());
         return UndoRun(journal, "", host_);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files_.Clear();
    std::filesystem::remove_all(journalDir_.path());
    Add("a.txt", "a");
    Add("b.txt", "aa");
    Add("c.txt", "aaaaaaaa");
    const FolderState old = StateOf(dir_);
    Replace("a", "b");
    const FolderState replaced = StateOf(dir_);
    const std::string replaceId = journal_.RunId();

    EXPECT_EQ(c.cutShort().end, UndoOutcome::End::kPartly);
    std::vector<JournalRun> runs = ListJournals(journal_.Root());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(runs[0].partlyUndone);
    EXPECT_EQ(runs[0].undoneBy, runs[1].id);
    EXPECT_NE(StateOf(dir_), old);

    host_.warnings.clear();
    const UndoOutcome finished = Undo();
    EXPECT_EQ(finished.end, UndoOutcome::End::kDone);
    EXPECT_EQ(finished.undoneId, replaceId);
    EXPECT_EQ(StateOf(dir_), old);
    runs = ListJournals(journal_.Root());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_FALSE(runs[0].partlyUndone);
    EXPECT_EQ(runs[0].undoneBy, runs[1].id);
    EXPECT_EQ(runs[1].files, 3u);

    EXPECT_EQ(UndoRun(journal_, replaceId, host_).end, UndoOutcome::End::kBadRun);
    EXPECT_EQ(Undo().end, UndoOutcome::End::kDone);
    EXPECT_EQ(StateOf(dir_), replaced);
  }
}

// The change-files question tells whether the run can be undone; over the
// undo limit only the question of going on without undo is asked.
TEST_P(UndoTest, TheQuestionSaysWhetherTheRunCanBeUndone) {
  Add("f.txt", std::string(3000, 'a'));
  const struct {
    const char* name;
    std::function<void(UndoJournal&)> set;
    Question asked;
  } cases[] = {
      {"undo on", [](UndoJournal&) {}, Question::kChangeFiles},
      {"undo off", [](UndoJournal& j) { j.limits.enabled = false; },
       Question::kChangeFilesWithoutUndo},
      {"over the limit", [](UndoJournal& j) { j.limits.keepBytes = 1000; },
       Question::kGoOnWithoutUndoOverLimit},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    journal_.limits = UndoLimits();
    c.set(journal_);
    host_.questions.clear();
    Replace("a", "b");
    EXPECT_EQ(host_.questions, std::vector<Question>{c.asked});
    Replace("b", "a");
  }
  // A run without a journal at all cannot be undone either.
  host_.questions.clear();
  definitions_.Append("a", "b", true);
  BatchRunner runner(files_, definitions_, host_);
  runner.BatchReplace();
  EXPECT_EQ(host_.questions, std::vector<Question>{Question::kChangeFilesWithoutUndo});
}

}  // namespace
}  // namespace strbatch
