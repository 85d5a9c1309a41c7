// The desktop program: reads the settings, runs the main window as the one
// modal dialog, and writes the settings back when it closes.
#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "config/settings.h"
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
  std::unique_ptr<strbatch::OfficeBridge> office = strbatch::MakeLibreOfficeBridge();
  strbatch::MainWindow window(strbatch::LoadSettings(settingsPath), settingsPath);
  window.SetOfficeBridge(office.get());
  QStringList paths = QApplication::arguments();
  paths.removeFirst();
  // Added once the window is up, so that a long folder walk shows its
  // progress over it.
  if (!paths.isEmpty()) QTimer::singleShot(0, &window, [&] { window.AddStartPaths(paths); });
  window.exec();

  std::string error;
  if (!strbatch::SaveSettings(settingsPath, window.CurrentOptions(), &error)) {
    std::fprintf(stderr, "strbatch: settings not saved: %s\n", error.c_str());
  }
  return 0;
}
