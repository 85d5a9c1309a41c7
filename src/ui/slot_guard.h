// The window's one exception boundary: every command slot runs its body
// through RunGuarded, so that an exception leaving a command (memory
// exhausted, a library's error) becomes a warning box naming the command
// and the window stays up, instead of ending the program.
#ifndef STRBATCH_UI_SLOT_GUARD_H_
#define STRBATCH_UI_SLOT_GUARD_H_

#include <QString>
#include <functional>

#include "config/language.h"

class QWidget;

namespace strbatch {

// Runs body; if it throws, runs cleanup (closing what the command left
// open, such as its progress window) and tells the user, over owner.
void RunGuarded(QWidget* owner, const LanguageCatalog& texts, const QString& command,
                const std::function<void()>& body, const std::function<void()>& cleanup = {});

}  // namespace strbatch

#endif  // STRBATCH_UI_SLOT_GUARD_H_
