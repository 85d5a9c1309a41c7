#include "ui/slot_guard.h"

#include <exception>
#include <string>

#include "config/text_keys.h"
#include "ui/ui_text.h"

namespace strbatch {

void RunGuarded(QWidget* owner, const LanguageCatalog& texts, const QString& command,
                const std::function<void()>& body, const std::function<void()>& cleanup) {
  std::string what;
  try {
    body();
    return;
  } catch (const std::exception& error) {
    what = error.what();
  } catch (...) {
    what = texts.Message(key::kUnknownException);
  }
  // The message is built after the handler has ended, so that memory the
  // failed command held is free again.
  try {
    if (cleanup) cleanup();
    QString name = command;
    name.replace(QLatin1Char('\n'), QString());
    ShowMessageText(owner, texts,
                    QString::fromStdString(
                        texts.Message(key::kCommandDidNotFinish, {name.toStdString(), what})),
                    key::kErrorCaption, QMessageBox::Warning);
  } catch (...) {
    // Nothing more can be told; the window stays up all the same.
  }
}

}  // namespace strbatch
