// The line sort tool's dialog: Start asks first and sorts the checked files
// through the progress window; Exit keeps the two table paths.
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "config/settings.h"
#include "ui/sort_dialog.h"
#include "ui_test_support.h"

using namespace strbatch;
using strbatch::testing::AnswerNextMessage;
using strbatch::testing::CancelModalWatchers;
using strbatch::testing::OnNextModal;
using strbatch::testing::UiTestEnvironment;

class SortDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { CancelModalWatchers(); }

  void startSortsTheCheckedFilesAfterTheQuestion() {
    UiTestEnvironment env;
    const std::string checked = env.StdPath("a.txt"), unchecked = env.StdPath("b.txt");
    env.Write(checked, "pear\r\napple\r\n");
    env.Write(unchecked, "pear\r\napple\r\n");
    SortDialog dialog(nullptr, env.Texts(), {{checked, true}, {unchecked, false}}, env.SettingsPath());
    dialog.show();

    AnswerNextMessage(QMessageBox::No);
    dialog.findChild<QPushButton*>(QStringLiteral("1"))->click();
    QCOMPARE(env.Read(checked), QByteArray("pear\r\napple\r\n"));
    QVERIFY(dialog.isVisible());

    AnswerNextMessage(QMessageBox::Yes);
    dialog.findChild<QPushButton*>(QStringLiteral("1"))->click();
    QCOMPARE(env.Read(checked), QByteArray("apple\r\npear\r\n"));
    QCOMPARE(env.Read(unchecked), QByteArray("pear\r\napple\r\n"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void startSortsEachFileInTheEncodingOfTheMainWindow() {
    UiTestEnvironment env;
    const std::string path = env.StdPath("u.txt");
    // UTF-16LE with its mark: "b", "Ａ" (sorts as "a").
    const QByteArray before("\xFF\xFE" "b\0\r\0\n\0\x21\xFF", 10);
    const QByteArray after("\xFF\xFE" "\x21\xFF\r\0\n\0" "b\0\r\0\n\0", 14);
    env.Write(path, before);
    SortDialog dialog(nullptr, env.Texts(), {{path, true}}, env.SettingsPath(), EncodingSetting::Auto);
    QCOMPARE(dialog.Options().encoding, EncodingSetting::Auto);
    AnswerNextMessage(QMessageBox::Yes);
    dialog.findChild<QPushButton*>(QStringLiteral("1"))->click();
    QCOMPARE(env.Read(path), after);
  }

  void exitKeepsTheTablePaths() {
    UiTestEnvironment env;
    {
      SortDialog dialog(nullptr, env.Texts(), {}, env.SettingsPath());
      dialog.findChild<QLineEdit*>(QStringLiteral("1023"))->setText(QStringLiteral("/t/eq.txt"));
      dialog.findChild<QLineEdit*>(QStringLiteral("1025"))->setText(QStringLiteral("/t/no.txt"));
      dialog.findChild<QPushButton*>(QStringLiteral("2"))->click();
    }
    SortToolSettings stored = LoadSortToolSettings(env.SettingsPath());
    QCOMPARE(QString::fromStdString(stored.equalValueTable), QStringLiteral("/t/eq.txt"));
    QCOMPARE(QString::fromStdString(stored.noSortTable), QStringLiteral("/t/no.txt"));
    SortDialog again(nullptr, env.Texts(), {}, env.SettingsPath());
    QCOMPARE(again.Options().noSortTablePath, std::string("/t/no.txt"));
  }

  // A table that cannot be read is named; No sorts nothing, Yes clears its
  // path (in the settings too) and sorts.
  void anUnreadableTableIsNamedAndItsPathOfferedForClearing() {
    UiTestEnvironment env;
    const std::string path = env.StdPath("a.txt"), table = env.StdPath("missing.tbl");
    env.Write(path, "pear\napple\n");
    SortDialog dialog(nullptr, env.Texts(), {{path, true}}, env.SettingsPath());
    auto* equal = dialog.findChild<QLineEdit*>(QStringLiteral("1023"));
    equal->setText(QString::fromStdString(table));
    dialog.show();
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
      QString question;
      OnNextModal([&question, answer](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        question = box->text();
        box->button(answer)->click();
        if (answer == QMessageBox::Yes) AnswerNextMessage(QMessageBox::Yes);
      });
      dialog.findChild<QPushButton*>(QStringLiteral("1"))->click();
      QVERIFY(question.contains(QString::fromStdString(table)));
      if (answer == QMessageBox::No) {
        QCOMPARE(env.Read(path), QByteArray("pear\napple\n"));
        QCOMPARE(equal->text(), QString::fromStdString(table));
      }
    }
    QVERIFY(equal->text().isEmpty());
    QVERIFY(LoadSortToolSettings(env.SettingsPath()).equalValueTable.empty());
    QCOMPARE(env.Read(path), QByteArray("apple\npear\n"));
  }
};

QTEST_MAIN(SortDialogTest)
#include "tst_sort_dialog.moc"
