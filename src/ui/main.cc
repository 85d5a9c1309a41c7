// The desktop program: reads the settings, runs the main window as the one
// modal dialog, and writes the settings back when it closes.
#include <QApplication>
#include <cstdio>
#include <memory>

#include "config/settings.h"
#include "journal/undo_journal.h"
#include "office/office_bridge.h"
#include "ui/app_icon.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
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
  std::string root, error;
  if (!strbatch::DefaultJournalRoot(&root, &error)) root.clear();
  strbatch::UndoJournal journal(root);
  journal.limits = strbatch::UndoLimitsFrom(strbatch::LoadUndoSettings(settingsPath));
  std::unique_ptr<strbatch::OfficeBridge> office = strbatch::MakeLibreOfficeBridge(journal);
  strbatch::MainWindow window(strbatch::LoadSettings(settingsPath), settingsPath);
  window.SetOfficeBridge(office.get());
  window.SetJournal(&journal);
  window.exec();

  error.clear();
  if (!strbatch::SaveSettings(settingsPath, window.CurrentOptions(), &error)) {
    std::fprintf(stderr, "strbatch: settings not saved: %s\n", error.c_str());
  }
  return 0;
}
