// The preview of a batch replace from the main window: the button computes
// the changes without writing, the dialog writes only the accepted ones, and
// a file changed on disk meanwhile is refused and named in the warnings.
// The dialog itself: a file of 100,000 changes at once, Space after F8, the
// file's box over its changes, the counts line.
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include "ui/list_models.h"
#include "ui/main_window.h"
#include "ui/preview_dialog.h"
#include "ui_test_support.h"

using namespace strbatch;
using strbatch::testing::CancelModalWatchers;
using strbatch::testing::OnNextModal;
using strbatch::testing::UiTestEnvironment;

namespace {

// A file of count lines "cat" of which each becomes "dog"; a document's
// changes are accepted all or none.
FilePreview Cats(size_t count, bool document = false) {
  FilePreview file;
  file.path = document ? "cats.docx" : "cats.txt";
  file.codePage = &CodePage::Utf8();
  for (size_t k = 0; k < count; k++) {
    file.original += "cat\n";
    file.result += "dog\n";
    file.changes.push_back({k * 4, 3, k * 4, 3, k + 1});
  }
  if (document) file.documentCopy = "copy.docx";
  return file;
}

}  // namespace

class PreviewDialogTest : public QObject {
  Q_OBJECT

 private:
  UiTestEnvironment* env_ = nullptr;

 private slots:
  void init() { env_ = new UiTestEnvironment; }
  void cleanup() {
    CancelModalWatchers();
    delete env_;
  }

  void applyWritesOnlyTheAcceptedChanges() {
    MainWindow window(Options{}, env_->SettingsPath());
    const std::string a = env_->StdPath("a.txt"), b = env_->StdPath("b.txt"),
                      c = env_->StdPath("c.txt");
    env_->Write(a, "cat and cat\r\nno cat");
    env_->Write(b, "a cat");
    env_->Write(c, "cat");
    window.AddFilePaths({a, b, c});
    window.DefinitionModel()->Change([&] { window.Definitions().Append("cat", "dog", true); });
    window.show();

    QByteArray beforeApply;
    QStringList warnings;
    OnNextModal([&](QWidget* modal) {
      auto* dialog = qobject_cast<PreviewDialog*>(modal);
      QVERIFY(dialog);
      beforeApply = env_->Read(a) + env_->Read(b) + env_->Read(c);
      QCOMPARE(dialog->FileView()->topLevelItemCount(), 3);
      QCOMPARE(dialog->ChangeView()->model()->rowCount(), 3);
      // Skip the second change of a.txt, with the keyboard.
      dialog->StepChange(1);
      QTest::keyClick(dialog->ChangeView(), Qt::Key_Space);
      QVERIFY(!dialog->Accepted(0, 1));
      // c.txt changes behind the preview's back.
      env_->Write(c, "cow");
      // The refusal comes in the warnings box.
      OnNextModal([&](QWidget* box) {
        warnings << qobject_cast<QMessageBox*>(box)->text()
                 << qobject_cast<QMessageBox*>(box)->detailedText();
        qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
      });
      dialog->ApplyButton()->click();
      QCOMPARE(dialog->FileView()->topLevelItem(0)->text(1), QStringLiteral("2"));
      QCOMPARE(dialog->FileView()->topLevelItem(2)->text(1), QStringLiteral("0"));
      dialog->reject();
    });
    window.PreviewButton()->click();

    QCOMPARE(beforeApply, QByteArray("cat and cat\r\nno cat" "a cat" "cat"));
    QCOMPARE(env_->Read(a), QByteArray("dog and cat\r\nno dog"));
    QCOMPARE(env_->Read(b), QByteArray("a dog"));
    QCOMPARE(env_->Read(c), QByteArray("cow"));
    QVERIFY2(warnings.join(QLatin1Char('\n')).contains(QString::fromStdString(c)),
             qPrintable(warnings.join(QLatin1Char('\n'))));
  }

  // Each change once had a widget of its own: 2,000 took 49 s.
  void aHundredThousandChangesShowAtOnce() {
    ReplacePreview preview;
    preview.files().push_back(Cats(2));
    preview.files().push_back(Cats(100000));
    ProgressHost host(nullptr, env_->Texts());
    QElapsedTimer timer;
    timer.start();
    PreviewDialog dialog(nullptr, env_->Texts(), preview, host, false);
    dialog.show();
    dialog.SelectFile(1);
    QCoreApplication::processEvents();
    for (int step = 0; step < 100; step++) dialog.StepChange(1);
    dialog.SetAllInFile(false);
    dialog.StepChange(-1);
    QTest::keyClick(dialog.ChangeView(), Qt::Key_Space);
    QCoreApplication::processEvents();
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(dialog.ChangeView()->model()->rowCount(), 100000);
    QVERIFY(dialog.Accepted(1, 99));
    QVERIFY(!dialog.Accepted(1, 100));
  }

  // Space after F8 once unchecked the file in the file list, whose changes
  // still showed checked.
  void spaceAfterStepTogglesThatChangeOnly() {
    ReplacePreview preview;
    preview.files().push_back(Cats(2));
    preview.files().push_back(Cats(2));
    ProgressHost host(nullptr, env_->Texts());
    PreviewDialog dialog(nullptr, env_->Texts(), preview, host, false);
    dialog.show();
    dialog.FileView()->setFocus();
    dialog.StepChange(1);
    dialog.StepChange(1);
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Space);
    QVERIFY(dialog.Accepted(0, 0) && dialog.Accepted(0, 1));
    QVERIFY(!dialog.Accepted(1, 0));
    QVERIFY(dialog.Accepted(1, 1));
    QCOMPARE(dialog.FileView()->topLevelItem(1)->checkState(0), Qt::PartiallyChecked);
    const QModelIndex box = dialog.ChangeView()->model()->index(0, 0);
    QCOMPARE(box.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
  }

  void fileBoxFollowsItsChanges_data() {
    QTest::addColumn<bool>("document");
    QTest::addColumn<int>("box");       // after the second change is skipped
    QTest::addColumn<int>("accepted");  // changes still accepted then
    QTest::newRow("text file: partly checked") << false << int(Qt::PartiallyChecked) << 2;
    QTest::newRow("document: all or none") << true << int(Qt::Unchecked) << 0;
  }
  void fileBoxFollowsItsChanges() {
    QFETCH(bool, document);
    QFETCH(int, box);
    QFETCH(int, accepted);
    ReplacePreview preview;
    preview.files().push_back(Cats(3, document));
    ProgressHost host(nullptr, env_->Texts());
    PreviewDialog dialog(nullptr, env_->Texts(), preview, host, false);
    QTreeWidgetItem* file = dialog.FileView()->topLevelItem(0);
    auto acceptedNow = [&] {
      return int(dialog.Accepted(0, 0)) + int(dialog.Accepted(0, 1)) + int(dialog.Accepted(0, 2));
    };
    // Through the view's own box, as a click sets it.
    QAbstractItemModel* changes = dialog.ChangeView()->model();
    changes->setData(changes->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
    QCOMPARE(int(file->checkState(0)), box);
    QCOMPARE(acceptedNow(), accepted);
    // Checking the file checks all its changes; unchecking it, none.
    file->setCheckState(0, Qt::Checked);
    QCOMPARE(acceptedNow(), 3);
    file->setCheckState(0, Qt::Unchecked);
    QCOMPARE(acceptedNow(), 0);
    QCOMPARE(changes->index(2, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(),
             Qt::Unchecked);
  }

  void summaryCountsInTheLanguage_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("summary");
    QTest::newRow("English") << int(Language::English)
                             << QStringLiteral("2 files, 15,006 changes, 15,004 checked");
    QTest::newRow("Chinese") << int(Language::Chinese)
                             << QStringLiteral("2 个文件，15,006 处修改，已选 15,004 处");
  }
  void summaryCountsInTheLanguage() {
    QFETCH(int, language);
    QFETCH(QString, summary);
    const LanguageCatalog texts(static_cast<Language>(language));
    ReplacePreview preview;
    preview.files().push_back(Cats(6));
    preview.files().push_back(Cats(15000));
    ProgressHost host(nullptr, texts);
    PreviewDialog dialog(nullptr, texts, preview, host, false);
    dialog.SetAccepted(0, 1, false);
    dialog.SetAccepted(1, 7, false);
    dialog.SetAccepted(1, 7, false);  // already unchecked: no count moves
    dialog.SetAccepted(0, 6, false);  // no such change
    QCOMPARE(dialog.Summary()->text(), summary);
  }
};

QTEST_MAIN(PreviewDialogTest)
#include "tst_preview_dialog.moc"
