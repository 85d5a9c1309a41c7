#include "lists/definition_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "base/paths.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\r\n";

class DefinitionFileTest : public ::testing::Test {
 protected:
  // Saves rows and loads them back.
  std::vector<DefinitionRecord> RoundTrip(const std::vector<DefinitionRecord>& rows) {
    Message error;
    std::string path = dir_.File("defs.xml");
    EXPECT_TRUE(SaveDefinitionFile(path, rows, &error)) << error;
    std::vector<DefinitionRecord> back;
    DefinitionFileError refused;
    EXPECT_TRUE(LoadDefinitionFile(path, &back, &refused)) << refused.message;
    return back;
  }
  // Loads definitions from file bytes: their pairs, or "refused@LINE" with
  // nothing loaded.
  std::string Load(const std::string& bytes, DefinitionFileError* error = nullptr) {
    std::vector<DefinitionRecord> rows;
    DefinitionFileError refused;
    if (error == nullptr) error = &refused;
    if (LoadDefinitionFile(dir_.Write("in.xml", bytes), &rows, error)) return Pairs(rows);
    EXPECT_TRUE(rows.empty());
    return "refused@" + std::to_string(error->line);
  }
  static std::string Pairs(const std::vector<DefinitionRecord>& rows) {
    std::string out;
    for (const DefinitionRecord& row : rows) out += "[" + row.find + "|" + row.replace + "]";
    return out;
  }

  ScratchDir dir_;
};

TEST_F(DefinitionFileTest, WritesTheFormatByteForByte) {
  EXPECT_EQ(FormatDefinitionFile({}), kDeclaration + "<replace>\r\n</replace>\r\n");
  EXPECT_EQ(FormatDefinitionFile({{"a<b", "c&d>e"}, {"\xD6\xD0", ""}, {"", "x"}}),
            kDeclaration +
                "<replace>\r\n"
                "<item><old><![CDATA[a<b]]></old><new>c&d>e</new></item>\r\n"
                "<item><old>\xD6\xD0</old><new></new></item>\r\n"
                "<item><old></old><new>x</new></item>\r\n"
                "</replace>\r\n");
  // The empty find string is written but not loaded back.
  EXPECT_EQ(Pairs(RoundTrip({{"", "x"}, {"a", ""}})), "[a|]");
}

TEST_F(DefinitionFileTest, EveryDefinitionComesBackIdentical) {
  std::vector<DefinitionRecord> rows;
  std::string allBytes;
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    rows.push_back({one, "x" + one + "y"});
    allBytes += one;
  }
  rows.push_back({allBytes, std::string(allBytes.rbegin(), allBytes.rend())});
  const char* const texts[] = {
      "\xD6\xD0\xCE\xC4 GBK \xB1\xED",
      "<\x81]]>",  // a double-byte character whose second byte is "]"
      "&amp; stays", "a > b", "a<b", "<", "<old>", "</new>", "\r\nlead", "trail\r\n",
      "\r\n<both>\r\n", "\n", "\r", "\r\n", "mid\r\ndle", "]]>", "<]]>", "a]]>b<c]]>",
      "]]]>", "x]]", "<x]]", "<![CDATA[", "]]><![CDATA[", "\r\n]]>\r\n"};
  for (const char* text : texts) rows.push_back({text, text});
  rows.push_back({std::string(300, 'L'), std::string(300, '<')});
  rows.push_back({std::string("nul\0inside", 10), std::string("\0", 1)});

  std::vector<DefinitionRecord> back = RoundTrip(rows);
  ASSERT_EQ(back.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(back[i].find, rows[i].find) << "row " << i;
    EXPECT_EQ(back[i].replace, rows[i].replace) << "row " << i;
  }
}

TEST_F(DefinitionFileTest, FilesOfTheOlderWriterStillLoad) {
  // One unsplit CDATA section per text, plain text otherwise; entity
  // references are not decoded.
  std::string file = kDeclaration +
                     "<replace>\r\n"
                     "<item><old><![CDATA[a<b]]></old><new>&lt;</new></item>\r\n"
                     "<item><old>plain</old><new><![CDATA[<\r\nx>]]></new></item>\r\n"
                     "</replace>\r\n";
  EXPECT_EQ(Load(file), "[a<b|&lt;][plain|<\r\nx>]");
  // Layout line breaks around plain texts are not part of them.
  EXPECT_EQ(Load(kDeclaration + "<replace><item><old>\r\n\r\nab\r\n</old></item></replace>"),
            "[ab|]");
}

struct ToleranceRow {
  const char* why;
  std::string file;
  const char* expected;
};

TEST_F(DefinitionFileTest, ReaderToleranceRules) {
  const std::string d = kDeclaration;
  const ToleranceRow rows[] = {
      {"tags in any case", d + "<REPLACE><Item><OLD>a</OLD><New>b</New></Item></REPLACE>",
       "[a|b]"},
      {"lower-case CDATA", d + "<replace><item><old><![cdata[<a>]]></old></item></replace>",
       "[<a>|]"},
      {"an item with an attribute is no item",
       d + "<replace><item id=\"1\"><old>a</old></item><item><old>b</old></item></replace>",
       "[b|]"},
      {"the later of two old children wins",
       d + "<replace><item><old>a</old><new>n</new><old>b</old></item></replace>", "[b|n]"},
      {"unknown children are ignored",
       d + "<replace><item><note>x</note><old>a</old><br/></item><other/></replace>", "[a|]"},
      {"declaration in one line with the root", "<?xml?><replace><item><old>a</old></item></replace>",
       "[a|]"},
      {"unterminated CDATA", d + "<replace><item><old><![CDATA[a</old></item></replace>",
       "refused@2"},
      {"a comment before the root is the root",
       d + "<!-- defs --><replace><item><old>a</old></item></replace>", "refused@2"},
      {"byte-order mark", "\xEF\xBB\xBF" + d + "<replace><item><old>a</old></item></replace>",
       "refused@1"},
      {"leading blank", " " + d + "<replace><item><old>a</old></item></replace>", "refused@1"},
      {"empty first line", "\r\n" + d + "<replace><item><old>a</old></item></replace>",
       "refused@1"},
      {"another root", d + "<list><item><old>a</old></item></list>", "refused@2"},
      {"root without children", d + "<replace>a</replace>", ""},
      {"no declaration", "<replace><item><old>a</old></item></replace>", "refused@1"},
      {"empty file", "", "refused@0"},
  };
  for (const ToleranceRow& row : rows) EXPECT_EQ(Load(row.file), row.expected) << row.why;
}

// A file cut off anywhere before its end, or not a definition file, must be
// refused whole: a cut inside an item used to load "replace with nothing".
TEST_F(DefinitionFileTest, CutOffAndForeignFilesAreRefusedWithTheirLine) {
  const std::string whole = FormatDefinitionFile({{"colour", "color"}, {"one", "two"}});
  const size_t end = whole.find("</replace>") + std::string("</replace>").size();
  for (size_t cut = 0; cut < end; cut++) {
    EXPECT_EQ(Load(whole.substr(0, cut)).substr(0, 8), "refused@") << "cut at " << cut;
  }
  EXPECT_EQ(Load(whole.substr(0, end)), "[colour|color][one|two]");

  const std::string d = kDeclaration;
  const std::string cdata = FormatDefinitionFile({{"a<b", "x"}});
  const struct {
    std::string file;
    const char* expected;
    Message reason;
  } rows[] = {
      {whole.substr(0, whole.find("</old>", whole.find("one")) + 6), "refused@4",
       Message(MessageId::kEndsBeforeClosed, {"<item>"})},
      {whole.substr(0, whole.find("<new>two") + 3), "refused@4",
       Message(MessageId::kEndsInNamedTag, {"<ne>"})},
      {cdata.substr(0, cdata.find("a<b") + 2), "refused@3", Message(MessageId::kEndsInCdata)},
      {"<?xml version=\"1.0\"?><defs><def", "refused@1",
       Message(MessageId::kEndsInNamedTag, {"<def>"})},
      {"<?xml version=\"1.0\"?>\n<defs></defs>", "refused@2",
       Message(MessageId::kRootNotReplace, {"<defs>"})},
      {d + "<replace>\r\n<item><old>a</old>\r\n</replace>\r\n", "refused@2",
       Message(MessageId::kEndsBeforeClosed, {"<replace>"})},
      {"<?xml version=", "refused@1", Message(MessageId::kEndsInDeclaration)},
      {d + "\r\n", "refused@0", Message(MessageId::kNoElement)},
  };
  for (const auto& row : rows) {
    DefinitionFileError error;
    EXPECT_EQ(Load(row.file, &error), row.expected) << row.reason;
    EXPECT_EQ(error.reason.id, row.reason.id) << error.message;
    EXPECT_EQ(error.reason.args, row.reason.args) << error.message;
    // The message names the file, and the line where there is one.
    const std::vector<std::string> where =
        error.line > 0 ? std::vector<std::string>{dir_.File("in.xml"), std::to_string(error.line)}
                       : std::vector<std::string>{dir_.File("in.xml")};
    EXPECT_EQ(error.message.args, where) << error.message;
  }
}

TEST_F(DefinitionFileTest, FailedSavesLeaveTheEarlierFileWhole) {
  Message error;
  std::string path;
  ASSERT_TRUE(CarriedDefinitionFilePath(&path, &error)) << error;
  EXPECT_EQ(path.substr(path.rfind('/')), "/_tqmix_tmp_map.xml");
  std::vector<DefinitionRecord> rows;
  DefinitionFileError refused;
  std::string movedTo;
  EXPECT_TRUE(LoadCarriedDefinitions(&rows, &refused, &movedTo));  // first run: no file yet
  EXPECT_TRUE(rows.empty());

  ASSERT_TRUE(SaveCarriedDefinitions({{"keep", "me"}}, &error)) << error;
  std::string before = testing::ReadBytes(path);
  testing::FailingRewriter failing;
  EXPECT_FALSE(SaveCarriedDefinitions(failing, {{"new", "list"}}, &error));
  EXPECT_EQ(testing::ReadBytes(path), before);
  EXPECT_TRUE(LoadCarriedDefinitions(&rows, &refused, &movedTo));
  EXPECT_EQ(Pairs(rows), "[keep|me]");

  // An empty list is saved too, and carries nothing.
  ASSERT_TRUE(SaveCarriedDefinitions({}, &error)) << error;
  rows.clear();
  EXPECT_TRUE(LoadCarriedDefinitions(&rows, &refused, &movedTo));
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(testing::ReadBytes(path), kDeclaration + "<replace>\r\n</replace>\r\n");
}

// A carried file that is refused goes aside, never over an earlier one, so
// that the save at exit cannot destroy what may be the user's only copy.
TEST_F(DefinitionFileTest, RefusedCarriedFilesAreMovedAsideWhole) {
  std::string path;
  Message error;
  ASSERT_TRUE(CarriedDefinitionFilePath(&path, &error)) << error;
  const std::string cut = FormatDefinitionFile({{"a", "b"}, {"c", "d"}}).substr(0, 70);
  for (const char* aside : {".damaged", ".damaged.2"}) {
    testing::WriteBytes(path, cut + aside);
    std::vector<DefinitionRecord> rows;
    DefinitionFileError refused;
    std::string movedTo;
    EXPECT_FALSE(LoadCarriedDefinitions(&rows, &refused, &movedTo));
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(refused.message.args.at(0), path) << refused.message;
    EXPECT_EQ(movedTo, path + aside);
    EXPECT_EQ(testing::ReadBytes(movedTo), cut + aside);
    struct stat st;
    EXPECT_NE(lstat(path.c_str(), &st), 0);
  }
}

TEST_F(DefinitionFileTest, UnreadablePathsAreRefusedWithoutBlocking) {
  std::vector<DefinitionRecord> rows;
  DefinitionFileError error;
  std::string fifo = dir_.File("fifo.xml");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {dir_.File("missing.xml"), dir_.path(), fifo}) {
    EXPECT_FALSE(LoadDefinitionFile(path, &rows, &error));
    EXPECT_EQ(error.message.args.at(0), path) << error.message;
  }
  EXPECT_TRUE(rows.empty());
  EXPECT_FALSE(SaveDefinitionFile(dir_.path(), {{"a", "b"}}, &error.reason));
  EXPECT_EQ(error.reason.id, MessageId::kIsDirectory);
}

}  // namespace
}  // namespace strbatch
