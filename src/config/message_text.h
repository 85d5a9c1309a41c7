// Typed messages and questions (base/message.h) in the user's language:
// each message id and each question has its key in the language files
// (one table, message_text.cc), and an errno becomes the system's reason in
// that language where the system has one, else the catalog's. All texts
// are UTF-8.
#ifndef STRBATCH_CONFIG_MESSAGE_TEXT_H_
#define STRBATCH_CONFIG_MESSAGE_TEXT_H_

#include <string>

#include "base/message.h"
#include "config/language.h"

namespace strbatch {

// The sentence, then the OS reason if any, then the cause, joined as the
// language joins them.
std::string MessageText(const LanguageCatalog& texts, const Message& message);

// The language-file keys of a message (empty for kLibraryText and kNone).
const char* MessageKey(MessageId id);

// A question's text and its window's caption.
std::string QuestionText(const LanguageCatalog& texts, Question question);
std::string QuestionCaption(const LanguageCatalog& texts, Question question);
const char* QuestionKey(Question question);
const char* QuestionCaptionKey(Question question);

// Why the system failed (errno) in the catalog's language: strerror_l in a
// locale of that language when the system has one with translated reasons,
// else the catalog's text for the errno, else "system error N". The locale
// names are a parameter for tests; the default is the language's own.
std::string OsErrorText(const LanguageCatalog& texts, int osError);
std::string OsErrorTextIn(const LanguageCatalog& texts, int osError, const char* localeName);

}  // namespace strbatch

#endif  // STRBATCH_CONFIG_MESSAGE_TEXT_H_
