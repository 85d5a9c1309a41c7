// The commands as the front ends run them: what each changed, what its one
// journalled run recorded, and what it reported.
#include "commands/commands.h"

#include <functional>
#include <map>
#include <stdexcept>

#include <gtest/gtest.h>

#include "base/file_fingerprint.h"
#include "batch/recording_host.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::RecordingHost;
using testing::ScratchDir;

struct Fixture {
  ScratchDir dir;
  ScratchDir journalDir;
  UndoJournal journal{journalDir.path(), DefaultFileRewriter()};
  RecordingHost host;
  LanguageCatalog texts;
  std::vector<CheckedPath> Rows(std::initializer_list<const char*> names) const {
    std::vector<CheckedPath> rows;
    for (const char* name : names) rows.push_back({dir.File(name), true});
    return rows;
  }
};

TEST(CommandsTest, EachCommandChangesJournalsAndReportsItsRun) {
  using Files = std::map<std::string, std::string>;
  struct Case {
    const char* name;
    Files before;
    std::function<CommandReport(Fixture&)> run;
    Files after;    // "" for a file that is gone
    CommandEnd end;
    size_t done;
    size_t warnings;
    const char* journalled;  // the run's command, or null for none
    bool answer = true;
  };
  const Case cases[] = {
      {"sort with backups", {{"a.txt", "b\na\n"}},
       [](Fixture& f) {
         return SortLines({f.Rows({"a.txt", "a.txt"}), SortOptions{}, true, f.journal, &f.journal},
                          f.host);
       },
       {{"a.txt", "a\nb\n"}, {"a.txt.bak", "b\na\n"}}, CommandEnd::kFinished, 1, 0, "sort"},
      {"sort not confirmed", {{"a.txt", "b\na\n"}},
       [](Fixture& f) {
         return SortLines({f.Rows({"a.txt"}), SortOptions{}, true, f.journal, &f.journal}, f.host);
       },
       {{"a.txt", "b\na\n"}, {"a.txt.bak", ""}}, CommandEnd::kRefused, 0, 0, nullptr, false},
      {"restore", {{"a.txt", "new"}, {"a.txt.bak", "old"}},
       [](Fixture& f) {
         return RunBackupCommand({true, f.Rows({"a.txt"}), f.journal, &f.journal, f.texts}, f.host);
       },
       {{"a.txt", "old"}, {"a.txt.bak", ""}}, CommandEnd::kFinished, 1, 0, "restore"},
      {"clear backups", {{"a.txt", "new"}, {"a.txt.bak", "old"}},
       [](Fixture& f) {
         return RunBackupCommand({false, f.Rows({"a.txt"}), f.journal, &f.journal, f.texts},
                                 f.host);
       },
       {{"a.txt", "new"}, {"a.txt.bak", ""}}, CommandEnd::kFinished, 1, 0, "clear-backups"},
      // The second entry would be judged against bytes the first changed.
      {"a plan that names a file twice", {{"a.txt", "colour"}},
       [](Fixture& f) {
         Plan plan;
         const PlannedFile file{f.dir.File("a.txt"), "GBK", Sha256Hex("colour"),
                                {{4, 1, "", Sha256Hex("u"), 1}}};
         plan.files = {file, file};
         return ApplyPlan({plan, true, f.journal, &f.journal}, f.host);
       },
       {{"a.txt", "color"}, {"a.txt.bak", "colour"}}, CommandEnd::kFinished, 1, 1, "apply"},
      {"replace with backups", {{"a.txt", "cat"}, {"b.txt", "dog"}},
       [](Fixture& f) {
         FileList files;
         DefinitionList definitions;
         files.Append(f.dir.File("a.txt"), true);
         files.Append(f.dir.File("b.txt"), true);
         definitions.Append("cat", "cow", true);
         Options options;
         options.autoBackup = true;
         CommandReport report = RunBatchCommand(
             {BatchCommand::kReplace, files, definitions, options, CodeConversion::None, nullptr,
              &f.journal},
             f.host);
         EXPECT_EQ(report.checked, 2u);
         EXPECT_EQ(report.filesHit, 1u);
         EXPECT_EQ(report.occurrences, 1);
         return report;
       },
       {{"a.txt", "cow"}, {"a.txt.bak", "cat"}, {"b.txt.bak", "dog"}}, CommandEnd::kFinished, 0, 0,
       "replace"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.host.answer = c.answer;
    for (const auto& [name, bytes] : c.before) f.dir.Write(name, bytes);
    const CommandReport report = c.run(f);
    EXPECT_EQ(report.end, c.end);
    EXPECT_EQ(report.done, c.done);
    EXPECT_EQ(report.warnings.size(), c.warnings);
    EXPECT_EQ(f.host.warnings.size(), c.warnings);
    for (const auto& [name, bytes] : c.after) EXPECT_EQ(f.dir.Read(name), bytes) << name;
    const std::vector<JournalRun> runs = ListJournals(f.journal.Root());
    if (c.journalled == nullptr) {
      EXPECT_TRUE(runs.empty());
    } else {
      ASSERT_EQ(runs.size(), 1u);
      EXPECT_EQ(runs[0].command, c.journalled);
      EXPECT_TRUE(runs[0].finished);
    }
  }
}

// A command cut short by an exception leaves its run closed, and marked as
// not having gone through every file.
TEST(CommandsTest, AnExceptionClosesTheRunAsStopped) {
  Fixture f;
  const std::string path = f.dir.Write("a.txt", "old");
  try {
    JournalledRun run(&f.journal);
    ASSERT_TRUE(run.Open("replace", 3, f.host));
    Message error;
    ASSERT_TRUE(RewriteFile(f.journal, path, "new", &error)) << error;
    throw std::runtime_error("out of memory");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(f.journal.Recording());
  const std::vector<JournalRun> runs = ListJournals(f.journal.Root());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_TRUE(runs[0].finished);
  EXPECT_TRUE(runs[0].partial);
}

}  // namespace
}  // namespace strbatch
