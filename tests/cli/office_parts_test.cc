// Every story of documents other programs wrote (python-docx, openpyxl,
// odfpy): what --parts body and --parts all count, the notice of what the
// body left unsearched, and a replace of every story that the writing
// library reads back. Skipped where those libraries are not installed.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "cli/cli.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

constexpr const char* kPython = "/usr/bin/python3";

struct CliRun {
  int exitCode = -1;
  std::string out, err;
};

std::string Slurp(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) text.append(buffer, n);
  return text;
}

CliRun Cli(std::vector<std::string> args) {
  args.insert(args.begin(), "strbatch-cli");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CliRun run;
  run.exitCode = RunCli(static_cast<int>(argv.size()), argv.data(), nullptr, out, err);
  run.out = Slurp(out);
  run.err = Slurp(err);
  std::fclose(out);
  std::fclose(err);
  return run;
}

// Runs the fixture script; gives its standard output, or "" when it failed.
bool Script(const ScratchDir& dir, const std::string& arguments, std::string* out) {
  const std::string output = dir.File(".script-out");
  const std::string line = std::string(kPython) + " " + STRBATCH_THIRD_PARTY_DOCUMENTS + " " +
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
} kDocuments[] = {
    // Body and a table cell; a header, a first-page header, a footer.
    {"letter.docx", 3, 7, 0},
    // Two sheets' cells; a comment on each; one sheet's name.
    {"book.xlsx", 3, 7, 1},
    // Body; header and footer of the master page, a footnote, a comment.
    {"text.odt", 1, 5, 0},
    // A cell; its comment; the sheet's name.
    {"book.ods", 1, 3, 1},
};

TEST(OfficePartsTest, DocumentsOfOtherProgramsAreSearchedInEveryStory) {
  ScratchDir dir;
  std::string out;
  if (!Script(dir, "make '" + dir.path() + "'", &out)) {
    GTEST_SKIP() << "python-docx, openpyxl or odfpy is missing: " << out;
  }
  for (const auto& document : kDocuments) {
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
    ASSERT_TRUE(Script(dir, "read '" + path + "'", &out)) << out;
    EXPECT_EQ(Occurrences(out, "cat"), static_cast<size_t>(document.keptByName)) << out;
  }
}

}  // namespace
}  // namespace strbatch
