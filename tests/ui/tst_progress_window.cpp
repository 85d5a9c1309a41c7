// The progress window: the owner is disabled while it shows and enabled
// again however it ends, the percent text, and one cancel request per
// interrupt however often it is pressed.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "config/language.h"
#include "ui/progress_window.h"
#include "ui_test_support.h"

using namespace strbatch;
using strbatch::testing::UiTestEnvironment;

class ProgressWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void percentTextFollowsThePosition_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << 0 << QStringLiteral("0%");
    QTest::newRow("middle") << 37 << QStringLiteral("37%");
    QTest::newRow("end") << 100 << QStringLiteral("100%");
  }
  void percentTextFollowsThePosition() {
    QFETCH(int, position);
    QFETCH(QString, text);
    UiTestEnvironment env;
    QWidget owner;
    owner.show();
    ProgressWindow progress(&owner, env.Texts());
    QVERIFY(progress.ShowProgress());
    QCOMPARE(progress.PercentText(), QStringLiteral(" 0 %"));
    progress.SetPosition(position);
    QCOMPARE(progress.PercentText(), text);
  }

  void ownerIsDisabledWhileShownAndEnabledAfter() {
    UiTestEnvironment env;
    QWidget owner;
    owner.show();
    {
      ProgressWindow progress(&owner, env.Texts());
      QVERIFY(progress.ShowProgress());
      QVERIFY(!owner.isEnabled());
      QVERIFY(progress.isEnabled());
      QVERIFY(progress.findChild<QPushButton*>(QStringLiteral("2"))->isEnabled());
    }  // destroyed without Finish, as when a command ends by an exception
    QVERIFY(owner.isEnabled());

    // An owner that was already disabled stays so.
    owner.setEnabled(false);
    ProgressWindow progress(&owner, env.Texts());
    progress.ShowProgress();
    progress.Finish();
    QVERIFY(!owner.isEnabled());
  }

  void interruptEscapeAndCloseGiveOneRequest() {
    UiTestEnvironment env;
    QWidget owner;
    owner.show();
    ProgressWindow progress(&owner, env.Texts());
    progress.ShowProgress();
    QVERIFY(!progress.CheckCancelled());
    auto* interrupt = progress.findChild<QPushButton*>(QStringLiteral("2"));
    interrupt->click();
    interrupt->click();
    QVERIFY(progress.CheckCancelled());
    QVERIFY(!progress.CheckCancelled());

    QTest::keyClick(&progress, Qt::Key_Escape);
    QVERIFY(progress.isVisible());
    QVERIFY(progress.CheckCancelled());
    progress.close();
    QVERIFY(progress.isVisible());
    QVERIFY(progress.CheckCancelled());
  }

  void titleComesFromTheLanguageFile() {
    UiTestEnvironment env;
    const LanguageCatalog english(Language::English);
    ProgressWindow progress(nullptr, english);
    progress.ShowProgress();
    QCOMPARE(progress.windowTitle(), QStringLiteral("Progress"));
    QCOMPARE(progress.findChild<QPushButton*>(QStringLiteral("2"))->text(),
             QStringLiteral("Stop"));
  }
};

QTEST_MAIN(ProgressWindowTest)
#include "tst_progress_window.moc"
