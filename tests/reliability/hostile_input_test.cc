// Hostile and odd input: binary files, broken GBK and BIG5 sequences, lone
// lead bytes, a 100 MB line, a 5 GB sparse file, 100,000-file lists, folder
// trees with link loops, FIFOs and devices, strange file names, and random
// bytes as definition, language and settings files. Nothing may crash, hang
// or corrupt; a file that cannot be processed is reported and skipped.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "config/language.h"
#include "base/profile.h"
#include "config/settings.h"
#include "batch/batch_driver.h"
#include "batch/recording_host.h"
#include "lists/definition_file.h"
#include "lists/folder_scan.h"
#include "reliability_support.h"
#include "sorttool/line_sort.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using testing::MemoryScratchDir;
using testing::RecordingHost;
using testing::StateOf;
using testing::TestRandom;

// The bytes from the first NUL on, which no command may change.
std::string Tail(const std::string& bytes) {
  size_t nul = bytes.find('\0');
  return nul == std::string::npos ? "" : bytes.substr(nul);
}

// Runs the command-line program and fails the test (killing it) when it
// does not end within the time given.
ChildResult RunCliWithin(const std::vector<std::string>& args, int seconds,
                         const ChildOptions& options = {}) {
  pid_t pid = testing::StartCli(args, options);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  bool late =
      testing::WaitWhileRunning(pid, [&] { return std::chrono::steady_clock::now() > deadline; });
  if (late) kill(pid, SIGKILL);
  ChildResult result = testing::FinishCli(pid);
  EXPECT_FALSE(late) << "the command hung";
  return result;
}

// One batch over a list of files with one definition.
struct Batch {
  FileList files;
  DefinitionList definitions;
  RecordingHost host;
  BatchRunner runner{files, definitions, host};

  Batch(const std::vector<std::string>& paths, const std::string& find, const std::string& replace,
        bool advanced) {
    for (const std::string& path : paths) files.Append(path, true);
    definitions.Append(find, replace, true);
    runner.options.Advance = advanced;
  }
};

// Records "offset:length" joined by ";"; checks they lie inside limit and
// go forwards.
bool MatchListFits(const std::string& records, size_t limit) {
  size_t previous = 0;
  std::string piece;
  std::istringstream in(records);
  while (std::getline(in, piece, ';')) {
    size_t colon = piece.find(':');
    if (colon == std::string::npos) return false;
    size_t offset = std::stoull(piece.substr(0, colon));
    size_t length = std::stoull(piece.substr(colon + 1));
    if (offset < previous || offset + length > limit) return false;
    previous = offset;
  }
  return true;
}

class HostileInputTest : public ::testing::Test {
 protected:
  MemoryScratchDir memory_;
};

// Random bytes, bytes from the edges of the double-byte ranges, text that
// ends in a lone lead byte or has one before a NUL, and valid text in the
// other code page: every definition finds the same occurrences it then
// replaces, records lie inside the searched text, and the bytes from the
// first NUL on survive replacement, conversion and sorting.
TEST_F(HostileInputTest, OddBytesThroughFindReplaceConversionAndSort) {
  const std::string edges = std::string("\x80\x81\xFE\xFF\x40\x7F\xA1\xA4\0\r\nalph", 15);
  TestRandom random(8);
  std::vector<std::string> inputs;
  for (int i = 0; i < 160; i++) {
    switch (i % 4) {
      case 0:
        inputs.push_back(random.Bytes(random.Below(3000)));
        break;
      case 1:
        inputs.push_back(random.From(edges, random.Below(3000)));
        break;
      case 2:
        inputs.push_back("alpha \xD6\xD0\xCE" + random.From(edges, random.Below(40)) + "\x81");
        break;
      default:
        inputs.push_back(std::string("\xA4\xA4\xA4\x40 alpha\x81\0tail\x81", 18) +
                         random.Bytes(64));
    }
  }
  inputs.push_back("\x81");
  inputs.push_back(std::string("\x81\0", 2));
  std::vector<std::string> paths;
  for (size_t i = 0; i < inputs.size(); i++)
    paths.push_back(memory_.File("in" + std::to_string(i)));
  auto reset = [&] {
    for (size_t i = 0; i < inputs.size(); i++) testing::WriteBytes(paths[i], inputs[i]);
  };

  struct Definition {
    const char* find;
    const char* replace;
    bool advanced;
  };
  const Definition definitions[] = {
      {"alpha", "ALPHA-GROWN", false}, {"\x81", "", false},        {"a", "aa", false},
      {"\xFF\xFF", "\x81", false},     {"\\n", "\\r\\n", false},   {".", "<{0}>", true},
      {"[\x81-\xFE]+", "", true},      {"{.}{.}", "{2}{1}", true}, {"a*?l", "L", true},
      {"^{[^\\n]*}$", "[{1}]", true},
  };
  for (const Definition& definition : definitions) {
    SCOPED_TRACE(definition.find);
    reset();
    Batch find(paths, definition.find, definition.replace, definition.advanced);
    find.runner.BatchFind();
    Batch replace(paths, definition.find, definition.replace, definition.advanced);
    replace.runner.BatchReplace();
    for (size_t i = 0; i < inputs.size(); i++) {
      EXPECT_EQ(testing::CountText(find.files.Row(i).count),
                testing::CountText(replace.files.Row(i).count))
          << paths[i];
      EXPECT_TRUE(
          MatchListFits(testing::MatchListText(find.files.Row(i).matches), inputs[i].find('\0')))
          << testing::MatchListText(find.files.Row(i).matches);
      EXPECT_EQ(Tail(testing::ReadBytes(paths[i])), Tail(inputs[i])) << paths[i];
    }
    testing::AddToFigure("odd inputs tried (file x definition)",
                         static_cast<int64_t>(inputs.size()));
    if (HasFailure()) return;
  }

  // A definition that changes nothing leaves every file as it was.
  reset();
  std::vector<ino_t> inodes;
  for (const std::string& path : paths) inodes.push_back(StateOf(path).inode);
  Batch same(paths, "alpha", "alpha", false);
  same.runner.BatchReplace();
  for (size_t i = 0; i < inputs.size(); i++) EXPECT_EQ(StateOf(paths[i]).inode, inodes[i]);

  for (int altCode = 1; altCode <= 4; altCode++) {
    SCOPED_TRACE("conversion " + std::to_string(altCode));
    reset();
    Batch convert(paths, "", "", false);
    convert.runner.ConvertCode(AltCodeFromNumber(altCode));
    for (size_t i = 0; i < inputs.size(); i++) {
      EXPECT_EQ(Tail(testing::ReadBytes(paths[i])), Tail(inputs[i])) << paths[i];
    }
  }

  reset();
  std::vector<CheckedPath> rows;
  for (const std::string& path : paths) rows.push_back({path, true});
  RecordingHost host;
  RunLineSort(rows, SortOptions{}, host, DefaultFileRewriter());
  EXPECT_TRUE(host.warnings.empty());
}

// Conversions whose output is larger than their input, past the first
// output buffer and many times past the pivot: the conversion of a text
// repeated is the conversion of the text, repeated, also across the points
// where the buffers were refilled.
TEST_F(HostileInputTest, ConversionsThatGrowTheText) {
  struct Row {
    int codePage;
    std::string unit;
  };
  const Row rows[] = {
      {CodePage::kGbk, "\x80"},       // one byte to three of UTF-8
      {CodePage::kGbk, "\xFF"},       // a byte no character starts with
      {CodePage::kGbk, "a\xD6\xD0"},  // three bytes to four
      {CodePage::kGbk, "\x81\x30\x81\x30"},
      {CodePage::kBig5, "\xA4\xA4x\x80"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.unit));
    const CodePage codePage(row.codePage);
    std::string unitUtf8, input, expected, utf8;
    codePage.ToUtf8(row.unit, &unitUtf8);
    ASSERT_FALSE(unitUtf8.empty());
    for (int i = 0; i < 100000; i++) {
      input += row.unit;
      expected += unitUtf8;
    }
    codePage.ToUtf8(input, &utf8);
    ASSERT_EQ(utf8.size(), expected.size());
    EXPECT_TRUE(utf8 == expected);
    // And back, where the code page can hold the characters.
    std::string back, unitBack;
    codePage.FromUtf8(unitUtf8, &unitBack);
    codePage.FromUtf8(utf8, &back);
    EXPECT_EQ(back.size(), unitBack.size() * 100000);
  }
}

TEST_F(HostileInputTest, HundredMegabyteLine) {
  const size_t half = size_t{50} << 20;
  std::string text =
      "needle" + std::string(half, 'x') + "needle" + std::string(half, 'y') + "needle";
  const std::string plain = memory_.File("plain.txt"), advanced = memory_.File("advanced.txt");
  testing::WriteBytes(plain, text);
  testing::WriteBytes(advanced, text);

  Batch find({plain}, "needle", "", false);
  find.runner.BatchFind();
  EXPECT_EQ(testing::MatchListText(find.files.Row(0).matches),
            "0:6;" + std::to_string(half + 6) + ":6;" + std::to_string(2 * half + 12) + ":6");
  Batch grow({plain}, "needle", "NEEDLE-GROWN", false);
  grow.runner.BatchReplace();
  EXPECT_EQ(testing::CountText(grow.files.Row(0).count), "3");
  std::string now = testing::ReadBytes(plain);
  EXPECT_EQ(now.size(), text.size() + 18);
  EXPECT_EQ(now.substr(half + 12, 12), "NEEDLE-GROWN");
  EXPECT_EQ(now.substr(now.size() - 13), "yNEEDLE-GROWN");

  Batch pattern({advanced}, "ne{e}dle", "<{1}>", true);
  pattern.runner.BatchReplace();
  EXPECT_EQ(testing::CountText(pattern.files.Row(0).count), "3");
  now = testing::ReadBytes(advanced);
  EXPECT_EQ(now.size(), text.size() - 9);
  EXPECT_EQ(now.substr(0, 4), "<e>x");
}

// A 5 GB file (sparse) when memory is short: reported as too large and
// skipped, left as it was (still sparse), and the run goes on.
TEST_F(HostileInputTest, FiveGigabyteSparseFileUnderAMemoryLimit) {
  if (testing::UnderSanitizer()) GTEST_SKIP() << "an address-space limit breaks the sanitizer";
  const std::string huge = memory_.File("huge.txt");
  testing::WriteBytes(huge, "alpha");
  ASSERT_EQ(truncate(huge.c_str(), int64_t{5} << 30), 0);
  struct stat before;
  ASSERT_EQ(stat(huge.c_str(), &before), 0);
  const std::string small = memory_.File("small.txt");
  testing::WriteBytes(small, "alpha");

  ChildOptions limited;
  limited.addressSpaceLimit = int64_t{1} << 30;
  ChildResult result =
      RunCliWithin({"replace", "-y", "--no-undo", "-d", "alpha", "beta", huge, small}, 60, limited);
  EXPECT_EQ(result.exitCode, 1) << result.err;  // done, with a file skipped
  EXPECT_NE(result.err.find(huge), std::string::npos) << result.err;
  EXPECT_NE(result.out.find("0\t" + huge + "\n"), std::string::npos) << result.out;
  EXPECT_EQ(testing::ReadBytes(small), "beta");
  struct stat after;
  ASSERT_EQ(stat(huge.c_str(), &after), 0);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_blocks, before.st_blocks);
  char start[5];
  FILE* f = std::fopen(huge.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fread(start, 1, 5, f), 5u);
  std::fclose(f);
  EXPECT_EQ(std::string(start, 5), "alpha");
}

TEST_F(HostileInputTest, HundredThousandFiles) {
  const size_t folders = 100, perFolder = 1000;
  size_t expectedTotal = 0;
  for (size_t d = 0; d < folders; d++) {
    std::string folder = memory_.File("d" + std::to_string(d));
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    for (size_t f = 0; f < perFolder; f++) {
      std::string text = "file";
      for (size_t k = 0; k < f % 3; k++) text += " alpha";
      expectedTotal += f % 3;
      testing::WriteBytes(folder + "/f" + std::to_string(f) + ".txt", text);
    }
  }
  std::vector<std::string> paths = CollectFolderFiles(memory_.path(), "*.txt", true);
  ASSERT_EQ(paths.size(), folders * perFolder);
  EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()).size(), paths.size());

  Batch find(paths, "alpha", "", false);
  find.runner.BatchFind();
  EXPECT_EQ(testing::CountText(find.definitions.Row(0).count), std::to_string(expectedTotal));
  for (size_t r = 0; r < paths.size(); r++) {
    const std::string name = paths[r].substr(paths[r].rfind('/') + 2);
    const size_t f = std::stoul(name);
    ASSERT_EQ(testing::CountText(find.files.Row(r).count), std::to_string(f % 3)) << paths[r];
  }
  EXPECT_TRUE(find.host.warnings.empty());
  testing::AddToFigure("files in the largest list", static_cast<int64_t>(paths.size()));
}

// Link loops, a link to itself, a dangling link, a FIFO and a device in a
// folder tree: the scan ends, takes each regular file once and leaves the
// rest out; given by hand, the odd ones are reported and skipped at once.
TEST_F(HostileInputTest, FolderTreeWithLinkLoopsFifosAndDevices) {
  const std::string root = memory_.path();
  ASSERT_EQ(mkdir((root + "/a").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((root + "/a/b").c_str(), 0755), 0);
  testing::WriteBytes(root + "/a/b/deep.txt", "alpha");
  testing::WriteBytes(root + "/top.txt", "alpha");
  ASSERT_EQ(symlink("../..", (root + "/a/b/up").c_str()), 0);
  ASSERT_EQ(symlink(".", (root + "/self").c_str()), 0);
  ASSERT_EQ(symlink("loop", (root + "/loop").c_str()), 0);
  ASSERT_EQ(symlink("missing", (root + "/dangling.txt").c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", (root + "/zero.txt").c_str()), 0);
  ASSERT_EQ(mkfifo((root + "/fifo.txt").c_str(), 0644), 0);

  std::vector<std::string> found = CollectFolderFiles(root, "*.txt", true);
  std::set<std::string> names;
  for (const std::string& path : found) names.insert(path.substr(path.rfind('/') + 1));
  EXPECT_EQ(names, (std::set<std::string>{"deep.txt", "top.txt"}));
  EXPECT_EQ(found.size(), 2u);

  const std::vector<std::string> odd = {root + "/fifo.txt", root + "/zero.txt",
                                        root + "/dangling.txt", root + "/a"};
  std::vector<std::string> args = {"replace", "-y", "-d", "alpha", "beta"};
  args.insert(args.end(), odd.begin(), odd.end());
  args.push_back(root + "/top.txt");
  ChildResult result = RunCliWithin(args, 30);
  EXPECT_EQ(result.exitCode, 1) << result.err;  // done, with files skipped
  EXPECT_EQ(testing::ReadBytes(root + "/top.txt"), "beta");
  for (const std::string& path : odd) {
    EXPECT_NE(result.err.find(path + ":"), std::string::npos) << result.err;
  }
  struct stat st;
  ASSERT_EQ(lstat((root + "/fifo.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Line ends, tabs, leading dashes, bytes that are not UTF-8 and shell
// syntax in file names: replaced like any other; renamed where the new name
// is valid, otherwise reported and left; never lost or overwritten; nothing
// is run by a shell.
TEST_F(HostileInputTest, StrangeFileNames) {
  const std::vector<std::string> names = {
      "old\nline.txt", "old\ttab.txt",         "-old-dash.txt",
      "--old",         "old\xFF\xFE.txt",      "old $(touch ran) `touch ran` ;touch ran.txt",
      "old*?[a].txt",  "old \xE4\xB8\xAD.txt", "old-taken.txt"};
  const std::string folder = memory_.path();
  std::vector<std::string> paths;
  for (const std::string& name : names) {
    paths.push_back(folder + "/" + name);
    testing::WriteBytes(paths.back(), "alpha in " + name);
  }
  testing::WriteBytes(folder + "/new-taken.txt", "already here");

  std::vector<std::string> args = {"replace", "-y", "--json", "-d", "alpha", "beta", "--"};
  args.insert(args.end(), paths.begin(), paths.end());
  ChildResult result = RunCliWithin(args, 30);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  for (size_t i = 0; i < names.size(); i++) {
    EXPECT_EQ(testing::ReadBytes(paths[i]), "beta in " + names[i]);
  }
  nlohmann::json json = nlohmann::json::parse(result.out, nullptr, false);
  ASSERT_FALSE(json.is_discarded()) << result.out;
  EXPECT_EQ(json["files"].size(), names.size());

  args = {"rename", "-y", "-d", "old", "new", "--"};
  args.insert(args.end(), paths.begin(), paths.end());
  result = RunCliWithin(args, 30);
  ASSERT_EQ(result.exitCode, 1) << result.err;  // a name with a tab is refused
  // Every content is still there exactly once.
  std::multiset<std::string> contents;
  for (const std::string& name : testing::ListFolder(folder)) {
    contents.insert(testing::ReadBytes(folder + "/" + name));
  }
  std::multiset<std::string> expected = {"already here"};
  for (const std::string& name : names) expected.insert("beta in " + name);
  EXPECT_EQ(contents, expected);
  // The line feed, the bytes that are not UTF-8 and the taken name stayed.
  EXPECT_TRUE(StateOf(paths[0]).exists);
  EXPECT_TRUE(StateOf(paths[4]).exists);
  EXPECT_EQ(testing::ReadBytes(folder + "/new-taken.txt"), "already here");
  EXPECT_EQ(testing::ReadBytes(paths[8]), "beta in old-taken.txt");
  EXPECT_TRUE(StateOf(paths[1]).exists) << "a tab is refused like every control character";
  EXPECT_TRUE(StateOf(folder + "/-new-dash.txt").exists);
  EXPECT_FALSE(StateOf(folder + "/ran").exists);
  EXPECT_FALSE(StateOf("ran").exists);
}

// Random bytes, random bytes after an XML declaration, and damaged copies
// of a good file, as definition files: the reader yields only definitions
// with a find string, and the command line reports what it cannot use.
TEST_F(HostileInputTest, RandomBytesAsDefinitionFiles) {
  const std::string good = FormatDefinitionFile({{"alpha", "beta"}, {"\xD6\xD0", "x<y>&"}});
  TestRandom random(11);
  const std::string path = memory_.File("defs.xml");
  for (int i = 0; i < 600; i++) {
    std::string bytes;
    switch (i % 3) {
      case 0:
        bytes = random.Bytes(random.Below(2000));
        break;
      case 1:
        bytes = "<?xml version=\"1.0\"?>" +
                random.From("<>/=\"' replace item find a\n\0", random.Below(400));
        break;
      default:
        bytes = good;
        for (size_t k = 0, n = 1 + random.Below(6); k < n; k++) {
          bytes[random.Below(bytes.size())] = static_cast<char>(random.Next());
        }
        bytes.resize(random.Below(bytes.size() + 1));
    }
    testing::WriteBytes(path, bytes);
    std::vector<DefinitionRecord> rows;
    DefinitionFileError error;
    if (!LoadDefinitionFile(path, &rows, &error)) {
      ASSERT_TRUE(rows.empty()) << i;
      ASSERT_EQ(error.message.args.at(0), path) << i;
    }
    for (const DefinitionRecord& row : rows) ASSERT_FALSE(row.find.empty()) << i;
  }
  testing::AddToFigure("random definition files read", 600);
  testing::WriteBytes(path, random.Bytes(5000));
  const std::string target = memory_.File("target.txt");
  testing::WriteBytes(target, "alpha");
  ChildResult result = RunCliWithin({"replace", "-y", "-D", path, target}, 30);
  EXPECT_EQ(result.signal, 0);
  EXPECT_NE(result.err.find(path), std::string::npos) << result.err;
  EXPECT_EQ(testing::ReadBytes(target), "alpha");
}

TEST_F(HostileInputTest, RandomLanguageFilesAndHugeSettings) {
  TestRandom random(12);
  SetResourceDirectory(memory_.path());
  for (int i = 0; i < 200; i++) {
    std::string bytes =
        i % 2 ? random.Bytes(random.Below(4000))
              : "[string]\n1023=" + random.From("ab\\n\x81\xFE\r\n=[]", 1 + random.Below(5000));
    testing::WriteBytes(memory_.File("chinese.lang"), bytes);
    testing::WriteBytes(memory_.File("english.lang"), bytes);
    for (Language language : {Language::Chinese, Language::English}) {
      const LanguageCatalog texts(language);
      EXPECT_LE(texts.Text("1023").size(), kTextLimit);
      EXPECT_LE(texts.DialogCaption("dialog_main").size(), kCaptionLimit);
      EXPECT_LE(texts.ControlCaption("dialog_main", 1000).size(), kCaptionLimit);
      EXPECT_LE(texts.ColumnTitle("FILELIST_COL1").size(), kCaptionLimit);
    }
  }
  SetResourceDirectory("");
  testing::AddToFigure("random language files read", 200);

  const std::string settings = memory_.File("strbatch.INI");
  const Options defaults;
  for (const std::string& text :
       {"[option]\nCase=" + std::string(1 << 20, '7') + "\n",
        std::string("[option]\nCase=99999999999999999999\nAdvance=-1\nAltCode=2147483648\n"
                    "Language=1e3\nEncoding=") +
            std::string(1 << 20, 'u') + "\n",
        "[Sort3]\nByFile=" + std::string(1 << 20, '/') + "\n", random.Bytes(1 << 20)}) {
    testing::WriteBytes(settings, text);
    Options loaded = LoadSettings(settings);
    EXPECT_EQ(loaded.Case, defaults.Case);
    EXPECT_EQ(loaded.Advance, defaults.Advance);
    EXPECT_EQ(loaded.AltCode, defaults.AltCode);
    EXPECT_EQ(loaded.language, defaults.language);
    EXPECT_LE(LoadSortToolSettings(settings).equalValueTable.size(), 4096u);
  }
  // A settings file too large to be one of ours is neither read nor replaced.
  testing::WriteBytes(settings, "[option]\nLanguage=1\n" + std::string(kMaxProfileBytes, ';'));
  EXPECT_EQ(LoadSettings(settings).language, Language::Chinese);
  Message error;
  EXPECT_FALSE(SaveSettings(settings, Options{}, &error));
  EXPECT_EQ(std::filesystem::file_size(settings), kMaxProfileBytes + 20);
}

}  // namespace
}  // namespace strbatch
