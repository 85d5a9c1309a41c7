// Set-up shared by the GUI tests: a private temporary directory, settings
// file and language files from the source tree, so no test touches the
// user's files; and a helper that answers the next modal dialog.
#ifndef STRBATCH_TESTS_UI_UI_TEST_SUPPORT_H_
#define STRBATCH_TESTS_UI_UI_TEST_SUPPORT_H_

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <string>

#include "config/language.h"
#include "list_text.h"

namespace strbatch::testing {

class UiTestEnvironment {
 public:
  UiTestEnvironment() {
    qputenv("STRBATCH_TMPDIR", (dir_.path() + QStringLiteral("/private")).toLocal8Bit());
    qputenv("STRBATCH_CONFIG", (dir_.path() + QStringLiteral("/strbatch.INI")).toLocal8Bit());
    SetResourceDirectory(STRBATCH_RESOURCE_DIR);
  }
  QString Path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
  std::string StdPath(const QString& name) const { return Path(name).toStdString(); }
  std::string SettingsPath() const { return StdPath(QStringLiteral("strbatch.INI")); }
  // Chinese interface texts, for windows a test makes without a main window.
  const LanguageCatalog& Texts() const { return texts_; }

  static void Write(const std::string& path, const QByteArray& bytes) {
    QFile file(QString::fromStdString(path));
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
  }
  static QByteArray Read(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

 private:
  QTemporaryDir dir_;
  LanguageCatalog texts_;
};

// The pending watchers of OnNextModal.
inline QObject& ModalWatchers() {
  static QObject watchers;
  return watchers;
}

// Ends watchers whose dialog never came, so they cannot answer a dialog of
// the next test.
inline void CancelModalWatchers() {
  for (QObject* watcher : ModalWatchers().children()) delete watcher;
}

// Runs action on the next modal dialog once it is open (a message box the
// command under test shows); the command's own event loop runs it.
inline void OnNextModal(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer(&ModalWatchers());
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      action(modal);
    }
  });
  timer->start();
}

// Presses a message box button.
inline void AnswerNextMessage(QMessageBox::StandardButton answer) {
  OnNextModal([answer](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) box->button(answer)->click();
  });
}

}  // namespace strbatch::testing

#endif  // STRBATCH_TESTS_UI_UI_TEST_SUPPORT_H_
