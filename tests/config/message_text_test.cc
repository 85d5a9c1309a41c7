#include "config/message_text.h"

#include <cerrno>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "base/paths.h"

namespace strbatch {
namespace {

// Three English words in a row: a sentence left untranslated.
bool HoldsEnglishSentence(const std::string& text) {
  static const std::regex kWords("[A-Za-z]{2,} [A-Za-z]{2,} [A-Za-z]{2,}");
  return std::regex_search(text, kWords);
}

class MessageTextTest : public ::testing::Test {
 protected:
  void SetUp() override { SetResourceDirectory(ProgramDirectory()); }
  void TearDown() override { SetResourceDirectory(""); }

  LanguageCatalog english_{Language::English};
  LanguageCatalog chinese_{Language::Chinese};
};

// A message id or question without its key in a language file would reach
// the user as an empty line, or in English beside Chinese.
TEST_F(MessageTextTest, EveryMessageAndQuestionHasItsTextInBothLanguages) {
  for (int id = static_cast<int>(MessageId::kCannotOpen); id < static_cast<int>(MessageId::kCount);
       id++) {
    Message message(static_cast<MessageId>(id), {"/p", "/q", "3", "4", "5", "6", "7"});
    SCOPED_TRACE(MessageKey(message.id));
    EXPECT_NE(MessageText(english_, message), "");
    const std::string chinese = MessageText(chinese_, message);
    EXPECT_NE(chinese, "");
    EXPECT_FALSE(HoldsEnglishSentence(chinese)) << chinese;
    EXPECT_EQ(chinese.find('%'), std::string::npos) << chinese;
  }
  for (Question question :
       {Question::kChangeFiles, Question::kChangeFilesWithoutUndo,
        Question::kGoOnWithoutUndoOverLimit, Question::kGoOnWithoutJournal,
        Question::kUndoLastRun, Question::kUndoChosenRun, Question::kSortFiles}) {
    SCOPED_TRACE(QuestionKey(question));
    EXPECT_NE(QuestionText(english_, question), "");
    EXPECT_NE(QuestionCaption(chinese_, question), "");
    EXPECT_FALSE(HoldsEnglishSentence(QuestionText(chinese_, question)));
  }
}

// The texts the programs name in config/text_keys.h, read from the header
// itself so that a key added there is checked without a list to keep: each
// is in both files with the same placeholders (a translation that drops
// "%2" loses a path), and no key has two names.
TEST_F(MessageTextTest, EveryNamedTextIsInBothLanguages) {
  std::ifstream header(STRBATCH_TEXT_KEYS_HEADER);
  ASSERT_TRUE(header) << STRBATCH_TEXT_KEYS_HEADER;
  static const std::regex kDeclaration(R"re(inline constexpr char (k\w+)\[\] = "([0-9]+)";)re");
  static const std::regex kPlaceholder("%[1-9]");
  auto placeholders = [](const std::string& text) {
    std::set<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), kPlaceholder), end; it != end; ++it) {
      found.insert(it->str());
    }
    return found;
  };
  std::set<std::string> keys;
  std::string line;
  while (std::getline(header, line)) {
    if (line.find("inline constexpr") == std::string::npos) continue;
    std::smatch declaration;
    ASSERT_TRUE(std::regex_search(line, declaration, kDeclaration)) << line;
    const std::string key = declaration[2];
    SCOPED_TRACE(declaration[1].str() + " = " + key);
    EXPECT_TRUE(keys.insert(key).second) << "named twice";
    const std::string english = english_.Text(key);
    EXPECT_NE(english, "");
    EXPECT_NE(chinese_.Text(key), "");
    EXPECT_EQ(placeholders(chinese_.Text(key)), placeholders(english));
  }
  EXPECT_GT(keys.size(), 100u);
}

TEST_F(MessageTextTest, SentenceThenOsReasonThenCause) {
  const Message noBackup = Message(MessageId::kNoBackupMade)
                               .Because(Message(MessageId::kCannotOpen, {"/d/a.txt"})
                                            .WithOsError(ENOENT));
  const struct {
    Message message;
    Language language;
    std::string expected;
  } kCases[] = {
      {LibraryText("as a library said it"), Language::Chinese, "as a library said it"},
      {noBackup, Language::Chinese, "未做备份：无法打开 /d/a.txt：文件或文件夹不存在"},
      {Message(MessageId::kDefinitionFault, {"2"}).Because(Message(MessageId::kPatternRange, {"5"})),
       Language::English, "definition 2: the range at character 5 runs backwards"},
      // Only the reasons that occurred, each with its count.
      {Message(MessageId::kNotApplied, {"5", "0", "2", "0", "0", "3", "0"}), Language::English,
       "5 occurrences were counted but not changed: 2 lie in protected parts; "
       "3 cover characters the document's text could not be matched as"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(MessageText(LanguageCatalog(c.language), c.message), c.expected);
  }
}

// A fresh Debian system has no Chinese locale generated, and a generated
// one may lack the C library's translations: the catalog's reason is given
// then, never the English one beside a Chinese sentence.
TEST_F(MessageTextTest, OsReasonFallsBackToTheCatalog) {
  EXPECT_EQ(OsErrorTextIn(chinese_, EACCES, "xx_XX.UTF-8"), "权限不够");
  EXPECT_EQ(OsErrorTextIn(chinese_, EROFS, "C"), "文件系统是只读的");
  EXPECT_EQ(OsErrorTextIn(chinese_, 4095, "xx_XX.UTF-8"), "系统错误 4095");
  EXPECT_EQ(OsErrorTextIn(english_, ENOENT, "C"), "No such file or directory");
  EXPECT_EQ(OsErrorTextIn(english_, ENOSPC, "xx_XX.UTF-8"), "no space left on the device");
}

}  // namespace
}  // namespace strbatch
