// End to end: the CLI over Word, Excel and PowerPoint files that LibreOffice
// itself made, read back with LibreOffice afterwards. Skipped where
// LibreOffice is not installed (scripts/test installs it).
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "base/paths.h"
#include "office/office_bridge.h"
#include "office_test_support.h"
#include "test_support.h"

namespace strbatch {
namespace {

using nlohmann::json;
using testing::ReadBytes;
using testing::ScratchDir;

constexpr const char* kSoffice = "/usr/lib/libreoffice/program/soffice.bin";
constexpr const char* kPython = "/usr/bin/python3";

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted.push_back(c);
    }
  }
  return quoted + "'";
}

std::string CliPath() {
  const char* bin = std::getenv("STRBATCH_TEST_BIN");
  return (bin ? std::string(bin) : ProgramDirectory()) + "/strbatch-cli";
}

bool Installed() {
  return access(kSoffice, X_OK) == 0 && access(kPython, X_OK) == 0 &&
         access((ProgramDirectory() + "/strbatch_libreoffice.so").c_str(), R_OK) == 0;
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs a shell command line in dir, with extra environment assignments.
Result RunIn(const ScratchDir& dir, const std::string& command, const std::string& env = "") {
  const std::string out = dir.File(".out"), err = dir.File(".err");
  const std::string line = "cd " + Quote(dir.path()) + " && " + env + " " + command + " >" +
                           Quote(out) + " 2>" + Quote(err);
  Result result;
  const int status = std::system(line.c_str());
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadBytes(out);
  result.err = ReadBytes(err);
  return result;
}

// The processes whose command line mentions text.
std::vector<std::string> ProcessesMentioning(const std::string& text) {
  std::vector<std::string> found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return found;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::string cmdline = ReadBytes(std::string("/proc/") + entry->d_name + "/cmdline");
    if (cmdline.find(text) != std::string::npos) found.push_back(entry->d_name);
  }
  closedir(proc);
  return found;
}

std::string PrivateDir() {
  std::string dir;
  Message error;
  PrivateTempDir(&dir, &error);
  return dir;
}

class LibreOfficeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!Installed()) return;
    documents_ = new ScratchDir;
    made_ = RunIn(*documents_, std::string(kPython) + " " + STRBATCH_OFFICE_FIXTURE + " make .")
                    .status == 0 &&
            RunIn(*documents_, std::string(kPython) + " " + STRBATCH_OFFICE_FIXTURE + " objects .")
                    .status == 0;
  }
  static void TearDownTestSuite() {
    delete documents_;
    documents_ = nullptr;
  }
  void SetUp() override {
    if (!Installed()) GTEST_SKIP() << "LibreOffice is not installed";
    ASSERT_TRUE(made_) << "the test documents could not be made";
  }
  void TearDown() override {
    // However the run ended, no instance is left, and no profile.
    EXPECT_EQ(ProcessesMentioning(PrivateDir()), std::vector<std::string>());
    std::vector<std::string> left;
    if (DIR* dir = opendir(PrivateDir().c_str())) {
      while (dirent* entry = readdir(dir)) {
        if (std::string(entry->d_name).rfind("office-", 0) == 0) left.push_back(entry->d_name);
      }
      closedir(dir);
    }
    EXPECT_EQ(left, std::vector<std::string>());
  }

  std::string Copy(const std::string& name) {
    return dir_.Write(name, ReadBytes(documents_->File(name)));
  }
  Result Cli(const std::string& arguments, const std::string& env = "") {
    return RunIn(dir_, Quote(CliPath()) + " " + arguments, env);
  }
  json Dump(const std::string& names, const char* how = "dump") {
    Result result = RunIn(dir_, std::string(kPython) + " " + STRBATCH_OFFICE_FIXTURE + " " + how +
                                    " " + names);
    EXPECT_EQ(result.status, 0) << result.err;
    return json::parse(result.out, nullptr, false);
  }
  // Runs definitions over copies of names through LibreOffice, as the batch
  // does, and saves them; gives the occurrences left as they were, by
  // document.
  std::map<std::string, NotApplied> ReplaceThroughLibreOffice(
      const std::vector<std::string>& names,
      const std::vector<std::pair<std::string, std::string>>& definitions) {
    std::map<std::string, NotApplied> leftovers;
    std::unique_ptr<OfficeBridge> office = MakeApplicationBridge(DefaultFileRewriter());
    for (const std::string& name : names) {
      const std::string path = Copy(name);
      Message whyNot;
      std::unique_ptr<OfficeDocument> document = office->Open(
          path, OfficeKindOf(SplitPath(path).extension), CodePage::Utf8(), &whyNot);
      EXPECT_TRUE(document) << name << ": " << testing::EnglishReason(whyNot);
      if (!document) continue;
      for (const auto& [find, replace] : definitions) {
        testing::ReplaceAll(*document, find, replace);
      }
      document->Close(true);
      leftovers[name] = document->Leftovers();
    }
    office->QuitAll();
    return leftovers;
  }

  static ScratchDir* documents_;
  static bool made_;
  ScratchDir dir_;
};

ScratchDir* LibreOfficeTest::documents_ = nullptr;
bool LibreOfficeTest::made_ = false;

const std::vector<std::string> kAll = {"letter.doc", "second.doc", "zipped.docx", "table.xls",
                                       "slides.ppt"};
const char kAllNames[] = "letter.doc second.doc zipped.docx table.xls slides.ppt";

TEST_F(LibreOfficeTest, ReplaceChangesEveryOccurrenceAndNothingElse) {
  for (const std::string& name : kAll) Copy(name);
  // A Chinese name with a blank reaches LibreOffice intact.
  ASSERT_EQ(rename(dir_.File("second.doc").c_str(), dir_.File("第二 second.doc").c_str()), 0);
  const std::string names =
      "letter.doc '第二 second.doc' zipped.docx table.xls slides.ppt";
  // A semicolon becomes a line break: a new paragraph in a document or a
  // shape, a second line in a cell.
  Result plain =
      Cli(std::string("replace -y -d cat kitten -d 中文 汉语 -d ';' '\\n' ") + names);
  ASSERT_EQ(plain.status, 0) << plain.err;
  // The two emoji are characters GBK cannot hold; the page number field is
  // never matched either, but is no character the code page lacks.
  std::string notices;
  for (const char* name : {"table.xls", "slides.ppt"}) {
    notices += std::string("strbatch-cli: ") + name +
               ": 1 characters the code page cannot hold were not searched (--encoding utf-8 or "
               "auto searches them)\n";
  }
  EXPECT_EQ(plain.err, notices);
  EXPECT_NE(plain.out.find("16\tcat\tkitten"), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("5\t中文\t汉语"), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("3\t;\t"), std::string::npos) << plain.out;
  Result advanced = Cli(std::string("replace -y -a -d '{[0-9]+}元' '{1} yuan' ") + names);
  ASSERT_EQ(advanced.status, 0) << advanced.err;
  EXPECT_NE(advanced.out.find("4\t{[0-9]+}元"), std::string::npos) << advanced.out;

  const json expected = json::parse(R"({
    "letter.doc": {"filter": "MS Word 97", "text": [
      "猫和狗: kitten and dog, kitten.", "价格 100 yuan and 25 yuan", "a Cat stays",
      "split", "here", "page 1 kitten", "kitten in a table", "汉语表格", "", "kitten", "end"]},
    "第二 second.doc": {"filter": "MS Word 97", "text": ["another kitten", "第二个文档 汉语"]},
    "zipped.docx": {"filter": "MS Word 2007 XML", "text": ["a docx kitten 汉语"]},
    "table.xls": {"filter": "MS Excel 97", "text": [
      [["kitten", "狗"], ["a kitten and a kitten", "100 yuan"], ["42", "=1+1"],
       ["😀 kitten", "x\ny"], ["two\nlines kitten", ""]],
      [["汉语 kitten"]]]},
    "slides.ppt": {"filter": "MS PowerPoint 97", "text": [
      ["Cat slide 汉语", "kitten\nsecond kitten", ""], ["25 yuan", "😀 kitten\nend"]]}
  })");
  EXPECT_EQ(Dump(names), expected);
  // Still the same kind of file: compound documents, and a zip.
  for (const char* name : {"letter.doc", "table.xls", "slides.ppt"}) {
    EXPECT_EQ(ReadBytes(dir_.File(name)).substr(0, 4), "\xD0\xCF\x11\xE0") << name;
  }
  EXPECT_EQ(ReadBytes(dir_.File("zipped.docx")).substr(0, 2), "PK");
}

TEST_F(LibreOfficeTest, FindCountsAndLeavesEveryFileAsItWas) {
  std::vector<std::string> before;
  for (const std::string& name : kAll) before.push_back(ReadBytes(Copy(name)));
  Result find = Cli(std::string("find -d cat kitten -d 中文 汉语 ") + kAllNames);
  ASSERT_EQ(find.status, 0) << find.err;
  EXPECT_NE(find.out.find("6\tletter.doc"), std::string::npos) << find.out;
  EXPECT_NE(find.out.find("7\ttable.xls"), std::string::npos) << find.out;
  EXPECT_NE(find.out.find("4\tslides.ppt"), std::string::npos) << find.out;
  EXPECT_NE(find.out.find("16\tcat"), std::string::npos) << find.out;
  for (size_t i = 0; i < kAll.size(); i++) {
    EXPECT_TRUE(ReadBytes(dir_.File(kAll[i])) == before[i]) << kAll[i] << " changed";
  }
}

TEST_F(LibreOfficeTest, TwoDocumentsAndAWorkbookShareOneInstance) {
  Copy("letter.doc");
  Copy("second.doc");
  Copy("table.xls");
  // A stand-in for soffice that notes each start, then becomes the real one.
  const std::string log = dir_.File("starts.log");
  const std::string wrapper =
      dir_.Write("soffice.sh", "#!/bin/sh\necho \"$@\" >> " + Quote(log) + "\nexec " +
                                   std::string(kSoffice) + " \"$@\"\n");
  chmod(wrapper.c_str(), 0755);
  // What a killed run left goes; what a running one holds stays.
  const std::string stale = PrivateDir() + "/office-999999999-a1b2c3";
  const std::string live = PrivateDir() + "/office-" + std::to_string(getpid()) + "-d4e5f6";
  mkdir(stale.c_str(), 0700);
  testing::WriteBytes(stale + "/registrymodifications.xcu", "x");
  mkdir(live.c_str(), 0700);
  Result run = Cli("replace -y -d cat kitten letter.doc second.doc table.xls",
                   "STRBATCH_SOFFICE=" + Quote(wrapper));
  EXPECT_NE(access(stale.c_str(), F_OK), 0);
  EXPECT_EQ(rmdir(live.c_str()), 0);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("12\tcat"), std::string::npos) << run.out;
  // soffice asks to be started again once it has made a new profile; that
  // is the same instance, on the same pipe.
  std::set<std::string> pipes;
  std::istringstream starts(ReadBytes(log));
  for (std::string line; std::getline(starts, line);) {
    const size_t at = line.find("--accept=");
    if (at != std::string::npos) pipes.insert(line.substr(at));
  }
  EXPECT_EQ(pipes.size(), 1u) << ReadBytes(log);
#if !defined(__SANITIZE_ADDRESS__)
  // The instance is told where the plugin's document service is.
  EXPECT_NE(ReadBytes(log).find("strbatch.rdb"), std::string::npos) << ReadBytes(log);
#endif
}

// Documents worked inside soffice (the plugin's document service) and
// documents worked over the pipe come out the same.
TEST_F(LibreOfficeTest, InsideSofficeAndOverThePipeGiveTheSameDocuments) {
  const std::string names = "letter.doc table.xls slides.ppt";
  const std::string definitions = "-d cat kitten -d 中文 汉语 -d ';' '\\n' -d 'in a' ''";
  ASSERT_EQ(mkdir(dir_.File("pipe").c_str(), 0755), 0);
  for (const char* name : {"letter.doc", "table.xls", "slides.ppt"}) {
    dir_.Write(std::string("pipe/") + name, ReadBytes(Copy(name)));
  }
  Result inside = Cli("replace -y " + definitions + " " + names);
  Result piped = RunIn(dir_, "cd pipe && " + Quote(CliPath()) + " replace -y " + definitions +
                                 " " + names,
                       "STRBATCH_OFFICE_PIPE=1");
  ASSERT_EQ(inside.status, 0) << inside.err;
  EXPECT_EQ(inside.out, piped.out);
  EXPECT_EQ(inside.err, piped.err);
  const json there = Dump(names);
  EXPECT_EQ(there, Dump("pipe/letter.doc pipe/table.xls pipe/slides.ppt"));
  EXPECT_EQ(there["letter.doc"]["text"][6], "kitten  table");
}

TEST_F(LibreOfficeTest, AFileLibreOfficeCannotOpenEndsTheRunAtThatFile) {
  dir_.Write("notes.xls", "cat,dog\n");  // CSV that only has the name
  Copy("second.doc");
  mkdir(dir_.File("folder.doc").c_str(), 0755);
  const std::string later = ReadBytes(dir_.File("second.doc"));
  dir_.Write("later.doc", later);
  Result run = Cli("replace -y -d cat kitten notes.xls second.doc folder.doc later.doc");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("notes.xls: LibreOffice reads it as"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("folder.doc"), std::string::npos) << run.err;
  EXPECT_EQ(ReadBytes(dir_.File("notes.xls")), "cat,dog\n");
  EXPECT_TRUE(ReadBytes(dir_.File("later.doc")) == later);
  EXPECT_EQ(Dump("second.doc")["second.doc"]["text"],
            json::parse(R"(["another kitten", "第二个文档 中文"])"));
}

// A document whose lock file says this user has it open (as one left by
// a program that crashed does) is named as in use and left; the rest of
// the batch is done.
TEST_F(LibreOfficeTest, ADocumentInUseIsNamedAndLeft) {
  const std::string original = ReadBytes(documents_->File("second.doc"));
  dir_.Write("held.doc", original);
  char host[256] = {0};
  gethostname(host, sizeof(host) - 1);
  const passwd* user = getpwuid(geteuid());
  ASSERT_NE(user, nullptr);
  dir_.Write(".~lock.held.doc#", std::string(",") + user->pw_name + "," + host +
                                     ",08.12.2026 10:00,file:///nowhere;");
  Copy("second.doc");
  Result run = Cli("replace -y -d cat kitten held.doc second.doc");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("held.doc: it is in use: "), std::string::npos) << run.err;
  EXPECT_TRUE(ReadBytes(dir_.File("held.doc")) == original);
  EXPECT_NE(run.out.find("1\tsecond.doc"), std::string::npos) << run.out;
}

// A document that opens only with a password says so; LibreOffice gives no
// reason of its own.
TEST_F(LibreOfficeTest, ADocumentUnderAPasswordIsNamedAndLeft) {
  for (const char* name : {"password.doc", "password.xls"}) {
    const std::string path = Copy(name);
    const std::string original = ReadBytes(path);
    Result run = Cli(std::string("replace -y -d cat kitten ") + name);
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_NE(run.err.find(std::string(name) + ": it is protected with a password"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(ReadBytes(path) == original) << name;
  }
  // The reason crosses from soffice as a message, worded here.
  Result chinese = Cli("find -d cat kitten --lang zh password.doc");
  EXPECT_NE(chinese.err.find("password.doc: 文档受密码保护"), std::string::npos) << chinese.err;
}

// An occurrence that holds the anchor of a frame, a text box, an image, a
// bookmark or a footnote is counted and left; one that ends or begins at an
// anchor is replaced, the anchor staying where it was. Afterwards every
// object is there, anchored among the same characters. (A .docx comes back
// from LibreOffice with the frame at its paragraph's end, apart from the
// occurrence, and with it moved to the start once the paragraph is saved
// again: there only the objects are compared.)
TEST_F(LibreOfficeTest, AnchoredObjectsSurviveAReplaceAroundThem) {
  const std::map<std::string, size_t> names = {
      {"anchors.doc", 5}, {"anchors.odt", 5}, {"anchors.docx", 4}};
  json before;
  std::vector<std::string> list;
  for (const auto& [name, left] : names) {
    before[name] = Dump(Copy(name), "inspect")[name];
    list.push_back(name);
  }
  const auto leftovers = ReplaceThroughLibreOffice(
      list, {{"chart below", "figure below"}, {"chart", "figure"}, {"cat", "kitten"},
             {"picture here", "photo"}, {"bookmark there", "mark"}, {"note\uFFFC text", "remark"}});
  for (const auto& [name, left] : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(leftovers.at(name).Of(NotAppliedReason::kObjectAnchor), left);
    EXPECT_EQ(leftovers.at(name).Total(), left);
    json expected = before[name];
    for (json& run : expected["paragraphs"][0]) {
      if (!run.is_array()) continue;
      std::string text = run[0];
      for (const auto& [find, replace] : {std::pair{"chart", "figure"}, {"cat", "kitten"}}) {
        const size_t at = text.find(find);
        if (at != std::string::npos) text.replace(at, std::string(find).size(), replace);
      }
      run[0] = text;
    }
    const json after = Dump(name, "inspect")[name];
    EXPECT_EQ(after["objects"], expected["objects"]);
    if (name != "anchors.docx") {
      EXPECT_EQ(after, expected);
    }
  }
}

// Removing every character of a text (the body, a table cell) would take
// an object anchored at its start with it: that removal is counted and
// left. Replacing the same characters keeps the object.
TEST_F(LibreOfficeTest, ATextIsNotEmptiedOfAnObjectAnchoredInIt) {
  const std::vector<std::string> names = {"emptied.doc", "emptied-cell.doc"};
  for (const std::string& name : names) Copy(name);
  const std::string both = "emptied.doc emptied-cell.doc";
  const json objects = Dump(both, "inspect");
  const json text = Dump(both);
  auto leftovers = ReplaceThroughLibreOffice(names, {{"lone", ""}});
  const json removedObjects = Dump(both, "inspect");
  const json removedText = Dump(both);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ASSERT_EQ(objects[name]["objects"]["images"], 1);
    EXPECT_EQ(leftovers.at(name).Of(NotAppliedReason::kObjectAnchor), 1u);
    EXPECT_EQ(removedObjects[name]["objects"], objects[name]["objects"]);
    EXPECT_EQ(removedText[name]["text"], text[name]["text"]);
  }
  leftovers = ReplaceThroughLibreOffice(names, {{"lone", "solo"}});
  const json replacedObjects = Dump(both, "inspect");
  const json replacedText = Dump(both);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(leftovers.at(name).Total(), 0u);
    EXPECT_EQ(replacedObjects[name]["objects"], objects[name]["objects"]);
    EXPECT_NE(replacedText[name]["text"].dump().find("solo"), std::string::npos)
        << replacedText[name];
  }
}

// A replacement takes the formatting of the occurrence's first character,
// in a paragraph, a cell and a shape: "ca" bold + "t" italic becomes bold,
// "ca" plain + "t" bold plain.
TEST_F(LibreOfficeTest, AReplacementTakesTheFormattingOfItsFirstCharacter) {
  const std::vector<std::string> names = {"formats.doc", "formats.xls", "formats.ppt"};
  ReplaceThroughLibreOffice(names, {{"cat", "kitten"}});
  const json runs = json::parse(R"([[["kitten", true, false], [" and do kitten", false, false]]])");
  for (const std::string& name : names) {
    EXPECT_EQ(Dump(name, "inspect")[name]["paragraphs"], runs) << name;
  }
}

// Number cells are searched as LibreOffice shows them, whether read in a
// block (whole numbers in the general format) or one by one.
TEST_F(LibreOfficeTest, NumberCellsAreSearchedAsTheyShow) {
  const std::string path = Copy("numbers.xls");
  const json shown = Dump("numbers.xls", "inspect")["numbers.xls"]["shown"];
  ASSERT_EQ(shown.size(), 16u) << shown;
  std::unique_ptr<OfficeBridge> office = MakeApplicationBridge(DefaultFileRewriter());
  Message whyNot;
  std::unique_ptr<OfficeDocument> document =
      office->Open(path, OfficeKind::Excel, CodePage::Utf8(), &whyNot);
  ASSERT_TRUE(document) << testing::EnglishReason(whyNot);
  const std::string text = document->WriteText();
  document->Close(false);
  office->QuitAll();
  // Each cell's text whole, between the separators of cells and rows.
  size_t at = 0;
  for (const json& cell : shown) {
    const std::string expected = cell.get<std::string>();
    at = text.find(expected, at);
    ASSERT_NE(at, std::string::npos) << expected << " in " << text;
    const size_t end = at + expected.size();
    EXPECT_TRUE(at == 0 || std::string("\t\r\n").find(text[at - 1]) != std::string::npos) << text;
    EXPECT_TRUE(end == text.size() || std::string("\t\r\n").find(text[end]) != std::string::npos)
        << expected << " in " << text;
    at = end;
  }
}

// A paragraph mark replaced by text joins the paragraphs, the text where the
// mark was; the last mark stays.
TEST_F(LibreOfficeTest, AReplacedParagraphMarkJoinsTheParagraphsWhereItWas) {
  const auto leftovers = ReplaceThroughLibreOffice({"second.doc"}, {{"\r", " | "}});
  EXPECT_EQ(leftovers.at("second.doc").Of(NotAppliedReason::kSpansParts), 1u);
  EXPECT_EQ(Dump("second.doc")["second.doc"]["text"],
            json::parse(R"(["another cat | 第二个文档 中文"])"));
}

// Protected sections and the locked cells of a protected sheet are counted
// and left as they were; the rest of the document is edited.
TEST_F(LibreOfficeTest, ProtectedPartsAreCountedAndLeft) {
  const std::vector<std::string> names = {"protected.doc", "protected.odt", "protected.xls",
                                          "protected.ods"};
  const auto leftovers = ReplaceThroughLibreOffice(names, {{"cat", "kitten"}});
  const json expected = json::parse(R"({
    "protected.doc": ["open kitten", "locked cat", "open kitten again"],
    "protected.odt": ["open kitten", "locked cat", "open kitten again"],
    "protected.xls": [[["open kitten"]], [["locked cat", "free kitten"]]],
    "protected.ods": [[["open kitten"]], [["locked cat", "free kitten"]]]
  })");
  const json read = Dump("protected.doc protected.odt protected.xls protected.ods");
  for (const std::string& name : names) {
    EXPECT_EQ(leftovers.at(name).Of(NotAppliedReason::kProtected), 1u) << name;
    EXPECT_EQ(read[name]["text"], expected[name]) << name;
  }
}

// Runs without LibreOffice too.
TEST(LibreOfficeMissingTest, DocumentsAreLeftOutWithOneWarning) {
  ScratchDir dir;
  for (const char* name : {"a.doc", "b.xls", "c.ppt"}) dir.Write(name, "cat");
  dir.Write("d.txt", "cat");
  Result run = RunIn(dir, Quote(CliPath()) + " replace -y -d cat dog a.doc b.xls c.ppt d.txt",
                   "STRBATCH_SOFFICE=/nonexistent/soffice.bin");
  EXPECT_EQ(run.status, 1) << run.err;  // done, with the documents left out
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_NE(run.err.find("LibreOffice"), std::string::npos) << run.err;
  for (const char* name : {"a.doc", "b.xls", "c.ppt"}) EXPECT_EQ(dir.Read(name), "cat");
  EXPECT_EQ(dir.Read("d.txt"), "dog");
}

// The stories beyond the body of documents LibreOffice made in the legacy
// formats, each story with a word of its own: laid out after the body, or
// kept for a count, and edited where each word stands.
class LibreOfficeStoriesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!Installed()) return;
    documents_ = new ScratchDir;
    made_ = RunIn(*documents_, std::string(kPython) + " " + STRBATCH_OFFICE_FIXTURE + " stories .")
                .status == 0;
  }
  static void TearDownTestSuite() {
    delete documents_;
    documents_ = nullptr;
  }
  void SetUp() override {
    if (!Installed()) GTEST_SKIP() << "LibreOffice is not installed";
    ASSERT_TRUE(made_) << "the test documents could not be made";
  }
  std::unique_ptr<OfficeDocument> Open(const std::string& path, OfficeParts parts) {
    office_->SetParts(parts);
    Message whyNot;
    std::unique_ptr<OfficeDocument> document =
        office_->Open(path, OfficeKindOf(SplitPath(path).extension), CodePage::Utf8(), &whyNot);
    EXPECT_TRUE(document) << path << ": " << testing::EnglishReason(whyNot);
    return document;
  }

  static ScratchDir* documents_;
  static bool made_;
  ScratchDir dir_;
  std::unique_ptr<OfficeBridge> office_ = MakeApplicationBridge(DefaultFileRewriter());
};

ScratchDir* LibreOfficeStoriesTest::documents_ = nullptr;
bool LibreOfficeStoriesTest::made_ = false;

const struct {
  const char* name;
  const char* body;
  const char* stories;
} kStoryDocuments[] = {
    // Headers and footers, footnotes, endnotes, comments (none), frames.
    {"stories.doc", "body cat\xEF\xBF\xBC more\xEF\xBF\xBC\rsecond paragraph\r",
     "\fheadcat\rfootcat\r\fnotecat\r\fendcat\r\f\fframecat\r"},
    // Comments by row then column, sheet by sheet; then the sheets' names.
    {"stories.xls", "cell\t\t\n\t\t\n\t\t\n\rother\t\n\r",
     "\fhighcat\tlowcat\t\rothercat\t\r\fsheetcat\rOther\r"},
    {"stories.ppt", "slide 1 cat\n\rslide 2 cat\n\r", "\ffirstnotecat\n\rsecondnotecat\n\r"},
};

TEST_F(LibreOfficeStoriesTest, EachStoryFollowsTheBodyOrIsKeptForACount) {
  for (const auto& row : kStoryDocuments) {
    SCOPED_TRACE(row.name);
    const std::string path = documents_->File(row.name);
    std::unique_ptr<OfficeDocument> body = Open(path, OfficeParts::kBody);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->WriteText(), row.body);
    EXPECT_EQ(body->OtherStoriesText(), row.stories);
    body->Close(false);
    std::unique_ptr<OfficeDocument> all = Open(path, OfficeParts::kAll);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->WriteText(), std::string(row.body) + row.stories);
    EXPECT_EQ(all->OtherStoriesText(), "");
    all->Close(false);
  }
  office_->QuitAll();
}

TEST_F(LibreOfficeStoriesTest, AnEditInEachStoryIsSavedWhereItStands) {
  for (const auto& row : kStoryDocuments) {
    SCOPED_TRACE(row.name);
    const std::string path = dir_.Write(row.name, ReadBytes(documents_->File(row.name)));
    std::unique_ptr<OfficeDocument> document = Open(path, OfficeParts::kAll);
    ASSERT_TRUE(document);
    testing::ReplaceAll(*document, "cat", "dog");
    document->Close(true);
    // A sheet's name is counted, never changed.
    const bool workbook = OfficeKindOf(SplitPath(path).extension) == OfficeKind::Excel;
    EXPECT_EQ(document->Leftovers().Of(NotAppliedReason::kSheetName), workbook ? 1u : 0u);
    EXPECT_EQ(document->Leftovers().Total(), workbook ? 1u : 0u);

    std::string expected = std::string(row.body) + row.stories;
    for (size_t at = expected.find("cat"); at != std::string::npos; at = expected.find("cat", at)) {
      if (expected.compare(at > 5 ? at - 5 : 0, 8, "sheetcat") != 0) expected.replace(at, 3, "dog");
      at += 3;
    }
    std::unique_ptr<OfficeDocument> reopened = Open(path, OfficeParts::kAll);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->WriteText(), expected);
    reopened->Close(false);
  }
  office_->QuitAll();
}

}  // namespace
}  // namespace strbatch
