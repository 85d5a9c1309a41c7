#include "cli/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lists/folder_scan.h"
#include "office/package/zip_package.h"
#include "office_test_support.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

// Runs the command line with captured output streams.
struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string Slurp(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) text.append(buffer, n);
  return text;
}

// input, when given, is what the program reads on standard input.
CliRun Cli(std::vector<std::string> args, const std::string* input = nullptr) {
  args.insert(args.begin(), "strbatch-cli");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  std::FILE* in = nullptr;
  if (input != nullptr) {
    in = std::tmpfile();
    std::fwrite(input->data(), 1, input->size(), in);
    std::rewind(in);
  }
  CliRun run;
  run.exitCode = RunCli(static_cast<int>(argv.size()), argv.data(), in, out, err);
  if (in != nullptr) std::fclose(in);
  run.out = Slurp(out);
  run.err = Slurp(err);
  std::fclose(out);
  std::fclose(err);
  return run;
}

TEST(CliTest, ReplaceWithYesRewritesAndPrintsCounts) {
  ScratchDir dir;
  std::string a = dir.Write("a.txt", "cat and cat");
  std::string b = dir.Write("b.txt", "dog");
  CliRun run = Cli({"replace", "-y", "-d", "cat", "dog", "-d", "dog", "bird", a, b});
  EXPECT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.Read("a.txt"), "bird and bird");
  EXPECT_EQ(dir.Read("b.txt"), "bird");
  EXPECT_EQ(run.out, "4\t" + a + "\n1\t" + b + "\n2\tcat\tdog\n3\tdog\tbird\n");
}

// A string two sheets' cells share, replaced in both, is edited where it
// stands: the counts are the cells', the sheets keep their bytes, and the
// old text stays nowhere in the workbook.
TEST(CliTest, AWorkbookKeepsNoReplacedSharedString) {
  ScratchDir dir;
  const std::string book = dir.File("book.xlsx");
  const std::string sheet =
      "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>";
  testing::WriteZip(book, testing::Workbook("<sst xmlns=\"http://schemas.openxmlformats.org/"
                                            "spreadsheetml/2006/main\" count=\"2\" uniqueCount="
                                            "\"1\"><si><t>shared cat</t></si></sst>",
                                            {sheet, sheet}));
  const std::string before = testing::ReadBytes(book);
  CliRun run = Cli({"replace", "-y", "-d", "shared cat", "shared dog", book});
  EXPECT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(run.out, "2\t" + book + "\n2\tshared cat\tshared dog\n");
  Message error;
  std::unique_ptr<ZipPackage> zip = ZipPackage::Open(testing::ReadBytes(book), &error);
  std::unique_ptr<ZipPackage> old = ZipPackage::Open(before, &error);
  ASSERT_TRUE(zip && old) << testing::EnglishReason(error);
  for (const std::string& name : zip->Names()) {
    std::string now, was;
    ASSERT_TRUE(zip->Read(name, &now, &error) && old->Read(name, &was, &error))
        << testing::EnglishReason(error);
    EXPECT_EQ(now.find("cat"), std::string::npos) << name;
    if (name != "xl/sharedStrings.xml") {
      EXPECT_EQ(now, was) << name;
    }
  }
}

// A document whose part is over the settings' limit is warned and left as
// it was; the batch goes on with the next file and ends with status 1.
TEST(CliTest, ABatchGoesOnPastAPartOverTheLimit) {
  ScratchDir dir;
  dir.Write("strbatch.INI", "[office]\nPartLimitMegabytes=1\n");
  const char* config = std::getenv("STRBATCH_CONFIG");
  const std::string configBefore = config != nullptr ? config : "";
  setenv("STRBATCH_CONFIG", dir.File("strbatch.INI").c_str(), 1);
  const std::string a = dir.File("a.docx"), bomb = dir.File("bomb.docx"), c = dir.File("c.docx");
  testing::WriteZip(a, testing::WordDocument("cat"));
  testing::WriteZip(bomb, testing::WordDocument(std::string(1'500'000, 'x') + "cat"));
  testing::WriteZip(c, testing::WordDocument("cat"));
  const std::string bombBefore = testing::ReadBytes(bomb);
  const CliRun run = Cli({"replace", "-y", "--no-undo", "-d", "cat", "dog", a, bomb, c});
  if (config != nullptr) {
    setenv("STRBATCH_CONFIG", configBefore.c_str(), 1);
  } else {
    unsetenv("STRBATCH_CONFIG");
  }
  EXPECT_EQ(run.exitCode, kExitFailure) << run.err;
  EXPECT_NE(run.err.find(bomb + ": word/document.xml inflates to 1.5 MB, more than the 1 MiB "
                                "limit; left out"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "1\t" + a + "\n0\t" + bomb + "\n1\t" + c + "\n2\tcat\tdog\n");
  EXPECT_EQ(testing::ReadBytes(bomb), bombBefore);
  Message error;
  std::string text;
  std::unique_ptr<ZipPackage> zip = ZipPackage::Open(testing::ReadBytes(c), &error);
  ASSERT_TRUE(zip && zip->Read("word/document.xml", &text, &error))
      << testing::EnglishReason(error);
  EXPECT_NE(text.find(">dog<"), std::string::npos) << text;
}

// Under GBK the document's 한국 reads as "??": neither "?" is one of the
// document's, so only its real "?" is found and replaced, and the run says
// what it could not search. Under UTF-8 every character is searched.
TEST(CliTest, CharactersTheCodePageCannotHoldAreNeverMatched) {
  const std::string korean = "\xED\x95\x9C\xEA\xB5\xAD";
  // A note's reference reads as an object: never matched either, and no
  // character the code page lacks.
  const std::string note = "cat</w:t><w:footnoteReference w:id=\"1\"/><w:t xml:space=\"preserve\"> ?";
  const struct {
    std::vector<std::string> args;
    std::string before;
    const char* count;
    std::string after;  // the document's text
    bool noticed;
  } kCases[] = {
      {{"find", "-d", "?", "?"}, korean + " cat ?", "1", korean + " cat ?", true},
      {{"find", "-d", "? c", "?"}, korean + " cat ?", "0", korean + " cat ?", true},
      {{"find", "--encoding", "utf-8", "-d", "?", "?"}, korean + " cat ?", "1", korean + " cat ?",
       false},
      {{"replace", "-y", "--no-undo", "-d", "?", "!"}, korean + " cat ?", "1", korean + " cat !",
       true},
      {{"replace", "-y", "--no-undo", "-d", "?", "!"}, note, "1",
       "cat</w:t><w:footnoteReference w:id=\"1\"/><w:t xml:space=\"preserve\"> !", false},
  };
  for (const auto& row : kCases) {
    SCOPED_TRACE(row.args[0] + " " + row.args[row.args.size() - 2] + " in " + row.before);
    ScratchDir dir;
    const std::string docx = dir.File("p.docx");
    testing::WriteZip(docx, testing::WordDocument(row.before));
    std::vector<std::string> args = row.args;
    args.insert(args.begin() + 1, {"--lang", "en"});
    args.push_back(docx);
    const CliRun run = Cli(args);
    EXPECT_EQ(run.exitCode, kExitOk) << run.err;
    EXPECT_EQ(run.out.rfind(std::string(row.count) + "\t" + docx + "\n", 0), 0u) << run.out;
    EXPECT_EQ(run.err.find(docx + ": 2 characters the code page cannot hold were not searched "
                                  "(--encoding utf-8 or auto searches them)") != std::string::npos,
              row.noticed)
        << run.err;
    Message error;
    std::string text;
    std::unique_ptr<ZipPackage> zip = ZipPackage::Open(testing::ReadBytes(docx), &error);
    ASSERT_TRUE(zip && zip->Read("word/document.xml", &text, &error))
        << testing::EnglishReason(error);
    EXPECT_NE(text.find(">" + row.after + "<"), std::string::npos) << text;
  }
}

TEST(CliTest, ChineseDefinitionsAreUsedInTheCodePage) {
  ScratchDir dir;
  // 中文 in GBK.
  std::string a = dir.Write("a.txt", "\xD6\xD0\xCE\xC4!");
  CliRun run = Cli({"replace", "--yes", "--def", "\xE4\xB8\xAD\xE6\x96\x87", "ok", a});
  EXPECT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.Read("a.txt"), "ok!");
}

TEST(CliTest, WithoutConfirmationNothingChanges) {
  ScratchDir dir;
  std::string a = dir.Write("a.txt", "cat");
  CliRun run = Cli({"replace", "-d", "cat", "dog", a});
  EXPECT_EQ(run.exitCode, kExitRefused);
  EXPECT_EQ(dir.Read("a.txt"), "cat");
}

TEST(CliTest, DefinitionStringsMayLookLikeOptionsOrBeEmpty) {
  ScratchDir dir;
  std::string a = dir.Write("a.txt", "x -i y");
  CliRun run = Cli({"replace", "-y", "-d", "-i", "", a});
  EXPECT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.Read("a.txt"), "x  y");
}

TEST(CliTest, FindPrintsJsonAndReport) {
  ScratchDir dir;
  std::string a = dir.Write("a.txt", "Cat cat");
  std::string report = dir.File("report.txt");
  CliRun run = Cli({"find", "-i", "--json", "-r", report, "-d", "cat", "pet", a});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  nlohmann::json result = nlohmann::json::parse(run.out);
  EXPECT_EQ(result["files"][0]["path"], a);
  EXPECT_EQ(result["files"][0]["count"], 2);
  EXPECT_EQ(result["files"][0]["matches"], "0:3;4:3");
  EXPECT_EQ(result["definitions"][0]["find"], "cat");
  EXPECT_EQ(result["definitions"][0]["count"], 2);
  EXPECT_EQ(testing::ReadBytes(report), "pet\r\npet\r\n");
  EXPECT_EQ(dir.Read("a.txt"), "Cat cat");
}

TEST(CliTest, ReportToStandardOutput) {
  ScratchDir dir;
  std::string a = dir.Write("a.txt", "ab");
  CliRun run = Cli({"find", "-r", "-", "-d", "a", "1", "-d", "b", "2", a});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(run.out, "1\r\n2\r\n");
}

TEST(CliTest, UnreadableFileIsReportedAndSkipped) {
  ScratchDir dir;
  std::string b = dir.Write("b.txt", "cat");
  CliRun run = Cli({"replace", "-y", "-d", "cat", "dog", dir.File("missing.txt"), b});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.err.find("missing.txt"), std::string::npos);
  EXPECT_EQ(dir.Read("b.txt"), "dog");
}

TEST(CliTest, BadExpressionStopsBeforeAnythingIsAskedOrTouched) {
  ScratchDir dir;
  std::string a = dir.Write("a.txt", "abc");
  for (const char* lang : {"en", "zh"}) {
    CliRun run = Cli({"replace", "-a", "-b", "--lang", lang, "-d", "b", "x", "-d", "(abc", "X", a});
    EXPECT_EQ(run.exitCode, kExitUsage);
    EXPECT_EQ(run.err, std::string(lang) == "en"
                           ? "strbatch-cli: definition 2: unclosed group opened at character 1\n"
                           : "strbatch-cli: \xE7\xAC\xAC 2 \xE6\x9D\xA1\xE5\xAE\x9A\xE4\xB9\x89"
                             "\xEF\xBC\x9A\xE7\xAC\xAC 1 \xE4\xB8\xAA\xE5\xAD\x97\xE7\xAC\xA6"
                             "\xE5\xA4\x84\xE5\xBC\x80\xE5\xA7\x8B\xE7\x9A\x84\xE7\xBB\x84"
                             "\xE6\xB2\xA1\xE6\x9C\x89\xE9\x97\xAD\xE5\x90\x88\n");
    EXPECT_TRUE(run.out.empty());
  }
  EXPECT_EQ(dir.Read("a.txt"), "abc");
  EXPECT_EQ(testing::ReadBytes(a + ".bak"), "");
}

// A search that runs into the engine's bound is no "0 found": it is
// reported, and the status says the work was not all done.
TEST(CliTest, ASearchThatGivesUpEndsWithStatusOne) {
  ScratchDir dir;
  std::string a = dir.Write("a.txt", "x" + std::string(40, 'a'));
  CliRun run = Cli({"replace", "-y", "-a", "--lang", "en", "-d", "({a}|a)*\\0y", "Z", "-d", "x",
                    "X", a});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.err.find("definition 1: the search gave up at byte 1"), std::string::npos)
      << run.err;
  EXPECT_EQ(dir.Read("a.txt"), "X" + std::string(40, 'a'));
}

// A definition is applied exactly or not at all: never with "?" standing in
// for a character. (Every BIG5 character is a GBK one too, so only GBK has
// characters of its own.)
TEST(CliTest, DefinitionsAreNeverDegraded) {
  const std::string kHangul = "\xED\x95\x9C", kEmoji = "\xF0\x9F\x98\x80";
  const std::string kGbkOnly = "\xE4\xB8\x82";  // 丂, GBK 81 40, no BIG5 code
  struct Row {
    std::string find, replace, encoding, file, expected;
    int status;
  } rows[] = {
      {"cat", kHangul, "utf-8", "cat", "cat", kExitUsage},
      {kEmoji, "x", "gbk", "a?b", "a?b", kExitUsage},
      {"cat", kEmoji, "auto", "cat", "cat", kExitUsage},
      // A character the file's encoding cannot hold: that file is skipped.
      {"cat", kGbkOnly, "big5", "cat", "cat", kExitFailure},
      {"cat", kGbkOnly, "utf-8", "cat", kGbkOnly, kExitOk},
      {"cat", kGbkOnly, "gbk", "cat", "\x81\x40", kExitOk},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.replace + " " + row.encoding);
    ScratchDir dir;
    const std::string a = dir.Write("a.txt", row.file);
    CliRun run = Cli({"replace", "-y", "--lang", "en", "--encoding", row.encoding, "-d", row.find,
                      row.replace, a});
    EXPECT_EQ(run.exitCode, row.status) << run.err;
    EXPECT_EQ(dir.Read("a.txt"), row.expected);
  }
  ScratchDir dir;
  const std::string a = dir.Write("a.txt", "x");
  CliRun run = Cli({"rename", "-y", "--lang", "en", "-d", kHangul, "X", a});
  EXPECT_EQ(run.exitCode, kExitUsage);
  EXPECT_NE(run.err.find("definition 1: the character \"" + kHangul + "\" (U+D55C)"),
            std::string::npos)
      << run.err;
}

// A character BIG5 holds in no form becomes "?", as designed, and says so.
TEST(CliTest, ConversionTellsHowManyCharactersBecameQuestionMarks) {
  ScratchDir dir;
  const std::string a = dir.Write("a.txt", "\x81\x40\xBA\xBA");  // 丂汉
  CliRun run = Cli({"convert", "--to", "big5", "-y", "--lang", "en", a});
  EXPECT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.Read("a.txt"), "?\xBA\x7E");  // ?漢
  EXPECT_NE(run.err.find("1 characters could not be held in BIG5 and became \"?\""),
            std::string::npos)
      << run.err;
}

TEST(CliTest, ReportOnStandardOutputIsUtf8) {
  ScratchDir dir;
  std::string a = dir.Write("a.txt", "\xD6\xD0");  // 中 in GBK
  CliRun run = Cli({"find", "-r", "-", "-d", "\xE4\xB8\xAD", "\xE6\x96\x87", a});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(run.out, "\xE6\x96\x87\r\n");  // 文, as UTF-8
}

TEST(CliTest, UsageErrors) {
  EXPECT_EQ(Cli({}).exitCode, kExitUsage);
  EXPECT_EQ(Cli({"replace", "-d", "only-one"}).exitCode, kExitUsage);
  EXPECT_EQ(Cli({"replace", "--no-such-option", "f"}).exitCode, kExitUsage);
  EXPECT_EQ(Cli({"frobnicate"}).exitCode, kExitUsage);
}

}  // namespace
}  // namespace strbatch

namespace strbatch {
namespace {

TEST(CliCommandsTest, RenameConvertBackupRestoreAndClear) {
  ScratchDir dir;
  std::string a = dir.Write("a-old.txt", "\xD6\xD0\xCE\xC4");  // 中文 in GBK
  CliRun run = Cli({"rename", "-y", "-d", "old", "new", a});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  std::string renamed = dir.File("a-new.txt");
  EXPECT_EQ(run.out.substr(0, 2 + renamed.size()), "1\t" + renamed);

  run = Cli({"convert", "--to", "big5", "-y", "-b", renamed});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.Read("a-new.txt"), "\xA4\xA4\xA4\xE5");
  EXPECT_EQ(dir.Read("a-new.txt.bak"), "\xD6\xD0\xCE\xC4");

  run = Cli({"restore", renamed});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.Read("a-new.txt"), "\xD6\xD0\xCE\xC4");

  run = Cli({"convert", "--to", "gbk-traditional", "-y", "-b", renamed});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  run = Cli({"clear-backups", renamed});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(testing::ReadBytes(renamed + ".bak"), "");
  EXPECT_EQ(Cli({"convert", "--to", "klingon", "-y", renamed}).exitCode, kExitUsage);
}

TEST(CliCommandsTest, SortLines) {
  ScratchDir dir;
  std::string a = dir.Write("a.txt", "pear\r\napple\r\n\r\napple\r\n");
  // The sort changes files, so it asks first like the batch commands.
  CliRun run = Cli({"sort", "--unique", "--lang", "en", a});
  EXPECT_EQ(run.exitCode, kExitRefused);
  EXPECT_NE(run.err.find("not confirmed"), std::string::npos) << run.err;
  EXPECT_EQ(dir.Read("a.txt"), "pear\r\napple\r\n\r\napple\r\n");
  run = Cli({"sort", "-y", "-b", "--unique", a});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.Read("a.txt"), "apple\r\npear\r\n");
  EXPECT_EQ(dir.Read("a.txt.bak"), "pear\r\napple\r\n\r\napple\r\n");
}

TEST(CliCommandsTest, ExportAndLoadDefinitionFiles) {
  ScratchDir dir;
  std::string defs = dir.File("defs.xml");
  CliRun run = Cli({"export-defs", "-d", "<b>", "**", "-d", "x", "y", defs});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.Read("defs.xml"),
            "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\r\n<replace>\r\n"
            "<item><old><![CDATA[<b>]]></old><new>**</new></item>\r\n"
            "<item><old>x</old><new>y</new></item>\r\n</replace>\r\n");
  std::string a = dir.Write("a.txt", "<b>x</b> x");
  // Loaded definitions come before the -d ones.
  run = Cli({"replace", "-y", "-D", defs, "-d", "y", "z", a});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.Read("a.txt"), "**z</b> z");
  // Each -D takes one file; the files to process may follow it.
  std::string b = dir.Write("b.txt", "x"), c = dir.Write("c.txt", "x");
  run = Cli({"replace", "-y", "-D", defs, b, c});
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.Read("b.txt") + dir.Read("c.txt"), "yy");
}

// A file's bytes and modification time.
std::pair<std::string, int64_t> Snapshot(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return {testing::ReadBytes(path),
          static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

TEST(CliPreviewTest, DryRunWritesNothingAndPrintsADiffPerFile) {
  ScratchDir dir;
  // GBK "中cat", UTF-16LE "cat" with its mark, and a file without a hit.
  const std::string gbk = dir.Write("g.txt", "\xD6\xD0" "cat\nkeep\n");
  const std::string utf16 = dir.Write("u.txt", std::string("\xFF\xFE" "c\0a\0t\0", 8));
  const std::string none = dir.Write("n.txt", "dog");
  using Snapshots = std::vector<std::pair<std::string, int64_t>>;
  const Snapshots before = {Snapshot(gbk), Snapshot(utf16), Snapshot(none)};
  CliRun run = Cli({"replace", "-n", "--encoding", "auto", "-d", "cat", "dog", gbk, utf16, none});
  EXPECT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(before, (Snapshots{Snapshot(gbk), Snapshot(utf16), Snapshot(none)}));
  EXPECT_EQ(run.out,
            "note: " + gbk + " is GBK text, shown here in UTF-8\n--- a/" + gbk + "\n+++ b/" + gbk +
                "\n@@ -1,2 +1,2 @@\n-\xE4\xB8\xAD" "cat\n+\xE4\xB8\xAD" "dog\n keep\n" +
                "note: " + utf16 + " is UTF-16LE text, shown here in UTF-8\n--- a/" + utf16 +
                "\n+++ b/" + utf16 + "\n@@ -1,1 +1,1 @@\n-cat\n\\ No newline at end of file\n" +
                "+dog\n\\ No newline at end of file\n");
}

TEST(CliPreviewTest, ApplyWritesOnlyTheChangesLeftInThePlan) {
  ScratchDir dir;
  const std::string a = dir.Write("a.txt", "cat, cat\ncat");
  const std::string b = dir.Write("b.txt", std::string("\xFF\xFE" "c\0a\0t\0", 8));
  CliRun preview = Cli({"replace", "--dry-run", "--json", "--encoding", "auto", "-d", "cat",
                        "\xE7\x8C\xAB", a, b});
  ASSERT_EQ(preview.exitCode, kExitOk) << preview.err;
  nlohmann::json plan = nlohmann::json::parse(preview.out);
  ASSERT_EQ(plan["files"][0]["changes"].size(), 3u);
  EXPECT_EQ(plan["files"][1]["encoding"], "UTF-16LE");
  EXPECT_EQ(plan["files"][1]["changes"][0]["offset"], 2);
  EXPECT_EQ(plan["files"][1]["changes"][0]["length"], 6);
  // The reviewer drops the second change of a.txt.
  plan["files"][0]["changes"].erase(1);
  const std::string planPath = dir.Write("plan.json", plan.dump());
  CliRun apply = Cli({"apply", "-y", planPath});
  EXPECT_EQ(apply.exitCode, kExitOk) << apply.err;
  EXPECT_EQ(dir.Read("a.txt"), "\xC3\xA8, cat\n\xC3\xA8");  // GBK
  EXPECT_EQ(dir.Read("b.txt"), std::string("\xFF\xFE\x2B\x73", 4));
  EXPECT_EQ(apply.out, "2\t" + a + "\n1\t" + b + "\n");
  // Apply is journalled like every command that writes.
  EXPECT_EQ(Cli({"undo", "-y"}).exitCode, kExitOk);
  EXPECT_EQ(dir.Read("a.txt"), "cat, cat\ncat");
  EXPECT_EQ(dir.Read("b.txt"), std::string("\xFF\xFE" "c\0a\0t\0", 8));
}

TEST(CliTest, UndoAsksListsAndTellsWhatItLeftAlone) {
  ScratchDir dir;
  const std::string a = dir.Write("a.txt", "cat");
  const std::string b = dir.Write("b.txt", "cat cat");
  ASSERT_EQ(Cli({"replace", "-y", "-d", "cat", "dog", a, b}).exitCode, kExitOk);
  const std::string list = Cli({"undo", "--list"}).out;
  ASSERT_NE(list.find("\treplace\t2 files\t"), std::string::npos) << list;
  const std::string last = list.substr(list.find_last_of('\n', list.size() - 2) + 1);
  const std::string id = last.substr(0, last.find('\t'));

  EXPECT_EQ(Cli({"undo"}).exitCode, kExitRefused);  // no terminal, no -y
  EXPECT_EQ(dir.Read("a.txt"), "dog");
  dir.Write("b.txt", "mine");
  CliRun undo = Cli({"undo", "-y", "--run", id});
  EXPECT_EQ(undo.exitCode, kExitFailure);
  EXPECT_EQ(dir.Read("a.txt"), "cat");
  EXPECT_EQ(dir.Read("b.txt"), "mine");
  EXPECT_NE(undo.err.find(b + ": not undone: it was changed after the run"), std::string::npos)
      << undo.err;
  EXPECT_EQ(Cli({"undo", "-y", "--run", "no-such-run"}).exitCode, kExitUsage);
}

TEST(CliPreviewTest, AFileChangedBetweenPreviewAndApplyIsRefusedAndUntouched) {
  ScratchDir dir;
  const std::string a = dir.Write("a.txt", "cat");
  const std::string b = dir.Write("b.txt", "cat");
  CliRun preview = Cli({"replace", "-n", "--json", "-d", "cat", "dog", a, b});
  ASSERT_EQ(preview.exitCode, kExitOk) << preview.err;
  const std::string planPath = dir.Write("plan.json", preview.out);
  dir.Write("a.txt", "cut");
  CliRun apply = Cli({"apply", "-y", planPath});
  EXPECT_EQ(apply.exitCode, kExitFailure);
  EXPECT_NE(apply.err.find(a + ": this file is left as it is: it changed since the plan was made"),
            std::string::npos)
      << apply.err;
  EXPECT_EQ(dir.Read("a.txt"), "cut");
  EXPECT_EQ(dir.Read("b.txt"), "dog");
  // Without -y nothing is written.
  dir.Write("b.txt", "cat");
  EXPECT_EQ(Cli({"apply", planPath}).exitCode, kExitRefused);
  EXPECT_EQ(dir.Read("b.txt"), "cat");
}

// A document's diff shows each changed paragraph on a line of its own,
// with no bare CR, and its plan names each change's paragraph.
TEST(CliPreviewTest, ADocumentIsShownParagraphByParagraph) {
  ScratchDir dir;
  const std::string docx = dir.File("a.docx");
  std::string body;
  for (const char* text : {"cat one", "none", "two cat"}) {
    body += std::string("<w:p><w:r><w:t>") + text + "</w:t></w:r></w:p>";
  }
  testing::WriteZip(
      docx,
      {{"_rels/.rels",
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
       {"word/document.xml",
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
        "<w:body>" + body + "</w:body></w:document>"}});
  const CliRun diff = Cli({"replace", "-n", "--lang", "en", "-d", "cat", "dog", docx});
  ASSERT_EQ(diff.exitCode, kExitOk) << diff.err;
  EXPECT_EQ(diff.out.find('\r'), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("@@ -1,3 +1,3 @@ paragraph 1\n-cat one\n+dog one\n none\n-two cat\n"
                          "+two dog\n"),
            std::string::npos)
      << diff.out;
  const CliRun plan = Cli({"replace", "-n", "--json", "-d", "cat", "dog", docx});
  ASSERT_EQ(plan.exitCode, kExitOk) << plan.err;
  const nlohmann::json changes = nlohmann::json::parse(plan.out)["files"][0]["changes"];
  ASSERT_EQ(changes.size(), 2u) << plan.out;
  EXPECT_EQ(changes[1]["line"], 3);
  EXPECT_EQ(changes[1]["place"], nlohmann::json({{"story", "body"}, {"paragraph", 3}}));
}

}  // namespace
}  // namespace strbatch

namespace strbatch {
namespace {

// A list too long for one command line is still one batch: one count per
// definition, and the running file number reaches the last file.
TEST(CliFileListTest, AListOnStandardInputIsOneBatch) {
  ScratchDir dir;
  // More than the window takes at a time (1000), and a list longer than one
  // read of standard input (64 KiB). Each file is a durable rewrite, so
  // 100,000 of them took minutes for no fault more than these.
  constexpr int kFiles = 5000;
  std::string list;
  for (int i = 0; i < kFiles; i++) list += dir.Write("f" + std::to_string(i), "x") + '\0';
  const CliRun run =
      Cli({"replace", "-y", "-a", "--json", "-d", "x", "{i}", "--files-from", "-", "-0"}, &list);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const nlohmann::json result = nlohmann::json::parse(run.out);
  EXPECT_EQ(result["files"].size(), static_cast<size_t>(kFiles));
  EXPECT_EQ(result["definitions"][0]["count"], kFiles);
  EXPECT_EQ(dir.Read("f0"), "1");
  EXPECT_EQ(dir.Read("f" + std::to_string(kFiles - 1)), std::to_string(kFiles));
}

// --folder takes what Add folder takes; the lists and folders follow the
// files named on the command line, and a file they name again is skipped.
TEST(CliFileListTest, FoldersAndListsJoinTheNamedFiles) {
  ScratchDir dir;
  mkdir(dir.File(".hidden").c_str(), 0755);
  mkdir(dir.File("sub").c_str(), 0755);
  for (const char* name : {"a.txt", "B.TXT", "c.md", ".hidden/d.txt", "sub/e.TXT"}) {
    dir.Write(name, "x");
  }
  dir.Write("list", dir.File("a.txt") + "\r\n\n" + dir.File("c.md") + "\n");
  const std::string tree = dir.path();
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> expected;  // empty: the window's Add folder over tree
    std::string patterns;
    bool recursive = false;
  };
  const Case cases[] = {
      {{"--folder", tree}, {}, "*.txt", false},
      {{"--folder", tree, "--include", "*.md", "--include", "*.TXT", "--recursive"},
       {},
       "*.md;*.TXT",
       true},
      // The list names c.md again: the file is searched once.
      {{dir.File("c.md"), "--files-from", dir.File("list")},
       {dir.File("c.md"), dir.File("a.txt")},
       "",
       false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"find", "--json", "-d", "x", "y"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliRun run = Cli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> paths;
    const nlohmann::json result = nlohmann::json::parse(run.out);
    for (const auto& file : result["files"]) {
      paths.push_back(file["path"]);
    }
    const std::vector<std::string> expected =
        c.expected.empty() ? CollectFolderFiles(tree, c.patterns, c.recursive) : c.expected;
    EXPECT_EQ(paths, expected) << c.options[0];
  }
  EXPECT_EQ(Cli({"find", "-d", "x", "y", "--include", "*.txt", dir.File("a.txt")}).exitCode,
            kExitUsage);
  EXPECT_EQ(Cli({"find", "-d", "x", "y"}).exitCode, kExitUsage);
}

}  // namespace
}  // namespace strbatch

namespace strbatch {
namespace {

// What a script sees: one command over scratch files, its exit status, the
// bytes of the files afterwards and the last line it writes on standard
// error. In arguments, plans and messages "@" stands for the scratch folder
// and a slash.
struct ExitCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;  // written first
  std::vector<std::string> args;
  int exit;
  std::vector<std::pair<std::string, std::string>> expected;  // the files afterwards
  std::string lastError;  // the last line of standard error
  // When set: @plan.json is what replace -n --json of these arguments
  // prints, edited by editPlan, and changed is written after it.
  std::vector<std::string> plan = {};
  std::function<void(nlohmann::json&)> editPlan = nullptr;
  std::vector<std::pair<std::string, std::string>> changed = {};
  std::string settings = "";  // the settings file's text
};

std::string InFolder(std::string text, const std::string& folder) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
    text.replace(at, 1, folder + "/");
    at += folder.size() + 1;
  }
  return text;
}

void CheckExitCase(const ExitCase& c) {
  SCOPED_TRACE(c.name);
  ScratchDir dir;
  for (const auto& [name, bytes] : c.files) dir.Write(name, bytes);
  auto inFolder = [&dir](std::vector<std::string> args) {
    for (std::string& arg : args) arg = InFolder(arg, dir.path());
    return args;
  };
  if (!c.plan.empty()) {
    std::vector<std::string> args = {"replace", "-n", "--json"};
    for (const std::string& arg : inFolder(c.plan)) args.push_back(arg);
    const CliRun preview = Cli(args);
    ASSERT_EQ(preview.exitCode, kExitOk) << preview.err;
    nlohmann::json plan = nlohmann::json::parse(preview.out);
    if (c.editPlan) c.editPlan(plan);
    dir.Write("plan.json", plan.dump());
  }
  for (const auto& [name, bytes] : c.changed) dir.Write(name, bytes);
  dir.Write("strbatch.INI", c.settings);
  const char* config = std::getenv("STRBATCH_CONFIG");
  const std::string configBefore = config != nullptr ? config : "";
  setenv("STRBATCH_CONFIG", dir.File("strbatch.INI").c_str(), 1);
  const CliRun run = Cli(inFolder(c.args));
  if (config != nullptr) {
    setenv("STRBATCH_CONFIG", configBefore.c_str(), 1);
  } else {
    unsetenv("STRBATCH_CONFIG");
  }
  EXPECT_EQ(run.exitCode, c.exit) << run.err;
  for (const auto& [name, bytes] : c.expected) EXPECT_EQ(dir.Read(name), bytes) << name;
  if (c.lastError.empty()) {
    EXPECT_EQ(run.err, "");
    return;
  }
  const size_t start = run.err.find_last_of('\n', run.err.size() - 2);
  EXPECT_EQ(run.err.substr(start == std::string::npos ? 0 : start + 1),
            InFolder(c.lastError, dir.path()) + "\n");
}

TEST(CliExitStatusTest, EachCaseEndsWithItsStatusAndItsBytes) {
  const std::string red = "The colour is red.\n";
  const std::string odd = "The humour is odd.\n";
  // GBK "colour 数据库", then the same text in UTF-8.
  const std::string gbk = "colour \xCA\xFD\xBE\xDD\xBF\xE2\n";
  const std::string utf8 = "colour \xE6\x95\xB0\xE6\x8D\xAE\xE5\xBA\x93\n";
  const std::vector<std::pair<std::string, std::string>> files = {{"a.txt", red},
                                                                  {"b.txt", "colour\n"}};
  const std::vector<std::string> plan = {"-d", "colour", "color", "@a.txt", "@b.txt"};
  const std::vector<std::string> apply = {"apply", "-y", "@plan.json"};
  // a.txt refused, b.txt written; or the whole plan refused.
  const std::vector<std::pair<std::string, std::string>> onlyB = {{"a.txt", red},
                                                                  {"b.txt", "color\n"}};
  const std::vector<std::pair<std::string, std::string>> none = files;
  auto firstChange = [](const char* field, nlohmann::json value) {
    return [field, value](nlohmann::json& p) { p["files"][0]["changes"][0][field] = value; };
  };
  const std::string big(1 << 20, 'a');
  // A definition file cut inside its second item, after <old>one</old>.
  const std::string cut =
      "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\r\n<replace>\r\n"
      "<item><old>colour</old><new>color</new></item>\r\n<item><old>one</old>";
  const std::vector<std::pair<std::string, std::string>> text = {{"a.txt", "colour one\n"}};
  const std::string refused =
      "strbatch-cli: definition file refused, nothing loaded and nothing changed: ";
  const std::string unsorted = "strbatch-cli: a sort table cannot be read, nothing was sorted: ";
  const std::string folded = "strbatch-cli: these names were skipped, as they name a file this "
                             "run had already processed: ";
  const ExitCase cases[] = {
      // The unfinished item replaced "one" with nothing.
      {"definition file cut off", {{"cut.xml", cut}, text[0]},
       {"replace", "-y", "-D", "@cut.xml", "@a.txt"}, kExitUsage, text,
       refused + "line 4 of the definition file @cut.xml: the file ends before <item> is closed"},
      // Loaded zero definitions with status 0.
      {"not a definition file", {{"f.xml", "<?xml version=\"1.0\"?><defs><def"}, text[0]},
       {"replace", "-y", "-D", "@f.xml", "@a.txt"}, kExitUsage, text,
       refused + "line 1 of the definition file @f.xml: the file ends inside the tag <def>"},
      {"empty definition file", {{"e.xml", ""}, text[0]}, {"find", "-D", "@e.xml", "@a.txt"},
       kExitUsage, text, refused + "the definition file @e.xml: the file is empty"},
      {"missing definition file", text, {"replace", "-y", "-D", "@no.xml", "@a.txt"}, kExitUsage,
       text, refused + "cannot open @no.xml: No such file or directory"},
      {"definition file a folder", text, {"replace", "-y", "-D", "@.", "@a.txt"}, kExitUsage,
       text, refused + "@. is a folder"},
      // CR LF went into every file the sort touched.
      {"sort keeps LF", {{"lf.txt", "b\na\nc\n"}}, {"sort", "-y", "@lf.txt"}, kExitOk,
       {{"lf.txt", "a\nb\nc\n"}}, ""},
      {"sort keeps CR LF", {{"crlf.txt", "b\r\na\r\n"}}, {"sort", "-y", "@crlf.txt"}, kExitOk,
       {{"crlf.txt", "a\r\nb\r\n"}}, ""},
      // Sorted with an empty table, and rewrote the file.
      {"missing sort table", {{"lf.txt", "b\na\n"}},
       {"sort", "-y", "--equal", "@no.tbl", "@lf.txt"}, kExitUsage, {{"lf.txt", "b\na\n"}},
       unsorted + "cannot open @no.tbl: No such file or directory"},
      {"sort table a folder", {{"lf.txt", "b\na\n"}},
       {"sort", "-y", "--ignore", "@.", "@lf.txt"}, kExitUsage, {{"lf.txt", "b\na\n"}},
       unsorted + "@. is a folder"},
      // Replaced once per naming: "aaaa...".
      {"a file named three times", {{"x.txt", "a\n"}},
       {"replace", "-y", "-d", "a", "aa", "@x.txt", "@x.txt", "@./x.txt"}, kExitOk,
       {{"x.txt", "aa\n"}}, folded + "@x.txt, @./x.txt"},
      {"a file named and in a folder", {{"x.txt", "a\n"}},
       {"replace", "-y", "-d", "a", "aa", "@x.txt", "--folder", "@."}, kExitOk,
       {{"x.txt", "aa\n"}}, folded + "@./x.txt"},
      // Said "File exists" of the file renamed, not of the name in the way.
      {"rename onto a taken name", {{"a.txt", "a"}, {"g.txt", "g"}},
       {"rename", "-y", "-d", "a.txt", "g.txt", "@a.txt"}, kExitFailure,
       {{"a.txt", "a"}, {"g.txt", "g"}},
       "strbatch-cli: @a.txt: @g.txt already exists; the file was not renamed"},
      // Only the byte that differs was checked: "humour" became "humor".
      {"whole file changed", files, apply, kExitFailure, {{"a.txt", odd}, {"b.txt", "color\n"}},
       "strbatch-cli: @a.txt: this file is left as it is: it changed since the plan was made (its "
       "SHA-256 is not the plan's)",
       plan, nullptr, {{"a.txt", odd}}},
      // GBK bytes were written into the converted file.
      {"encoding changed", {{"g.txt", gbk}}, apply, kExitFailure, {{"g.txt", utf8}},
       "strbatch-cli: @g.txt: this file is left as it is: its encoding is no longer the plan's GBK",
       {"-d", "colour", "\xE9\xA2\x9C\xE8\x89\xB2", "@g.txt"}, nullptr, {{"g.txt", utf8}}},
      {"encoding edited", files, apply, kExitFailure, onlyB,
       "strbatch-cli: @a.txt: this file is left as it is: the plan's encoding UTF-16LE is not the "
       "file's",
       plan,
       [](nlohmann::json& p) { p["files"][0]["encoding"] = "UTF-16LE"; }},
      // Read as 18446744073709551615.
      {"negative offset", files, apply, kExitFailure, onlyB,
       "strbatch-cli: @a.txt: this file is left as it is: change 1 of the plan: \"offset\" is -1, "
       "not a non-negative integer",
       plan, firstChange("offset", -1)},
      {"offset past the end", files, apply, kExitFailure, onlyB,
       "strbatch-cli: @a.txt: this file is left as it is: offset 18446744073709551615 lies past "
       "the end of the file (the file has 19 bytes)",
       plan, firstChange("offset", UINT64_MAX)},
      {"line past the end", files, apply, kExitFailure, onlyB,
       "strbatch-cli: @a.txt: this file is left as it is: line 3 of the change at offset 8 is not "
       "a line of the file (it has 2)",
       plan, firstChange("line", 3)},
      // Aborted with an uncaught exception.
      {"path a number", files, apply, kExitUsage, none,
       "strbatch-cli: @plan.json: not a plan: file 1 of the plan has no \"path\" string", plan,
       [](nlohmann::json& p) { p["files"][0]["path"] = 5; }},
      {"not a plan", {{"plan.json", "[1,2]"}, {"b.txt", "colour\n"}}, apply, kExitUsage,
       {{"b.txt", "colour\n"}},
       "strbatch-cli: @plan.json: not a plan (the JSON of replace --dry-run --json)"},
      // The find ran and failed only when it came to write the report.
      {"report folder missing", files, {"find", "-r", "@no/r.txt", "-d", "colour", "x", "@a.txt"},
       kExitUsage, none, "strbatch-cli: @no/r.txt: the report's folder @no does not exist"},
      // "use -y to confirm" followed, though -y was given.
      {"over the undo limit", {{"big.txt", big + "a"}},
       {"replace", "-y", "-d", "a", "b", "@big.txt"}, kExitRefused, {{"big.txt", big + "a"}},
       "strbatch-cli: nothing was changed; give --no-undo to run without undo", {}, nullptr, {},
       "[undo]\nMegabytes=1\n"},
  };
  for (const ExitCase& c : cases) CheckExitCase(c);
}

}  // namespace
}  // namespace strbatch

namespace strbatch {
namespace {

// Names in the table: "@" stands for the scratch folder and a "/".
std::string InDir(const ScratchDir& dir, const std::string& text) {
  std::string out;
  for (char c : text) out += c == '@' ? dir.path() + "/" : std::string(1, c);
  return out;
}

// A file the list names again is processed once, its row skipped in its
// place; rename works on names, so a link and its target are two.
TEST(CliFoldTest, AFileNamedTwiceIsProcessedOnce) {
  struct Case {
    const char* what;
    std::vector<std::string> args;  // after the command, with "@" for the folder
    std::string out;
    std::vector<std::pair<std::string, std::string>> after;  // name, bytes (or "->" target)
    int exitCode = kExitOk;
    std::string err;  // a part of standard error
  };
  const Case cases[] = {
      {"twice, and {i} of later rows kept",
       {"replace", "@x.txt", "@x.txt", "@y.txt"},
       "1\t@x.txt\n1\t@y.txt\n2\ta\t{i}\n",
       {{"x.txt", "1"}, {"y.txt", "3"}},
       kExitOk,
       "already processed: @x.txt"},
      {"through ./ and a link",
       {"replace", "@x.txt", "@./x.txt", "@l.txt", "@y.txt"},
       "1\t@x.txt\n1\t@y.txt\n2\ta\t{i}\n",
       {{"x.txt", "1"}, {"y.txt", "4"}, {"l.txt", "->x.txt"}},
       kExitOk,
       ""},
      {"a folder that holds the named file and a link",
       {"replace", "@y.txt", "--folder", "@"},
       "1\t@y.txt\n1\t@l.txt\n2\ta\t{i}\n",
       {{"x.txt", "2"}, {"y.txt", "1"}},
       kExitOk,
       ""},
      {"hard links stay two files",
       {"replace", "@x.txt", "@h.txt"},
       "1\t@x.txt\n1\t@h.txt\n2\ta\t{i}\n",
       {{"x.txt", "1"}, {"h.txt", "2"}},
       kExitOk,
       ""},
      {"find reports the file once",
       {"find", "@x.txt", "@l.txt"},
       "1\t@x.txt\n1\ta\t{i}\n",
       {{"x.txt", "a"}},
       kExitOk,
       ""},
      {"sort sorts the file once",
       {"sort", "@x.txt", "@l.txt"},
       "1\n",
       {{"l.txt", "->x.txt"}},
       kExitOk,
       "already processed: @l.txt"},
      {"rename: a file and its link are two names, one name twice is one",
       {"rename", "-d", ".txt", ".md", "@x.txt", "@l.txt", "@x.txt"},
       "1\t@x.md\n1\t@l.md\n2\t.txt\t.md\n",
       {{"x.md", "a"}, {"l.md", "->x.txt"}},
       kExitOk,
       ""},
      {"rename onto a name that is taken keeps its count and names it",
       {"rename", "-d", "x.txt", "y.txt", "@x.txt"},
       "1\t@x.txt\n1\tx.txt\ty.txt\n",
       {{"x.txt", "a"}, {"y.txt", "a"}},
       kExitFailure,
       "@x.txt: @y.txt already exists"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.Write("x.txt", "a");
    dir.Write("y.txt", "a");
    ASSERT_EQ(symlink("x.txt", dir.File("l.txt").c_str()), 0);
    const bool hardLink = c.args.back() == "@h.txt";
    if (hardLink) {
      ASSERT_EQ(link(dir.File("x.txt").c_str(), dir.File("h.txt").c_str()), 0);
    }
    // A find asks nothing, and refuses -y.
    std::vector<std::string> args{c.args[0]};
    if (c.args[0] != "find") args.push_back("-y");
    if (c.args[0] == "replace" || c.args[0] == "find") {
      args.insert(args.end(), {"-a", "-d", "a", "{i}"});
    }
    for (size_t k = 1; k < c.args.size(); k++) args.push_back(InDir(dir, c.args[k]));
    const CliRun run = Cli(args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.err;
    EXPECT_EQ(run.out, InDir(dir, c.out)) << c.what;
    EXPECT_NE(run.err.find(InDir(dir, c.err)), std::string::npos) << c.what << "\n" << run.err;
    for (const auto& [name, bytes] : c.after) {
      char target[256] = {0};
      if (bytes.rfind("->", 0) == 0) {
        EXPECT_GT(readlink(dir.File(name).c_str(), target, sizeof target - 1), 0) << c.what;
        EXPECT_EQ(target, bytes.substr(2)) << c.what;
      } else {
        EXPECT_EQ(dir.Read(name), bytes) << c.what << ": " << name;
      }
    }
  }
}

// The dry run, its plan and undo see the file once, as the replace does.
TEST(CliFoldTest, PreviewApplyAndUndoAgreeWithTheReplace) {
  ScratchDir dir;
  const std::string x = dir.Write("x.txt", "a\n");
  const std::string again = dir.path() + "/./x.txt";
  const CliRun preview = Cli({"replace", "-n", "--json", "-d", "a", "aa", x, x, again});
  ASSERT_EQ(preview.exitCode, kExitOk) << preview.err;
  nlohmann::json plan = nlohmann::json::parse(preview.out);
  ASSERT_EQ(plan["files"].size(), 1u);
  // A plan edited to name the file twice applies its first entry only.
  plan["files"].push_back(plan["files"][0]);
  const CliRun apply = Cli({"apply", "-y", dir.Write("plan.json", plan.dump())});
  EXPECT_EQ(apply.exitCode, kExitFailure);
  EXPECT_EQ(dir.Read("x.txt"), "aa\n");
  ASSERT_EQ(Cli({"undo", "-y"}).exitCode, kExitOk);
  ASSERT_EQ(Cli({"replace", "-y", "-d", "a", "aa", x, x, again}).exitCode, kExitOk);
  EXPECT_EQ(dir.Read("x.txt"), "aa\n");
  const CliRun undo = Cli({"undo", "-y"});
  EXPECT_EQ(undo.exitCode, kExitOk) << undo.err;
  EXPECT_EQ(dir.Read("x.txt"), "a\n");
}

// A subfolder that cannot be read is a warning, and the rest is still
// searched. Root reads any folder, so the run is made as nobody there.
TEST(CliFoldTest, AnUnreadableSubfolderIsAWarning) {
  ScratchDir dir;
  dir.Write("a.txt", "x");
  ASSERT_EQ(mkdir(dir.File("locked").c_str(), 0755), 0);
  dir.Write("locked/c.txt", "x");
  ASSERT_EQ(chmod(dir.File("locked").c_str(), 0), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    if (seteuid(65534) != 0) GTEST_SKIP() << "cannot run as another user";
  }
  const CliRun run = Cli({"find", "-d", "x", "y", "--folder", dir.path(), "--recursive"});
  if (root) {
    ASSERT_EQ(seteuid(0), 0);
  }
  chmod(dir.File("locked").c_str(), 0755);
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_EQ(run.out, "1\t" + dir.File("a.txt") + "\n1\tx\ty\n");
  EXPECT_NE(run.err.find(dir.File("locked") + ": "), std::string::npos) << run.err;
}

// A run undone is not undone again by name, and an empty name names none:
// both are bad input, and neither touches a file.
TEST(CliTest, UndoOfAnUndoneOrEmptyRunIdIsRefused) {
  ScratchDir dir;
  const std::string a = dir.Write("a.txt", "cat");
  ASSERT_EQ(Cli({"replace", "-y", "-d", "cat", "dog", a}).exitCode, kExitOk);
  const std::string list = Cli({"undo", "--list"}).out;
  const std::string last = list.substr(list.find_last_of('\n', list.size() - 2) + 1);
  const std::string id = last.substr(0, last.find('\t'));
  ASSERT_EQ(Cli({"undo", "-y"}).exitCode, kExitOk);
  EXPECT_NE(Cli({"undo", "--list"}).out.find(id + "\t"), std::string::npos);
  EXPECT_NE(Cli({"undo", "--list"}).out.find("\tundone by "), std::string::npos);
  for (const std::string& named : {id, std::string()}) {
    const CliRun undo = Cli({"undo", "-y", "--run", named});
    EXPECT_EQ(undo.exitCode, kExitUsage) << named;
    EXPECT_FALSE(undo.err.empty());
    EXPECT_EQ(dir.Read("a.txt"), "cat");
  }
}

}  // namespace
}  // namespace strbatch

namespace strbatch {
namespace {

// Three English words in a row: a sentence left untranslated. Paths are
// taken out before the check; option names and numbers cannot match.
bool HoldsEnglishSentence(const std::string& text) {
  static const std::regex kWords("[A-Za-z]{2,} [A-Za-z]{2,} [A-Za-z]{2,}");
  return std::regex_search(text, kWords);
}

// Under --lang zh every message of a command that fails or is refused is
// Chinese: the core's messages, the questions' refusals and the command
// line's own, file errors with the system's reason included. Each case runs
// with a journal and settings of its own.
TEST(CliLanguageTest, ErrorsUnderLangZhHoldNoEnglishSentence) {
  const std::string big(1 << 20, 'a');
  // Word documents the zipped path leaves out: one over a 1 MiB part limit,
  // one with two entries of one name (the second entry renamed in place).
  ScratchDir made;
  auto zipped = [&made](const std::vector<testing::Entry>& entries) {
    testing::WriteZip(made.File("z.docx"), entries);
    return testing::ReadBytes(made.File("z.docx"));
  };
  const std::string overLimit = zipped(testing::WordDocument(std::string(1'500'000, 'x')));
  std::vector<testing::Entry> twiceEntries = testing::WordDocument("a");
  twiceEntries.push_back({"word/document.xmX", twiceEntries.back().content});
  std::string twice = zipped(twiceEntries);
  for (size_t at = twice.find("document.xmX"); at != std::string::npos;
       at = twice.find("document.xmX", at)) {
    twice[at + 11] = 'l';
  }
  const std::string cut =
      "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\r\n<replace>\r\n<item><old>a</old>";
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> args;
    int exit;
    std::string settings = "";
    // Permission bits set after the files are written. Root is refused by
    // none of them, so there such a case is run as nobody.
    std::vector<std::pair<std::string, unsigned>> modes = {};
  } cases[] = {
      {"undo with no run", {}, {"undo", "-y", "--lang", "zh"}, kExitFailure},
      {"undo of an unknown run", {}, {"undo", "-y", "--run", "nosuch", "--lang", "zh"}, kExitUsage},
      {"over the undo limit", {{"big.txt", big + "a"}}, {"replace", "-y", "-d", "a", "b", "--lang", "zh", "@big.txt"},
       kExitRefused, "[undo]\nMegabytes=1\n"},
      {"expression that does not compile", {{"a.txt", "abc"}},
       {"replace", "-y", "-a", "-d", "[c-a]", "x", "--lang", "zh", "@a.txt"}, kExitUsage},
      {"character GBK cannot hold", {{"a.txt", "abc"}},
       {"replace", "-y", "-d", "a", "\xF0\x9F\x98\x80", "--lang", "zh", "@a.txt"}, kExitUsage},
      {"not confirmed", {{"a.txt", "abc"}}, {"replace", "-d", "a", "b", "--lang", "zh", "@a.txt"},
       kExitRefused},
      {"rename onto a taken name", {{"a.txt", "a"}, {"g.txt", "g"}},
       {"rename", "-y", "-d", "a.txt", "g.txt", "--lang", "zh", "@a.txt"}, kExitFailure},
      {"no files", {}, {"find", "-d", "a", "b", "--lang", "zh"}, kExitUsage},
      {"folder that is a file", {{"a.txt", "a"}},
       {"find", "-d", "a", "b", "--folder", "@a.txt", "--lang", "zh"}, kExitUsage},
      {"report folder missing", {{"a.txt", "a"}},
       {"find", "-r", "@no/r.txt", "-d", "a", "x", "--lang", "zh", "@a.txt"}, kExitUsage},
      {"listed file missing", {}, {"replace", "-y", "-d", "a", "b", "--lang", "zh", "@no.txt"},
       kExitFailure},
      {"listed path a folder", {}, {"replace", "-y", "-d", "a", "b", "--lang", "zh", "@."},
       kExitFailure},
      {"file not readable", {{"a.txt", "a"}},
       {"replace", "-y", "-d", "a", "b", "--lang", "zh", "@a.txt"}, kExitFailure, "",
       {{"a.txt", 0200}}},
      {"file read-only", {{"a.txt", "a"}},
       {"replace", "-y", "-d", "a", "b", "--lang", "zh", "@a.txt"}, kExitFailure, "",
       {{"a.txt", 0444}}},
      {"rename in a read-only folder", {{"ro/a.txt", "a"}},
       {"rename", "-y", "-d", "a.txt", "b.txt", "--lang", "zh", "@ro/a.txt"}, kExitFailure, "",
       {{"ro", 0555}}},
      {"definition file cut off", {{"cut.xml", cut}, {"a.txt", "a"}},
       {"replace", "-y", "-D", "@cut.xml", "--lang", "zh", "@a.txt"}, kExitUsage},
      {"definition file missing", {{"a.txt", "a"}},
       {"replace", "-y", "-D", "@no.xml", "--lang", "zh", "@a.txt"}, kExitUsage},
      {"plan damaged", {{"plan.json", "[1,2]"}}, {"apply", "-y", "--lang", "zh", "@plan.json"},
       kExitUsage},
      {"plan entry refused", {{"a.txt", "a"},
                              {"plan.json", "{\"files\":[{\"path\":\"@a.txt\",\"changes\":[{}],"
                                            "\"sha256\":\"x\",\"encoding\":\"UTF-8\"}]}"}},
       {"apply", "-y", "--lang", "zh", "@plan.json"}, kExitFailure},
      {"empty Word document", {{"e.docx", ""}},
       {"find", "-d", "a", "b", "--lang", "zh", "@e.docx"}, kExitFailure},
      {"part over the limit", {{"big.docx", overLimit}},
       {"find", "-d", "a", "b", "--lang", "zh", "@big.docx"}, kExitFailure,
       "[office]\nPartLimitMegabytes=1\n"},
      {"two entries of one name", {{"twice.docx", twice}},
       {"find", "-d", "a", "b", "--lang", "zh", "@twice.docx"}, kExitFailure},
      {"damaged zip", {{"bad.docx", std::string("PK\x03\x04", 4) + "no archive follows"}},
       {"find", "-d", "a", "b", "--lang", "zh", "@bad.docx"}, kExitFailure},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    for (const auto& [name, bytes] : c.files) {
      if (const size_t slash = name.find('/'); slash != std::string::npos) {
        mkdir(dir.File(name.substr(0, slash)).c_str(), 0755);
      }
      // A zip's bytes are written as they are: '@' may be any byte of one.
      dir.Write(name, name.ends_with(".docx") ? bytes : InFolder(bytes, dir.path()));
    }
    for (const auto& [name, mode] : c.modes) chmod(dir.File(name).c_str(), mode);
    dir.Write("strbatch.INI", c.settings);
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(InFolder(arg, dir.path()));
    const std::string config = std::getenv("STRBATCH_CONFIG") ? std::getenv("STRBATCH_CONFIG") : "";
    const std::string tmp = std::getenv("STRBATCH_TMPDIR") ? std::getenv("STRBATCH_TMPDIR") : "";
    setenv("STRBATCH_CONFIG", dir.File("strbatch.INI").c_str(), 1);
    setenv("STRBATCH_TMPDIR", dir.File("private").c_str(), 1);
    const bool asNobody = !c.modes.empty() && geteuid() == 0;
    if (asNobody) {
      ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
      if (seteuid(65534) != 0) continue;
    }
    const CliRun run = Cli(args);
    if (asNobody) {
      ASSERT_EQ(seteuid(0), 0);
    }
    setenv("STRBATCH_CONFIG", config.c_str(), 1);
    setenv("STRBATCH_TMPDIR", tmp.c_str(), 1);
    EXPECT_EQ(run.exitCode, c.exit) << run.err;
    EXPECT_NE(run.err, "");
    std::string err = run.err;
    for (size_t at = err.find(dir.path()); at != std::string::npos; at = err.find(dir.path())) {
      err.replace(at, dir.path().size(), "@");
    }
    EXPECT_FALSE(HoldsEnglishSentence(err)) << err;
  }
}

// Each command's --help lists the options it takes and no other, and an
// option it does not take is a usage error that changes nothing (find took
// -y and -b and ignored them; -d before convert was dropped unseen).
TEST(CliHelpTest, EachCommandTakesOnlyItsOwnOptions) {
  const struct {
    std::string command;
    std::vector<std::string> listed;
    std::vector<std::string> refused;  // run with this command, each is exit 2
  } cases[] = {
      {"replace", {"-y,", "-b,", "--no-undo", "-n,", "-D,", "--json"}, {"-r"}},
      {"find", {"-r,", "-D,", "-i,", "--json", "--encoding"}, {"-y", "-b", "--no-undo"}},
      {"rename", {"-y,", "-b,", "--no-undo", "-D,"}, {"-n", "-r"}},
      {"convert", {"--to", "-y,", "-b,", "--no-undo"}, {"-D", "-i", "-d", "-r"}},
      {"restore", {"--no-undo", "--files-from"}, {"-y", "-b", "-d", "--json"}},
      {"clear-backups", {"--no-undo", "--folder"}, {"-y", "-b", "-d"}},
      {"sort", {"-y,", "-b,", "--no-undo", "--unique"}, {"-d", "-D", "--json"}},
      {"apply", {"-y,", "-b,", "--no-undo"}, {"-d", "--json", "--encoding"}},
      {"undo", {"-y,", "-l,", "--run"}, {"-d", "-b", "--no-undo"}},
      {"export-defs", {"-D,"}, {"-y", "--json"}},
  };
  const std::vector<std::string> definitionCommands = {"replace", "find", "rename",
                                                       "export-defs"};
  for (const auto& c : cases) {
    const std::string help = Cli({c.command, "--lang", "en", "--help"}).out;
    const bool definitions = std::count(definitionCommands.begin(), definitionCommands.end(),
                                        c.command) > 0;
    EXPECT_EQ(help.find("\nDefinitions: -d") != std::string::npos, definitions) << c.command;
    for (const std::string& option : c.listed) {
      EXPECT_NE(help.find("  " + option), std::string::npos) << c.command << " " << option;
    }
    for (const std::string& option : c.refused) {
      EXPECT_EQ(help.find("  " + option + ","), std::string::npos) << c.command << " " << option;
      ScratchDir dir;
      const std::string file = dir.Write("a.txt", "a.txt a\n");
      dir.Write("a.txt.bak", "old\n");
      std::vector<std::string> args = {c.command, "--lang", "en", option};
      if (option == "-d") {
        args.insert(args.end(), {"a", "b"});
      } else if (option == "-r" || option == "-D" || option == "--encoding") {
        args.push_back(option == "--encoding" ? "gbk" : dir.File("x"));
      }
      if (c.command == "convert") args.insert(args.end(), {"--to", "big5"});
      if (c.command != "undo") args.push_back(file);
      const CliRun run = Cli(args);
      EXPECT_EQ(run.exitCode, kExitUsage) << c.command << " " << option << "\n" << run.err;
      EXPECT_EQ(testing::ReadBytes(file), "a.txt a\n") << c.command << " " << option;
      EXPECT_EQ(dir.Read("a.txt.bak"), "old\n") << c.command << " " << option;
    }
  }
}

// The same, where "FIND REPLACE" (the names -d takes) is no sentence.
bool HasEnglishSentence(std::string text) {
  for (size_t at; (at = text.find("FIND REPLACE")) != std::string::npos;) text.erase(at, 12);
  return HoldsEnglishSentence(text);
}

// With --lang zh, --help and every usage error speak Chinese; the same in
// English says what CLI11 says, which scripts and the manual page read.
TEST(CliHelpTest, HelpAndUsageErrorsSpeakTheChosenLanguage) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string english;  // the whole error output in English
  } cases[] = {
      {{}, kExitUsage, "A subcommand is required"},
      {{"frobnicate", "f"}, kExitUsage, "frobnicate is not a command"},
      {{"replace", "--nope", "f"}, kExitUsage, "The following argument was not expected: --nope"},
      {{"find", "-y", "-b", "f"}, kExitUsage, "The following arguments were not expected: -b -y"},
      {{"convert", "f"}, kExitUsage, "--to is required"},
      {{"apply"}, kExitUsage, "plan is required"},
      {{"convert", "--to", "ebcdic", "f"}, kExitUsage, "--to: ebcdic not in {big5,cp936,"},
      {{"replace", "--encoding"}, kExitUsage, "--encoding needs a value"},
      {{"undo", "--run="}, kExitUsage, "--run needs a value"},
      {{"replace", "-d", "a"}, kExitUsage, "-d needs two strings: FIND REPLACE"},
      {{"sort", "-d", "a", "b", "f"}, kExitUsage, "sort takes no -d definitions"},
      {{"--help"}, kExitOk, ""},
  };
  for (const auto& c : cases) {
    for (const char* lang : {"en", "zh"}) {
      std::vector<std::string> args = c.args;
      args.insert(args.begin() + (args.empty() ? 0 : 1), {"--lang", lang});
      const CliRun run = Cli(args);
      EXPECT_EQ(run.exitCode, c.status) << run.err;
      if (std::string(lang) == "en") {
        EXPECT_EQ(run.err.rfind(c.english.empty() ? "" : "strbatch-cli: " + c.english, 0), 0u)
            << run.err;
      } else {
        EXPECT_FALSE(HasEnglishSentence(run.err)) << run.err;
        EXPECT_EQ(run.err.empty(), c.english.empty()) << run.err;
      }
    }
  }
  for (const char* command : {"replace", "apply", "find", "rename", "convert", "restore",
                              "clear-backups", "sort", "undo", "export-defs"}) {
    const std::string english = Cli({command, "--lang", "en", "--help"}).out;
    const std::string chinese = Cli({command, "--lang", "zh", "--help"}).out;
    EXPECT_TRUE(HasEnglishSentence(english)) << command;
    EXPECT_FALSE(HasEnglishSentence(chinese)) << chinese;
    // Every option keeps its line, now with a description in Chinese.
    EXPECT_EQ(std::count(english.begin(), english.end(), '\n'),
              std::count(chinese.begin(), chinese.end(), '\n')) << chinese;
  }
  EXPECT_FALSE(HasEnglishSentence(Cli({"--lang", "zh", "--help"}).out));
}

// Every story of documents other programs wrote (python-docx, openpyxl,
// odfpy): what --parts body and --parts all count, the notice of what the
// body left unsearched, and a replace of every story that the writing
// library reads back. Skipped where those libraries are not installed.
constexpr const char* kThirdPartyPython = "/usr/bin/python3";

// Runs the document script; its output goes to *out, false when it failed.
bool ThirdPartyScript(const ScratchDir& dir, const std::string& arguments, std::string* out) {
  const std::string output = dir.File(".script-out");
  const std::string line = std::string(kThirdPartyPython) + " " +
                           STRBATCH_THIRD_PARTY_DOCUMENTS + " " +
                           arguments + " >'" + output + "' 2>&1";
  const bool ran = std::system(line.c_str()) == 0;
  *out = testing::ReadBytes(output);
  return ran;
}

size_t Occurrences(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) n++;
  return n;
}

const struct {
  const char* name;
  int body;          // "cat" in the body
  int all;           // ... in every story
  int keptByName;    // ... in sheet names, which a replace leaves
} kThirdPartyDocuments[] = {
    // Body and a table cell; a header, a first-page header, a footer.
    {"letter.docx", 3, 7, 0},
    // Two sheets' cells; a comment on each; one sheet's name.
    {"book.xlsx", 3, 7, 1},
    // Body; header and footer of the master page, a footnote, a comment.
    {"text.odt", 1, 5, 0},
    // A cell; its comment; the sheet's name.
    {"book.ods", 1, 3, 1},
};

TEST(CliTest, DocumentsOfOtherProgramsAreSearchedInEveryStory) {
  ScratchDir dir;
  std::string out;
  if (!ThirdPartyScript(dir, "make '" + dir.path() + "'", &out)) {
    GTEST_SKIP() << "python-docx, openpyxl or odfpy is missing: " << out;
  }
  for (const auto& document : kThirdPartyDocuments) {
    SCOPED_TRACE(document.name);
    const std::string path = dir.File(document.name);
    const CliRun body = Cli({"find", "-d", "cat", "x", path});
    EXPECT_EQ(body.exitCode, 0) << body.err;
    EXPECT_EQ(body.out.substr(0, body.out.find('\t')), std::to_string(document.body));
    // What the body leaves is told, with how much of it there is.
    EXPECT_NE(body.err.find(std::to_string(document.all - document.body) + " more occurrences"),
              std::string::npos)
        << body.err;

    const CliRun all = Cli({"find", "--parts", "all", "-d", "cat", "x", path});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out.substr(0, all.out.find('\t')), std::to_string(document.all));
    EXPECT_EQ(all.err.find("more occurrences"), std::string::npos) << all.err;

    // Every story is replaced but the sheet names, which are warned of; the
    // library that wrote the document reads it back.
    const CliRun replace =
        Cli({"replace", "-y", "--no-undo", "--parts", "all", "-d", "cat", "dog", path});
    EXPECT_EQ(replace.exitCode, document.keptByName > 0 ? 1 : 0) << replace.err;
    EXPECT_EQ(replace.out.substr(0, replace.out.find('\t')), std::to_string(document.all));
    ASSERT_TRUE(ThirdPartyScript(dir, "read '" + path + "'", &out)) << out;
    EXPECT_EQ(Occurrences(out, "cat"), static_cast<size_t>(document.keptByName)) << out;
  }
}

}  // namespace
}  // namespace strbatch
