// The desktop program: reads the settings, runs the main window as the one
// modal dialog, and writes the settings back when it closes.
#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>

#include "base/version.h"
#include "commands/commands.h"
#include "config/language.h"
#include "config/message_text.h"
#include "config/settings.h"
#include "config/text_keys.h"
#include "journal/undo_journal.h"
#include "office/office_bridge.h"
#include "ui/app_icon.h"
#include "ui/main_window.h"

namespace {

// --help and --version are answered without a display, for scripts and for
// the manual page made from them.
bool AnswerInformationOptions(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    const std::string option = argv[i];
    if (option == "--version") {
      std::printf("%s\n", strbatch::VersionLine("strbatch").c_str());
      return true;
    }
    if (option == "--help") {
      // The settings file's language, else the locale's: before a first
      // run there are no settings, and the help follows the locale.
      const strbatch::LanguageCatalog texts(strbatch::ChooseMessageLanguage(""));
      std::printf("%s\n", texts.Message(strbatch::key::kWindowUsage).c_str());
      return true;
    }
    if (option == "--") break;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerInformationOptions(argc, argv)) return 0;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("StrBatch"));
  QApplication::setWindowIcon(strbatch::AppIcon());
  QApplication::setDesktopFileName(QStringLiteral("strbatch"));

  const std::string settingsPath = strbatch::SettingsFilePath();
  // Office documents go through LibreOffice, started only when a batch
  // first meets one; without it they yield no text. The bridge outlives
  // the window that uses it.
  // Every change to users' files, office documents' too, is journalled for
  // undo; the journal outlives the bridge and the window.
  const std::unique_ptr<strbatch::UndoJournal> undoJournal =
      strbatch::MakeUndoJournal(settingsPath, false, strbatch::DefaultFileRewriter());
  strbatch::UndoJournal& journal = *undoJournal;
  std::unique_ptr<strbatch::OfficeBridge> office = strbatch::MakeLibreOfficeBridge(journal);
  strbatch::MainWindow window(strbatch::LoadSettings(settingsPath), settingsPath);
  window.SetOfficeBridge(office.get());
  window.SetJournal(&journal);
  QStringList paths = QApplication::arguments();
  paths.removeFirst();
  if (!paths.isEmpty() && paths.first() == QStringLiteral("--")) paths.removeFirst();
  // Added once the window is up, so that a long folder walk shows its
  // progress over it.
  if (!paths.isEmpty()) QTimer::singleShot(0, &window, [&] { window.AddStartPaths(paths); });
  window.exec();

  strbatch::Message error;
  if (!strbatch::SaveSettings(settingsPath, window.CurrentOptions(), &error)) {
    const strbatch::LanguageCatalog texts(window.CurrentOptions().language);
    std::fprintf(stderr, "strbatch: %s\n",
                 texts.Message(strbatch::key::kSettingsNotSaved, {strbatch::MessageText(texts, error)}).c_str());
  }
  return 0;
}
