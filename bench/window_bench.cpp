// The window with 100,000 rows in its file list: how long adding them takes
// in the window's own code, how long a scroll through the list takes, and a
// batch find over 100,000 small files run from the window (progress shown,
// events handled) against the same run without any window, as the command
// line does it. Goals: adding under a second; the window's find at most
// 1.3 times the plain run. Files go to /dev/shm. Usage: window_bench [FILES]
// (default 100000); QT_QPA_PLATFORM=offscreen needs no display.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/batch_host.h"
#include "base/safe_file.h"
#include "batch/batch_driver.h"
#include "ui/control_ids.h"
#include "ui/editable_list_ctrl.h"
#include "ui/list_models.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                  : QDir::tempPath();
  QTemporaryDir dir(base + QStringLiteral("/strbatch-bench-XXXXXX"));
  const std::string folder = dir.path().toStdString();
  qputenv("STRBATCH_TMPDIR", (dir.path() + QStringLiteral("/private")).toLocal8Bit());
  qputenv("STRBATCH_CONFIG", (dir.path() + QStringLiteral("/strbatch.INI")).toLocal8Bit());
  std::vector<std::string> paths;
  for (size_t i = 0; i < count; i++) {
    paths.push_back(folder + "/f" + std::to_string(i) + ".txt");
    strbatch::Message error;
    strbatch::RewriteFile(paths.back(), "alpha beta " + std::to_string(i) + "\r\n", &error);
  }

  strbatch::MainWindow window(strbatch::Options{}, folder + "/strbatch.INI");
  window.show();
  QElapsedTimer timer;
  timer.start();
  // As a drop of the folder or Add folder brings them (the limit of the Add
  // dialog does not apply there).
  window.AddFolderFiles(folder, QStringLiteral("*.txt"), false);
  QApplication::processEvents();
  const double add = timer.elapsed() / 1000.0;

  timer.restart();
  QScrollBar* bar = window.FileView()->verticalScrollBar();
  for (int step = 0; step <= 100; step++) {
    bar->setValue(bar->maximum() * step / 100);
    QApplication::processEvents();
  }
  const double scroll = timer.elapsed() / 1000.0;

  window.DefinitionModel()->Change([&] { window.Definitions().Append("alpha", "x", true); });
  strbatch::FileList files;
  strbatch::DefinitionList definitions;
  for (const std::string& path : paths) files.Append(path, true);
  definitions.Append("alpha", "x", true);
  strbatch::SilentHost host;
  strbatch::BatchRunner runner(files, definitions, host);
  // Each way three times, alternating, the better time of each counting: the
  // first run also fills the page cache.
  double windowFind = 1e9, plainFind = 1e9;
  for (int round = 0; round < 3; round++) {
    timer.restart();
    runner.BatchFind();
    plainFind = std::min(plainFind, timer.elapsed() / 1000.0);
    timer.restart();
    window.Control(strbatch::control::kBatchFind)->click();
    windowFind = std::min(windowFind, timer.elapsed() / 1000.0);
  }

  std::printf("files: %zu\n", count);
  std::printf("add to the file list: %.2f s (goal under 1 s)\n", add);
  std::printf("scroll through the list in 100 steps: %.2f s\n", scroll);
  std::printf("batch find from the window: %.2f s\n", windowFind);
  std::printf("batch find without a window: %.2f s\n", plainFind);
  std::printf("window / plain: %.2f (goal at most 1.3)\n", windowFind / plainFind);
  return 0;
}
