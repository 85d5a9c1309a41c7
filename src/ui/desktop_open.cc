#include "ui/desktop_open.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>

#include "config/text_keys.h"
#include "ui/ui_text.h"

namespace strbatch {
namespace {

// xdg-open hands the file on and ends; where it runs the program itself
// (no desktop environment), it is still running after this while, which
// means the program started: all that can be told.
constexpr int kWaitMilliseconds = 3000;

}  // namespace

bool OpenWithDesktop(QWidget* owner, const LanguageCatalog& texts, const std::string& path) {
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  std::string message;
  if (opener.isEmpty()) {
    message = texts.Message(key::kNoDesktopOpener, {path});
  } else {
    QProcess process;
    process.setProgram(opener);
    process.setArguments({PathToQString(path)});
    process.setStandardOutputFile(QProcess::nullDevice());
    QApplication::setOverrideCursor(Qt::BusyCursor);
    process.start();
    const bool started = process.waitForStarted();
    const bool finished = started && process.waitForFinished(kWaitMilliseconds);
    QApplication::restoreOverrideCursor();
    if (!started) {
      message = texts.Message(key::kNoDesktopOpener, {path});
    } else if (finished &&
               (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)) {
      message =
          texts.Message(key::kDesktopCouldNotOpen, {path, std::to_string(process.exitCode())});
    }
  }
  if (message.empty()) return true;
  ShowMessageText(owner, texts, QString::fromStdString(message), key::kErrorCaption,
                  QMessageBox::Warning);
  return false;
}

}  // namespace strbatch
