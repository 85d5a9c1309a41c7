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
    std::string error;
    std::string path = dir_.File("defs.xml");
    EXPECT_TRUE(SaveDefinitionFile(path, rows, &error)) << error;
    std::vector<DefinitionRecord> back;
    LoadDefinitionFile(path, &back);
    return back;
  }
  // Loads definitions from file bytes.
  std::vector<DefinitionRecord> Load(const std::string& bytes) {
    std::vector<DefinitionRecord> rows;
    LoadDefinitionFile(dir_.Write("in.xml", bytes), &rows);
    return rows;
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
  EXPECT_EQ(Pairs(Load(file)), "[a<b|&lt;][plain|<\r\nx>]");
  // Layout line breaks around plain texts are not part of them.
  EXPECT_EQ(Pairs(Load(kDeclaration + "<replace><item><old>\r\n\r\nab\r\n</old></item></replace>")),
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
      {"unterminated CDATA runs to the end",
       d + "<replace><item><old><![CDATA[a</old></item></replace>",
       "[a</old></item></replace>|]"},
      {"a comment before the root hides it",
       d + "<!-- defs --><replace><item><old>a</old></item></replace>", ""},
      {"byte-order mark", "\xEF\xBB\xBF" + d + "<replace><item><old>a</old></item></replace>", ""},
      {"leading blank", " " + d + "<replace><item><old>a</old></item></replace>", ""},
      {"empty first line", "\r\n" + d + "<replace><item><old>a</old></item></replace>", ""},
      {"another root", d + "<list><item><old>a</old></item></list>", ""},
      {"root without children", d + "<replace>a</replace>", ""},
      {"no declaration", "<replace><item><old>a</old></item></replace>", ""},
      {"empty file", "", ""},
  };
  for (const ToleranceRow& row : rows) EXPECT_EQ(Pairs(Load(row.file)), row.expected) << row.why;
}

TEST_F(DefinitionFileTest, FailedSavesLeaveTheEarlierFileWhole) {
  std::string error;
  std::string path;
  ASSERT_TRUE(CarriedDefinitionFilePath(&path, &error)) << error;
  EXPECT_EQ(path.substr(path.rfind('/')), "/_tqmix_tmp_map.xml");
  std::vector<DefinitionRecord> rows;
  EXPECT_EQ(LoadCarriedDefinitions(&rows), 0u);  // first run: no file yet

  ASSERT_TRUE(SaveCarriedDefinitions({{"keep", "me"}}, &error)) << error;
  std::string before = testing::ReadBytes(path);
  testing::FailingRewriter failing;
  EXPECT_FALSE(SaveCarriedDefinitions(failing, {{"new", "list"}}, &error));
  EXPECT_EQ(testing::ReadBytes(path), before);
  EXPECT_EQ(LoadCarriedDefinitions(&rows), 1u);
  EXPECT_EQ(Pairs(rows), "[keep|me]");

  // An empty list is saved too, and carries nothing.
  ASSERT_TRUE(SaveCarriedDefinitions({}, &error)) << error;
  rows.clear();
  EXPECT_EQ(LoadCarriedDefinitions(&rows), 0u);
  EXPECT_EQ(testing::ReadBytes(path), kDeclaration + "<replace>\r\n</replace>\r\n");
}

TEST_F(DefinitionFileTest, UnreadablePathsLoadNothingWithoutBlocking) {
  std::vector<DefinitionRecord> rows;
  EXPECT_EQ(LoadDefinitionFile(dir_.File("missing.xml"), &rows), 0u);
  EXPECT_EQ(LoadDefinitionFile(dir_.path(), &rows), 0u);
  std::string fifo = dir_.File("fifo.xml");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(LoadDefinitionFile(fifo, &rows), 0u);
  std::string error;
  EXPECT_FALSE(SaveDefinitionFile(dir_.path(), {{"a", "b"}}, &error));
}

}  // namespace
}  // namespace strbatch
