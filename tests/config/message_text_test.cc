#include "config/message_text.h"

#include <cerrno>
#include <regex>

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
