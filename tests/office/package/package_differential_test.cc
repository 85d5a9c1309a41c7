// The zipped formats edited in their XML against the same documents edited
// in LibreOffice: documents LibreOffice made (tables with merged cells,
// frames and shapes, several sheets and slides, runs of mixed formatting,
// Chinese and English) give the same work text, the same counts and
// matches, and read back with the same text. Skipped where LibreOffice is
// not installed.
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "base/paths.h"
#include "office/office_bridge.h"
#include "office/package/package_document.h"
#include "office_test_support.h"
#include "test_support.h"

namespace strbatch {
namespace {

using nlohmann::json;
using testing::ReadBytes;
using testing::ScratchDir;

constexpr const char* kSoffice = "/usr/lib/libreoffice/program/soffice.bin";
constexpr const char* kPython = "/usr/bin/python3";

bool Installed() {
  return access(kSoffice, X_OK) == 0 && access(kPython, X_OK) == 0 &&
         access((ProgramDirectory() + "/strbatch_libreoffice.so").c_str(), R_OK) == 0;
}

// Runs the fixture script with arguments in dir; gives its standard output.
bool Fixture(const ScratchDir& dir, const std::string& arguments, std::string* out) {
  const std::string output = dir.File(".fixture-out");
  const std::string line = "cd '" + dir.path() + "' && " + kPython + " " +
                           STRBATCH_OFFICE_FIXTURE + " " + arguments + " >'" + output +
                           "' 2>/dev/null";
  const bool ran = std::system(line.c_str()) == 0;
  *out = ReadBytes(output);
  return ran;
}

struct Definition {
  const char* find;
  const char* replace;
};

const struct {
  const char* name;
  std::vector<Definition> definitions;
} kDocuments[] = {
    {"words.docx",
     {{"cat", "kitten"}, {"中文", "汉语"}, {"bold猫 plain", "BOLD CAT"}, {"  two", " 2"},
      {"after break", "AFTER\tTAB"}, {"a shape", "a\rshape"}, {"  leading", "leading  "}}},
    {"words.odt",
     {{"cat", "kitten"}, {"中文", "汉语"}, {"bold猫 plain", "BOLD CAT"}, {"  two", " 2"},
      {"after break", "AFTER\tTAB"}, {"a shape", "a\rshape"}, {"  leading", "leading  "}}},
    {"cells.xlsx", {{"cat", "kitten"}, {"猫", "貓"}, {"two lines", "2 lines"}, {"spaced", "\tspaced"}}},
    {"cells.ods", {{"cat", "kitten"}, {"猫", "貓"}, {"two lines", "2 lines"}, {"spaced", "\tspaced"}}},
    {"slides.pptx",
     {{"cat", "kitten"}, {"中文", "汉语"}, {";", "\n"}, {"Title", "A  title"}, {"kitten second", "kitten, 2nd"}}},
    {"slides.odp",
     {{"cat", "kitten"}, {"中文", "汉语"}, {";", "\n"}, {"Title", "A  title"}, {"kitten second", "kitten, 2nd"}}},
};

class PackageDifferentialTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!Installed()) return;
    documents_ = new ScratchDir;
    std::string out;
    made_ = Fixture(*documents_, "packages .", &out);
  }
  static void TearDownTestSuite() {
    delete documents_;
    documents_ = nullptr;
  }
  void SetUp() override {
    if (!Installed()) GTEST_SKIP() << "LibreOffice is not installed";
    ASSERT_TRUE(made_) << "the test documents could not be made";
  }

  static ScratchDir* documents_;
  static bool made_;
};

ScratchDir* PackageDifferentialTest::documents_ = nullptr;
bool PackageDifferentialTest::made_ = false;

// Every occurrence's offset and length in the text, as a find lists them.
std::vector<std::pair<size_t, size_t>> Matches(const std::string& text, const std::string& find) {
  std::vector<std::pair<size_t, size_t>> found;
  for (size_t at = text.find(find); at != std::string::npos; at = text.find(find, at + find.size())) {
    found.emplace_back(at, find.size());
  }
  return found;
}

TEST_F(PackageDifferentialTest, TheDirectPathReadsAndEditsAsLibreOfficeDoes) {
  ScratchDir direct, application;
  std::string names;
  {
    std::unique_ptr<OfficeBridge> package = MakePackageBridge(nullptr, DefaultFileRewriter());
    std::unique_ptr<OfficeBridge> office = MakeApplicationBridge(DefaultFileRewriter());
    for (const auto& document : kDocuments) {
      SCOPED_TRACE(document.name);
      names += std::string(" ") + document.name;
      const std::string bytes = ReadBytes(documents_->File(document.name));
      const std::string a = direct.Write(document.name, bytes);
      const std::string b = application.Write(document.name, bytes);
      const OfficeKind kind = OfficeKindOf(SplitPath(a).extension);
      Message whyNot;
      // The same text in GBK too, stand-ins for what GBK cannot hold
      // included.
      for (const CodePage* page : {&CodePage::Gbk(), &CodePage::Utf8()}) {
        std::unique_ptr<OfficeDocument> mine = package->Open(a, kind, *page, &whyNot);
        std::unique_ptr<OfficeDocument> theirs = office->Open(b, kind, *page, &whyNot);
        ASSERT_TRUE(mine && theirs) << testing::EnglishReason(whyNot);
        ASSERT_EQ(mine->WriteText(), theirs->WriteText()) << page->Name();
        if (page->IsUtf8()) {
          for (const Definition& definition : document.definitions) {
            SCOPED_TRACE(definition.find);
            const std::string before = mine->WriteText();
            EXPECT_EQ(Matches(before, definition.find), Matches(theirs->WriteText(), definition.find));
            EXPECT_EQ(testing::ReplaceAll(*mine, definition.find, definition.replace),
                      testing::ReplaceAll(*theirs, definition.find, definition.replace));
            EXPECT_EQ(mine->WriteText(), theirs->WriteText());
            EXPECT_EQ(mine->Leftovers().Total(), 0u);
          }
        }
        mine->Close(page->IsUtf8());
        theirs->Close(page->IsUtf8());
      }
    }
    office->QuitAll();
  }
  std::string mine, theirs;
  ASSERT_TRUE(Fixture(direct, "dump" + names, &mine));
  ASSERT_TRUE(Fixture(application, "dump" + names, &theirs));
  const json read = json::parse(mine, nullptr, false);
  const json expected = json::parse(theirs, nullptr, false);
  for (const auto& document : kDocuments) {
    EXPECT_EQ(read[document.name]["text"], expected[document.name]["text"]) << document.name;
    EXPECT_EQ(read[document.name]["filter"], expected[document.name]["filter"]) << document.name;
  }
}

// Every story of the zipped formats, as both paths lay it out. The
// LibreOffice side must give what the layout promises whatever the direct
// path reads.
const struct {
  const char* name;
  const char* allText;
} kStoryDocuments[] = {
    {"stories.docx", "body cat\xEF\xBF\xBC more\xEF\xBF\xBC\rsecond paragraph\r"
                     "\fheadcat\rfootcat\r\fnotecat\r\fendcat\r\f\fframecat\r"},
    {"stories.odt", "body cat\xEF\xBF\xBC more\xEF\xBF\xBC\rsecond paragraph\r"
                    "\fheadcat\rfootcat\r\fnotecat\r\fendcat\r\f\fframecat\r"},
    {"stories.xlsx", "cell\t\t\n\t\t\n\t\t\n\rother\t\n\r"
                     "\fhighcat\tlowcat\t\rothercat\t\r\fsheetcat\rOther\r"},
    {"stories.ods", "cell\t\t\n\t\t\n\t\t\n\rother\t\n\r"
                    "\fhighcat\tlowcat\t\rothercat\t\r\fsheetcat\rOther\r"},
    {"stories.pptx", "slide 1 cat\n\rslide 2 cat\n\r\ffirstnotecat\n\rsecondnotecat\n\r"},
    {"stories.odp", "slide 1 cat\n\rslide 2 cat\n\r\ffirstnotecat\n\rsecondnotecat\n\r"},
};

TEST_F(PackageDifferentialTest, EveryStoryAgrees) {
  ScratchDir stories;
  std::string out;
  ASSERT_TRUE(Fixture(stories, "stories .", &out));
  std::unique_ptr<OfficeBridge> package = MakePackageBridge(nullptr, DefaultFileRewriter());
  std::unique_ptr<OfficeBridge> office = MakeApplicationBridge(DefaultFileRewriter());
  for (OfficeBridge* bridge : {package.get(), office.get()}) bridge->SetParts(OfficeParts::kAll);
  for (const auto& document : kStoryDocuments) {
    SCOPED_TRACE(document.name);
    const std::string path = stories.File(document.name);
    const OfficeKind kind = OfficeKindOf(SplitPath(path).extension);
    Message whyNot;
    std::unique_ptr<OfficeDocument> theirs = office->Open(path, kind, CodePage::Utf8(), &whyNot);
    ASSERT_TRUE(theirs) << testing::EnglishReason(whyNot);
    EXPECT_EQ(theirs->WriteText(), document.allText);
    std::unique_ptr<OfficeDocument> mine = package->Open(path, kind, CodePage::Utf8(), &whyNot);
    ASSERT_TRUE(mine) << testing::EnglishReason(whyNot);
    EXPECT_EQ(mine->WriteText(), theirs->WriteText());
    EXPECT_EQ(testing::ReplaceAll(*mine, "cat", "", false),
              testing::ReplaceAll(*theirs, "cat", "", false));
    mine->Close(false);
    theirs->Close(false);
  }
  office->QuitAll();
}

}  // namespace
}  // namespace strbatch
