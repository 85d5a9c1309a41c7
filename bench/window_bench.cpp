// The window with 100,000 rows in its file list: how long adding them takes
// in the window's own code, how long a scroll through the list takes, and a
// batch find over 100,000 small files run from the window (progress shown,
// events handled) against the same run without any window, as the command
// line does it. Goals: adding under a second; the window's find at most
// 1.3 times the plain run.
// Then the preview of a batch replace with 500, 15,000 and 100,000 changes
// in one file and with 2,000 files of 50: the dry run in the core (as the
// command line's replace -n computes it) beside the time to open the
// dialog, select a file, step through changes, toggle them and scroll.
// Goal: each of those under 0.5 s.
// Files go to /dev/shm. Usage: window_bench [FILES] (default 100000), or
// window_bench preview for the preview rows only; QT_QPA_PLATFORM=offscreen
// needs no display.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/batch_host.h"
#include "base/safe_file.h"
#include "batch/batch_driver.h"
#include "batch/replace_preview.h"
#include "commands/commands.h"
#include "ui/control_ids.h"
#include "ui/editable_list_ctrl.h"
#include "ui/list_models.h"
#include "ui/main_window.h"
#include "ui/preview_dialog.h"

namespace {

double Seconds(QElapsedTimer& timer) {
  const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  timer.restart();
  return seconds;
}

// files files of changes lines each holding "alpha" once, in folder; alpha
// becomes x.
void PreviewRow(const std::string& folder, size_t files, size_t changes) {
  const std::string where =
      folder + "/preview-" + std::to_string(files) + "x" + std::to_string(changes);
  QDir().mkpath(QString::fromStdString(where));
  strbatch::FileList list;
  std::string text;
  for (size_t k = 0; k < changes; k++) {
    text += "line " + std::to_string(k) + ": alpha beta gamma delta\r\n";
  }
  for (size_t f = 0; f < files; f++) {
    const std::string path = where + "/f" + std::to_string(f) + ".txt";
    strbatch::Message error;
    strbatch::RewriteFile(path, text, &error);
    list.Append(path, true);
  }
  strbatch::DefinitionList definitions;
  definitions.Append("alpha", "x", true);

  strbatch::SilentHost silent;
  strbatch::ReplacePreview preview;
  QElapsedTimer timer;
  timer.start();
  strbatch::ComputePreview({list, definitions, strbatch::Options{}}, preview, silent);
  const double dryRun = Seconds(timer);

  const strbatch::LanguageCatalog texts(strbatch::Language::English);
  strbatch::ProgressHost host(nullptr, texts);
  strbatch::PreviewDialog dialog(nullptr, texts, preview, host, false);
  dialog.show();
  QApplication::processEvents();
  const double open = Seconds(timer);
  // The last file, then a hundred steps with F8 (into the next file where
  // the files are small), a hundred changes toggled with Space, back.
  dialog.SelectFile(files - 1);
  dialog.SelectFile(files / 2);
  QApplication::processEvents();
  const double select = Seconds(timer);
  for (int step = 0; step < 100; step++) {
    dialog.StepChange(1);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(dialog.ChangeView(), &space);
    QApplication::processEvents();
  }
  for (int step = 0; step < 100; step++) {
    dialog.StepChange(-1);
    QApplication::processEvents();
  }
  const double steps = Seconds(timer);
  dialog.SetAllInFile(false);
  dialog.SetAllInFile(true);
  QApplication::processEvents();
  const double wholeFile = Seconds(timer);
  QScrollBar* bar = dialog.ChangeView()->verticalScrollBar();
  for (int step = 0; step <= 100; step++) {
    bar->setValue(bar->maximum() * step / 100);
    QApplication::processEvents();
  }
  const double scroll = Seconds(timer);
  std::printf(
      "preview of %zu file(s) x %zu changes: dry run %.3f s; open %.3f s, select %.3f s, "
      "100 steps with Space and 100 back %.3f s, whole file off and on %.3f s, "
      "scroll in 100 steps %.3f s (goal under 0.5 s each)\n",
      files, changes, dryRun, open, select, steps, wholeFile, scroll);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const bool previewOnly = argc > 1 && std::string(argv[1]) == "preview";
  const size_t count = argc > 1 && !previewOnly ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                  : QDir::tempPath();
  QTemporaryDir dir(base + QStringLiteral("/strbatch-bench-XXXXXX"));
  const std::string folder = dir.path().toStdString();
  qputenv("STRBATCH_TMPDIR", (dir.path() + QStringLiteral("/private")).toLocal8Bit());
  qputenv("STRBATCH_CONFIG", (dir.path() + QStringLiteral("/strbatch.INI")).toLocal8Bit());
  if (previewOnly) {
    for (size_t changes : {500, 15000, 100000}) PreviewRow(folder, 1, changes);
    PreviewRow(folder, 2000, 50);
    return 0;
  }
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
  std::fflush(stdout);
  for (size_t changes : {500, 15000, 100000}) PreviewRow(folder, 1, changes);
  PreviewRow(folder, 2000, 50);
  return 0;
}
