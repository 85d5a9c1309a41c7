// Wiring of the main window: the buttons run the core's commands, the
// progress window can stop a batch, the language switch re-captions the
// window, Enter and Escape do what the dialog keys promise.
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTextBrowser>
#include <QtTest>

#include "base/code_page.h"
#include "lists/definition_file.h"
#include "ui/editable_list_ctrl.h"
#include "ui/control_ids.h"
#include "ui/list_models.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "ui/ui_text.h"
#include "ui/view_dialog.h"
#include "ui_test_support.h"

using namespace strbatch;
using strbatch::testing::AnswerNextMessage;
using strbatch::testing::CancelModalWatchers;
using strbatch::testing::OnNextModal;
using strbatch::testing::UiTestEnvironment;

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  UiTestEnvironment* env_ = nullptr;

  static QString Cell(QAbstractItemModel* model, int row, int column) {
    return model->data(model->index(row, column)).toString();
  }

 private slots:
  void init() {
    env_ = new UiTestEnvironment;
  }
  void cleanup() {
    CancelModalWatchers();
    delete env_;
  }

  void batchReplaceFromTheButtonFillsTheCounts() {
    MainWindow window(Options{}, env_->SettingsPath());
    const std::string a = env_->StdPath("a.txt"), b = env_->StdPath("b.txt");
    env_->Write(a, "cat cat");
    env_->Write(b, "no pets");
    const std::string c = env_->StdPath("c.txt");
    env_->Write(c, "cat");
    window.AddFilePaths({a, b, c});
    window.FileModel()->Change([&] { window.Files().SetChecked(2, false); });
    window.DefinitionModel()->Change([&] {
      window.Definitions().Append("cat", "dog", true);
      window.Definitions().Append("cat", "emu", false);
    });
    window.show();

    QString question;
    OnNextModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      question = box->text();
      box->button(QMessageBox::Yes)->click();
    });
    window.Control(control::kBatchReplace)->click();

    QCOMPARE(question, Text(window.Texts(), "1023"));
    QCOMPARE(env_->Read(a), QByteArray("dog dog"));
    QCOMPARE(Cell(window.FileModel(), 0, 2), QStringLiteral("2"));
    QCOMPARE(Cell(window.FileModel(), 1, 2), QStringLiteral("0"));
    QCOMPARE(Cell(window.DefinitionModel(), 0, 2), QStringLiteral("2"));
    // Rows the command took no part in show no count.
    QCOMPARE(Cell(window.FileModel(), 2, 2), QString());
    QCOMPARE(Cell(window.DefinitionModel(), 1, 2), QString());
    QVERIFY(window.isEnabled());
  }

  void batchFindRecordsMatchesWithoutWriting() {
    MainWindow window(Options{}, env_->SettingsPath());
    const std::string a = env_->StdPath("a.txt");
    env_->Write(a, "cat cat");
    window.AddFilePaths({a});
    window.DefinitionModel()->Change([&] { window.Definitions().Append("cat", "dog", true); });
    window.Control(control::kBatchFind)->click();  // no confirmation: nothing is changed
    QCOMPARE(env_->Read(a), QByteArray("cat cat"));
    QCOMPARE(Cell(window.FileModel(), 0, 2), QStringLiteral("2"));
    QCOMPARE(QString::fromStdString(testing::MatchListText(window.Files().Row(0).matches)), QStringLiteral("0:3;4:3"));
  }

  void cancelStopsALongBatchAndEnablesTheWindow() {
    MainWindow window(Options{}, env_->SettingsPath());
    std::vector<std::string> paths;
    for (int i = 0; i < 400; i++) {
      paths.push_back(env_->StdPath(QStringLiteral("f%1.txt").arg(i, 3, 10, QLatin1Char('0'))));
      env_->Write(paths.back(), QByteArray(2000, 'x') + "cat");
    }
    window.AddFilePaths(paths);
    window.DefinitionModel()->Change([&] {
      for (int d = 0; d < 20; d++) window.Definitions().Append("cat", "dog", true);
    });
    window.show();

    bool wasDisabled = false;
    int clicks = 0;
    QTimer interrupter;
    interrupter.setInterval(1);
    connect(&interrupter, &QTimer::timeout, [&] {
      ProgressWindow* progress = window.Progress();
      if (!progress || clicks > 0) return;
      wasDisabled = !window.isEnabled() && progress->isEnabled();
      progress->findChild<QPushButton*>(QStringLiteral("2"))->click();
      clicks++;
    });
    interrupter.start();
    AnswerNextMessage(QMessageBox::Yes);
    window.Control(control::kBatchReplace)->click();
    interrupter.stop();

    QCOMPARE(clicks, 1);
    QVERIFY(wasDisabled);
    QVERIFY(window.isEnabled());
    QVERIFY(window.Progress() == nullptr);
    QCOMPARE(env_->Read(paths.back()), QByteArray(2000, 'x') + "cat");
  }

  void languageSwitchRecaptionsTheWindow() {
    MainWindow window(Options{}, env_->SettingsPath());
    window.AddFilePaths({env_->StdPath("a.txt")});
    QCOMPARE(window.StatusText(), QStringLiteral("已添加 1 个文件。"));
    QCOMPARE(window.Control(control::kBatchReplace)->text(), QStringLiteral("批量替换"));
    QCOMPARE(window.FileModel()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("文件"));

    window.Control(control::kEnglish)->click();
    QVERIFY(window.Texts().CurrentLanguage() == Language::English);
    QCOMPARE(window.Control(control::kBatchReplace)->text(), QStringLiteral("Batch replace"));
    QCOMPARE(window.Control(control::kAddFolder)->text(), QStringLiteral("Add\nfolder"));
    QCOMPARE(window.windowTitle(), QStringLiteral("StrBatch - batch find and replace"));
    QCOMPARE(window.FileModel()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("File"));
    QCOMPARE(window.DefinitionModel()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("Find"));
    QCOMPARE(window.Control(control::kToUtf8)->text(), QStringLiteral("To UTF-8"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("1064"))->text(), QStringLiteral("Encoding"));
    QCOMPARE(window.EncodingChoice()->itemText(1), QStringLiteral("Auto"));
    QCOMPARE(window.StatusText(), QStringLiteral("1 files added."));

    window.Control(control::kChinese)->click();
    QCOMPARE(window.Control(control::kBatchReplace)->text(), QStringLiteral("批量替换"));
    QCOMPARE(window.EncodingChoice()->itemText(1), QStringLiteral("自动识别"));
    QCOMPARE(window.DefinitionModel()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("查找串"));
  }

  void enterOnAListRunsBatchReplace() {
    MainWindow window(Options{}, env_->SettingsPath());
    window.DefinitionModel()->Change([&] { window.Definitions().Append("cat", "dog", true); });
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.DefinitionView()->setFocus();

    QString question;
    OnNextModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      question = box->text();
      box->button(QMessageBox::No)->click();
    });
    QTest::keyClick(window.DefinitionView(), Qt::Key_Return);
    QCOMPARE(question, Text(window.Texts(), "1023"));
    QVERIFY(window.isVisible());
  }

  void escapeExitsSavingTheListAndTheOptions() {
    Options start;
    start.AltCode = CodeConversion::None;
    MainWindow window(start, env_->SettingsPath());
    window.DefinitionModel()->Change([&] { window.Definitions().Append("<b>", "", false); });
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.Control(control::kBig5ToGbk)->click();
    window.Control(control::kEnglish)->click();
    qobject_cast<QCheckBox*>(window.Control(control::kMatchCase))->setChecked(false);
    qobject_cast<QCheckBox*>(window.Control(control::kAllParts))->setChecked(true);

    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
    QVERIFY(window.CurrentOptions().AltCode == CodeConversion::Big5ToGbk);
    QVERIFY(window.CurrentOptions().language == Language::English);
    QVERIFY(!window.CurrentOptions().Case);
    QVERIFY(window.CurrentOptions().allParts);
    std::vector<DefinitionRecord> carried;
    DefinitionFileError refused;
    std::string movedTo;
    QVERIFY(LoadCarriedDefinitions(&carried, &refused, &movedTo));
    QCOMPARE(carried.size(), size_t{1});
    QCOMPARE(QString::fromStdString(carried[0].find), QStringLiteral("<b>"));

    // The next window starts with the carried list, checked.
    MainWindow next(window.CurrentOptions(), env_->SettingsPath());
    QCOMPARE(next.Definitions().Size(), size_t{1});
    QVERIFY(next.Definitions().Row(0).checked);
    QVERIFY(qobject_cast<QRadioButton*>(next.Control(control::kEnglish))->isChecked());
    QVERIFY(qobject_cast<QCheckBox*>(next.Control(control::kAllParts))->isChecked());
    QCOMPARE(next.Control(control::kBatchReplace)->text(), QStringLiteral("Batch replace"));
  }

  void encodingChoiceComesFromTheSettingsAndReachesEveryCommand() {
    Options start;
    start.encoding = EncodingSetting::Auto;
    MainWindow window(start, env_->SettingsPath());
    QComboBox* choice = window.EncodingChoice();
    QCOMPARE(choice->currentData().toInt(), int(EncodingSetting::Auto));
    QCOMPARE(choice->currentText(), QStringLiteral("自动识别"));

    // A GBK definition finds its text in a UTF-8 file only when the batch
    // reads the file as UTF-8; the match list stays in file bytes.
    const std::string utf8File = env_->StdPath("u.txt");
    env_->Write(utf8File, "\xEF\xBB\xBF" "a 文本");
    window.AddFilePaths({utf8File});
    window.DefinitionModel()->Change(
        [&] { window.Definitions().Append(ToCodePage(QStringLiteral("文本")), "text", true); });
    window.Control(control::kBatchFind)->click();
    QCOMPARE(Cell(window.FileModel(), 0, 2), QStringLiteral("1"));
    QCOMPARE(QString::fromStdString(testing::MatchListText(window.Files().Row(0).matches)), QStringLiteral("5:6"));

    // The view command reads the file in the chosen encoding too.
    QString shown, selected;
    OnNextModal([&](QWidget* modal) {
      auto* viewer = qobject_cast<CDlgView*>(modal);
      shown = viewer->TextControl()->toPlainText();
      viewer->ShowMatch(0);
      selected = viewer->TextControl()->textCursor().selectedText();
      viewer->reject();
    });
    window.FileView()->SelectRow(0);
    window.Control(control::kViewFile)->click();
    QCOMPARE(shown, QStringLiteral("a 文本"));
    QCOMPARE(selected, QStringLiteral("文本"));

    // Back to "gbk": the same file finds nothing, and the choice is kept.
    choice->setCurrentIndex(choice->findData(int(EncodingSetting::Gbk)));
    window.Control(control::kBatchFind)->click();
    QCOMPARE(Cell(window.FileModel(), 0, 2), QStringLiteral("0"));
    choice->setCurrentIndex(choice->findData(int(EncodingSetting::Utf8)));
    window.reject();
    QCOMPARE(window.CurrentOptions().encoding, EncodingSetting::Utf8);
  }

  // Undo takes the last run back after asking, says so on the status line,
  // and the rows of renamed files follow their files back.
  void undoButtonTakesBackTheLastRun() {
    MainWindow window(Options{}, env_->SettingsPath());
    const std::string path = env_->StdPath("before.txt");
    env_->Write(path, "kept");
    window.AddFilePaths({path});
    window.DefinitionModel()->Change([&] { window.Definitions().Append("before", "after", true); });
    AnswerNextMessage(QMessageBox::Yes);
    window.Control(control::kBatchRename)->click();
    QCOMPARE(window.Files().Row(0).path, env_->StdPath("after.txt"));

    AnswerNextMessage(QMessageBox::No);
    window.Control(control::kUndoLastRun)->click();
    QCOMPARE(window.Files().Row(0).path, env_->StdPath("after.txt"));
    AnswerNextMessage(QMessageBox::Yes);
    window.Control(control::kUndoLastRun)->click();
    QCOMPARE(window.Files().Row(0).path, path);
    QCOMPARE(env_->Read(path), QByteArray("kept"));
    QCOMPARE(window.StatusText(),
             QString::fromStdString(window.Texts().Message("1303", {"1"})));
  }

  void utf8ConversionsRunFromTheirRadioButtons() {
    MainWindow window(Options{}, env_->SettingsPath());
    const std::string path = env_->StdPath("c.txt");
    const QByteArray gbk("\xd6\xd0\xce\xc4 ok");  // "中文 ok"
    env_->Write(path, gbk);
    window.AddFilePaths({path});

    window.Control(control::kToUtf8)->click();
    AnswerNextMessage(QMessageBox::Yes);
    window.Control(control::kConvertCode)->click();
    QCOMPARE(env_->Read(path), QStringLiteral("中文 ok").toUtf8());

    window.Control(control::kUtf8ToGbk)->click();
    AnswerNextMessage(QMessageBox::Yes);
    window.Control(control::kConvertCode)->click();
    QCOMPARE(env_->Read(path), gbk);
    window.reject();
    QCOMPARE(AltCodeNumber(window.CurrentOptions().AltCode), 6);
  }

  void fileListCommandsKeepMatchListsWithTheirRows() {
    MainWindow window(Options{}, env_->SettingsPath());
    window.AddFilePaths({"/d/b.txt", "/d/A.txt", "/d/c.txt"});
    QCOMPARE(Cell(window.FileModel(), 0, 1), QStringLiteral("/d/A.txt"));
    window.Files().SetMatches(0, testing::Matches("0:1"));
    window.FileView()->SelectRow(0);
    window.Control(control::kFileDown)->click();  // down
    QCOMPARE(window.FileView()->SelectedRow(), 1);
    QCOMPARE(Cell(window.FileModel(), 1, 1), QStringLiteral("/d/A.txt"));
    QCOMPARE(Cell(window.FileModel(), 1, 0), QStringLiteral("2"));
    QCOMPARE(QString::fromStdString(testing::MatchListText(window.Files().Row(1).matches)), QStringLiteral("0:1"));
    window.Control(control::kInvertFiles)->click();  // invert
    QCOMPARE(window.FileModel()->data(window.FileModel()->index(0, 0), Qt::CheckStateRole)
                 .value<Qt::CheckState>(),
             Qt::Unchecked);
    window.Control(control::kDeleteFile)->click();  // delete row 2 of 3
    QCOMPARE(window.Files().Size(), size_t{2});
    QCOMPARE(window.FileView()->SelectedRow(), 1);
    QCOMPARE(Cell(window.FileModel(), 1, 0), QStringLiteral("2"));
  }

  void addFilesStopsAtTheLimitWithOneMessage() {
    MainWindow window(Options{}, env_->SettingsPath());
    std::vector<std::string> chosen;
    for (int i = 0; i < 1200; i++) chosen.push_back("/d/" + std::to_string(1200 - i));
    int messages = 0;
    OnNextModal([&](QWidget* modal) {
      messages++;
      qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    window.AddFilePaths(chosen);
    QCOMPARE(messages, 1);
    QCOMPARE(window.Files().Size(), size_t{1000});
    QCOMPARE(window.FileModel()->rowCount(), 1000);
  }

  // A carried list that is refused is moved aside, the user is told on the
  // status line, and the save at exit writes beside it, not over it.
  void aRefusedCarriedListIsMovedAsideAndTold() {
    std::string carriedPath;
    Message error;
    QVERIFY(CarriedDefinitionFilePath(&carriedPath, &error));
    const QByteArray cut("<?xml version=\"1.0\"?>\r\n<replace>\r\n<item><old>one</old>");
    env_->Write(carriedPath, cut);
    {
      MainWindow window(Options{}, env_->SettingsPath());
      QCOMPARE(window.Definitions().Size(), size_t{0});
      QVERIFY(window.StatusText().contains(QString::fromStdString(carriedPath + ".damaged")));
      window.DefinitionModel()->Change([&] { window.Definitions().Append("a", "b", true); });
      window.show();
      QVERIFY(QTest::qWaitForWindowActive(&window));
      QTest::keyClick(&window, Qt::Key_Escape);
    }
    QCOMPARE(env_->Read(carriedPath + ".damaged"), cut);
    std::vector<DefinitionRecord> carried;
    DefinitionFileError refused;
    std::string movedTo;
    QVERIFY(LoadCarriedDefinitions(&carried, &refused, &movedTo));
    QCOMPARE(carried.size(), size_t{1});
  }

  void importAppendsAndExportWritesFullTexts() {
    MainWindow window(Options{}, env_->SettingsPath());
    const std::string longFind(300, 'a');
    window.DefinitionModel()->Change([&] { window.Definitions().Append(longFind, "r", false); });
    const std::string path = env_->StdPath("defs.xml");
    QVERIFY(window.ExportDefinitions(path));
    window.ImportDefinitions(path);
    QCOMPARE(window.DefinitionModel()->rowCount(), 2);
    QCOMPARE(window.Definitions().GetDefinitionText(1, 0), longFind);
    QVERIFY(window.Definitions().Row(1).checked);

    // A cut-off file is refused whole, with its line, and adds nothing.
    const std::string cut = env_->StdPath("cut.xml");
    env_->Write(cut, env_->Read(path).left(80));
    QString warning;
    OnNextModal([&warning](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      warning = box->text();
      box->button(QMessageBox::Ok)->click();
    });
    window.ImportDefinitions(cut);
    QVERIFY2(warning.contains(QString::fromStdString(cut + " 第 3 行")), qPrintable(warning));
    QCOMPARE(window.DefinitionModel()->rowCount(), 2);

    // A failed export says so instead of passing for a saved file.
    AnswerNextMessage(QMessageBox::Ok);
    QVERIFY(!window.ExportDefinitions(env_->StdPath("missing/dir/defs.xml")));
  }

  // Files and a folder dropped on the file list come in drop order, the
  // folder scanned with the patterns of Add folder.
  void dropAddsFilesAndFolders() {
    MainWindow window(Options{}, env_->SettingsPath());
    QDir(QString::fromStdString(env_->StdPath(QStringLiteral("dir")))).mkpath(QStringLiteral("."));
    for (const char* name : {"z.txt", "a.txt", "dir/B.TXT", "dir/c.doc"}) {
      env_->Write(env_->StdPath(QString::fromLatin1(name)), "x");
    }
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(env_->Path(QStringLiteral("z.txt"))),
                   QUrl::fromLocalFile(env_->Path(QStringLiteral("dir"))),
                   QUrl::fromLocalFile(env_->Path(QStringLiteral("a.txt")))});
    window.show();
    QWidget* target = window.FileView()->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    delete mime;
    QCOMPARE(window.Files().Size(), size_t{3});
    QVERIFY(Cell(window.FileModel(), 0, 1).endsWith(QStringLiteral("/z.txt")));
    QVERIFY(Cell(window.FileModel(), 1, 1).endsWith(QStringLiteral("/dir/B.TXT")));
    QVERIFY(Cell(window.FileModel(), 2, 1).endsWith(QStringLiteral("/a.txt")));
    QVERIFY(window.Files().Row(1).checked);
  }

  // Delete and Space act on the current row, and on it only.
  void deleteAndSpaceActOnTheCurrentRow() {
    MainWindow window(Options{}, env_->SettingsPath());
    window.AddFilePaths({"/d/a.txt", "/d/b.txt", "/d/c.txt"});
    window.show();
    window.FileView()->SelectRow(1);
    window.FileView()->setFocus();
    QTest::keyClick(window.FileView(), Qt::Key_Space);
    QVERIFY(window.Files().Row(0).checked && !window.Files().Row(1).checked &&
            window.Files().Row(2).checked);
    QTest::keyClick(window.FileView(), Qt::Key_Delete);
    QCOMPARE(window.Files().Size(), size_t{2});
    QCOMPARE(Cell(window.FileModel(), 1, 1), QStringLiteral("/d/c.txt"));
  }

  // The status line states what a replace did.
  void statusLineTellsWhatAReplaceDid() {
    MainWindow window(Options{}, env_->SettingsPath());
    window.Control(control::kEnglish)->click();
    const std::string a = env_->StdPath("a.txt"), b = env_->StdPath("b.txt");
    env_->Write(a, "cat cat cat");
    env_->Write(b, "dog");
    window.AddFilePaths({a, b, env_->StdPath("missing.txt")});
    window.DefinitionModel()->Change([&] { window.Definitions().Append("cat", "dog", true); });
    AnswerNextMessage(QMessageBox::Yes);
    OnNextModal([](QWidget* box) {  // the list of warnings
      QTimer::singleShot(0, box, [box] { qobject_cast<QMessageBox*>(box)->accept(); });
    });
    window.Control(control::kBatchReplace)->click();
    QCOMPARE(window.StatusText(),
             QStringLiteral("3 occurrences replaced in 1 of 3 checked files. 1 files could not be "
                            "processed (see the list of warnings)."));
  }

  // The window opens at the size it was closed at, and standard buttons
  // speak the interface's language.
  void sizeIsKeptAndToolkitTextsAreTranslated() {
    {
      MainWindow window(Options{}, env_->SettingsPath());
      window.resize(1111, 777);
      window.reject();
    }
    MainWindow window(Options{}, env_->SettingsPath());
    QCOMPARE(window.size(), QSize(1111, 777));
    // Framed, the window fits half of a 1366-pixel screen.
    QVERIFY(window.minimumSizeHint().width() <= 670);
    QMessageBox box(QMessageBox::Question, QString(), QString(),
                    QMessageBox::Yes | QMessageBox::No);
    QVERIFY(box.button(QMessageBox::Yes)->text() != QStringLiteral("&Yes"));
  }

  void tabReachesEveryCommandInReadingOrder() {
    MainWindow window(Options{}, env_->SettingsPath());
    // Lists with rows: Tab must leave them rather than walk their cells.
    window.AddFilePaths({env_->StdPath("a.txt"), env_->StdPath("b.txt")});
    window.DefinitionModel()->Change([&] { window.Definitions().Append("cat", "dog", true); });
    window.FileView()->SelectRow(0);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QWidget* first = window.Control(control::kAddFiles);
    first->setFocus();
    QList<QWidget*> visited{first};
    for (int step = 0; step < 100; step++) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      if (QApplication::focusWidget() == first) break;
      visited << QApplication::focusWidget();
    }
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
      if (button->isVisible() && button->isEnabled()) QVERIFY2(visited.contains(button),
                                                               qPrintable(button->text()));
    }
    const QList<QWidget*> expected{window.Control(control::kFileDown), window.FileView(),
                                   window.Control(control::kAddDefinition),
                                   window.DefinitionView(), window.Control(control::kBatchReplace),
                                   window.Control(control::kDeleteBackups),
                                   window.Control(control::kUndoLastRun),
                                   window.Control(control::kConvertCode),
                                   window.Control(control::kHelp)};
    for (int i = 1; i < expected.size(); i++) {
      QVERIFY(visited.indexOf(expected[i - 1]) < visited.indexOf(expected[i]));
    }
    // The main commands answer their Alt keys.
    QCOMPARE(window.Control(control::kBatchFind)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F));
    QCOMPARE(visited.count(window.FileView()), 1);
    QCOMPARE(visited.count(window.DefinitionView()), 1);
  }

  // Row numbers are never cut short, however many rows there are.
  void rowNumbersFitTheirColumn() {
    MainWindow window(Options{}, env_->SettingsPath());
    window.resize(683, 700);
    window.show();
    window.FileModel()->Change([&] {
      for (int i = 0; i < 123456; i++) window.Files().Append("f" + std::to_string(i), true);
    });
    QApplication::processEvents();
    EditableListCtrl* view = window.FileView();
    const int digits = view->fontMetrics().horizontalAdvance(QStringLiteral("123456"));
    const int box = view->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, view);
    QVERIFY(view->columnWidth(0) >= digits + box);
    QVERIFY(view->columnWidth(1) > view->columnWidth(0));
  }

  // Help needs no browser: the guide opens in a window of the program, and
  // follows the language.
  void helpShowsTheGuideInAWindowOfItsOwn() {
    MainWindow window(Options{}, env_->SettingsPath());
    window.show();
    window.Control(control::kHelp)->click();
    auto* help = window.findChild<QDialog*>(QStringLiteral("help"));
    QVERIFY(help != nullptr && help->isVisible());
    auto* page = help->findChild<QTextBrowser*>(QStringLiteral("helpPage"));
    QVERIFY(page->source().toLocalFile().endsWith(QStringLiteral("/rep_help.htm")));
    QVERIFY(page->document()->characterCount() > 1000);
    window.Control(control::kEnglish)->click();
    QTRY_VERIFY(window.findChild<QTextBrowser*>(QStringLiteral("helpPage")) != nullptr &&
                window.findChild<QTextBrowser*>(QStringLiteral("helpPage"))
                    ->source()
                    .toLocalFile()
                    .endsWith(QStringLiteral("/rep_help_en.htm")));
  }

  // Auto backup covers the line sort as it covers the batch commands.
  void sortUnderAutoBackupKeepsACopyFirst() {
    MainWindow window(Options{}, env_->SettingsPath());
    const std::string path = env_->StdPath("lines.txt");
    env_->Write(path, "pear\r\napple\r\n");
    window.AddFilePaths({path});
    window.Control(control::kAutoBackup)->click();
    OnNextModal([](QWidget* sortDialog) {
      AnswerNextMessage(QMessageBox::Yes);
      sortDialog->findChild<QPushButton*>(QStringLiteral("1"))->click();
    });
    window.Control(control::kSortLines)->setEnabled(true);
    window.Control(control::kSortLines)->click();
    QCOMPARE(env_->Read(path), QByteArray("apple\r\npear\r\n"));
    QCOMPARE(env_->Read(path + ".bak"), QByteArray("pear\r\napple\r\n"));
  }

  // A command that throws (here: memory runs out as a backup is restored)
  // is a warning naming the command; the window stays up and works on.
  void aCommandThatThrowsIsAWarningAndTheWindowStays() {
    class ThrowingRewriter : public FileRewriter {
     public:
      std::unique_ptr<RewriteSession> Begin(const std::string&, Message*) override {
        throw std::bad_alloc();
      }
      bool Move(const std::string&, const std::string&, Message*) override {
        throw std::bad_alloc();
      }
      bool Remove(const std::string&, Message*) override { throw std::bad_alloc(); }
      FileRewriter& Plain() override { return *this; }
    } throwing;
    UndoJournal journal("", throwing);
    journal.limits.enabled = false;
    MainWindow window(Options{}, env_->SettingsPath());
    window.SetJournal(&journal);
    const std::string path = env_->StdPath("a.txt");
    env_->Write(path, "new");
    env_->Write(path + ".bak", "old");
    window.AddFilePaths({path});
    QString told;
    OnNextModal([&told](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      told = box->text();
      box->button(QMessageBox::Ok)->click();
    });
    window.Control(control::kRestoreBackups)->click();
    QVERIFY2(told.contains(window.Control(control::kRestoreBackups)->text()), qPrintable(told));
    QVERIFY(told.contains(QStringLiteral("std::bad_alloc")));
    QCOMPARE(env_->Read(path), QByteArray("new"));
    UndoJournal plain("", DefaultFileRewriter());
    plain.limits.enabled = false;
    window.SetJournal(&plain);
    window.DefinitionModel()->Change([&] { window.Definitions().Append("new", "newer", true); });
    AnswerNextMessage(QMessageBox::Yes);
    window.Control(control::kBatchReplace)->click();
    QCOMPARE(env_->Read(path), QByteArray("newer"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
