// Renders the windows of the desktop program to PNG files for review:
// the main window in Chinese and in English, the progress window, the pair
// edit dialog, the viewer with a found file and the sort dialog. Usage:
// strbatch-screenshots DIR (run with QT_QPA_PLATFORM=offscreen or a display).
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <cstdio>

#include "config/language.h"
#include "config/settings.h"
#include "lists/file_list.h"
#include "ui/editable_list_ctrl.h"
#include "ui/list_models.h"
#include "ui/main_window.h"
#include "ui/pair_edit_dialog.h"
#include "ui/progress_window.h"
#include "ui/sort_dialog.h"
#include "ui/ui_text.h"
#include "ui/view_dialog.h"

namespace {

QString g_dir;

void Save(QWidget* widget, const char* name) {
  widget->show();
  QApplication::processEvents();
  QString path = g_dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
  if (!widget->grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    std::exit(1);
  }
  std::printf("%s\n", qPrintable(path));
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  g_dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(g_dir);
  QTemporaryDir scratch;
  qputenv("STRBATCH_TMPDIR", (scratch.path() + QStringLiteral("/private")).toLocal8Bit());
  const std::string settingsPath = (scratch.path() + QStringLiteral("/strbatch.INI")).toStdString();

  // Sample files: a GBK text and an English one.
  const QString chinese = scratch.path() + QStringLiteral("/报告.txt");
  WriteFile(chinese, QByteArray("\xd6\xd0\xce\xc4\xba\xcd" "English\xbb\xec\xba\xcf\xb5\xc4"
                                "\xce\xc4\xb1\xbe\r\nThe cat sat on the mat.\r\n"
                                "\xce\xc4\xb1\xbe\xce\xc4\xb1\xbe\r\n"));
  const QString english = scratch.path() + QStringLiteral("/notes.txt");
  WriteFile(english, "A cat is not a dog.\r\nCats and dogs.\r\n");

  for (int language : {0, 1}) {
    strbatch::Options options;
    options.language = static_cast<strbatch::Language>(language);
    options.encoding = strbatch::EncodingSetting::Auto;
    strbatch::MainWindow window(options, settingsPath);
    window.AddFilePaths({strbatch::PathFromQString(chinese), strbatch::PathFromQString(english)});
    strbatch::DefinitionList& definitions = window.Definitions();
    window.DefinitionModel()->Change([&] {
      definitions.Append("cat", "dog", true);
      definitions.Append("\xce\xc4\xb1\xbe", "text", true);  // 文本
      definitions.Append("mat", "rug", false);
    });
    // Rows are sorted by path: notes.txt, then the Chinese file. Its match
    // list is what a batch find of the first two definitions records.
    window.Files().SetCount(0, 2);
    window.Files().SetCount(1, 4);
    window.Files().SetMatches(1, {{19, 4}, {50, 4}, {54, 4}, {29, 3}});
    definitions.SetCount(0, 3);
    definitions.SetCount(1, 3);
    window.FileView()->SelectRow(1);
    Save(&window, language == 0 ? "main_window_zh" : "main_window_en");

    const QString suffix = language == 0 ? QStringLiteral("_zh") : QStringLiteral("_en");
    auto save = [&](QWidget* widget, const char* name) {
      Save(widget, qPrintable(QLatin1String(name) + suffix));
    };
    // Larger than designed, with a word in the status line: the lists take
    // the room, the command column keeps its width.
    window.SetStatus([&window] { return window.Texts().Message("1164", {"6", "2", "2"}); });
    window.resize(1400, 900);
    save(&window, "main_window_large");
    window.resize(900, 720);

    // Standard dialogs speak the interface language.
    QMessageBox box(QMessageBox::Question, QStringLiteral("StrBatch"),
                    strbatch::Text(window.Texts(), "1023"), QMessageBox::Yes | QMessageBox::No,
                    &window);
    box.show();
    save(&box, "message_box");
    QFileDialog files(&window, QString(), scratch.path());
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.show();
    save(&files, "file_dialog");
    files.hide();
    strbatch::ProgressWindow progress(&window, window.Texts());
    progress.ShowProgress();
    progress.SetMessage(strbatch::Text(window.Texts(), "1025") + QStringLiteral("1/2"));
    progress.SetPosition(37);
    save(&progress, "progress_window");
    progress.Finish();

    strbatch::PairEditDialog pair(&window, window.Texts(), "cat", "dog\r\nand more");
    save(&pair, "pair_edit_dialog");

    strbatch::CDlgView viewer(&window, window.Texts(), strbatch::PathFromQString(chinese),
                              window.Files().Row(1).matches);
    viewer.LoadViewerText();
    viewer.ShowMatch(0);
    save(&viewer, "viewer");

    // The sort dialog keeps its own captions in both languages.
    if (language == 0) {
      strbatch::SortDialog sort(&window, window.Texts(), {}, settingsPath);
      Save(&sort, "sort_dialog");
    }
  }
  return 0;
}
