// The preview of a batch replace from the main window: the button computes
// the changes without writing, the dialog writes only the accepted ones, and
// a file changed on disk meanwhile is refused and named in the warnings.
#include <QPushButton>
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
      QCOMPARE(dialog->ChangeView()->topLevelItemCount(), 3);
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
};

QTEST_MAIN(PreviewDialogTest)
#include "tst_preview_dialog.moc"
