// Editing the definition list: Add starts an edit in place, the edit field
// keeps Enter and Escape from the main window, a double-click edits any
// cell, and edits of rows with long texts reach the long-text store.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "ui/editable_list_ctrl.h"
#include "ui/control_ids.h"
#include "ui/list_models.h"
#include "ui/main_window.h"
#include "ui/pair_edit_dialog.h"
#include "ui/ui_text.h"
#include "ui_test_support.h"

using namespace strbatch;
using strbatch::testing::CancelModalWatchers;
using strbatch::testing::OnNextModal;
using strbatch::testing::UiTestEnvironment;

class ListEditingTest : public QObject {
  Q_OBJECT

 private:
  UiTestEnvironment* env_ = nullptr;
  MainWindow* window_ = nullptr;
  bool modalSeen_ = false;

  DefinitionList& Definitions() { return window_->Definitions(); }

  InplaceEdit* OpenEditor() {
    QApplication::processEvents();
    return qobject_cast<InplaceEdit*>(QApplication::focusWidget());
  }

  InplaceEdit* DoubleClickCell(int row, int column) {
    EditableListCtrl* view = window_->DefinitionView();
    QRect cell = view->visualRect(view->model()->index(row, column));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    return OpenEditor();
  }

  // Any modal dialog (a batch confirmation, say) would mean a key escaped
  // the edit field; it is recorded and dismissed.
  void WatchForModals() {
    modalSeen_ = false;
    OnNextModal([this](QWidget* modal) {
      modalSeen_ = true;
      modal->close();
    });
  }

 private slots:
  void init() {
    env_ = new UiTestEnvironment;
    window_ = new MainWindow(Options{}, env_->SettingsPath());
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_));
  }
  void cleanup() {
    CancelModalWatchers();
    delete window_;
    delete env_;
  }

  void addThenEscapeKeepsStr1() {
    window_->Control(control::kAddDefinition)->click();
    InplaceEdit* editor = OpenEditor();
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("str1"));
    QCOMPARE(editor->selectedText(), QStringLiteral("str1"));
    WatchForModals();
    QTest::keyClicks(editor, QStringLiteral("typed"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QApplication::processEvents();
    QVERIFY(window_->isVisible());  // Escape did not reach the window
    QVERIFY(!modalSeen_);
    QCOMPARE(Definitions().Size(), size_t{1});
    QCOMPARE(Definitions().Find(0), std::string("str1"));
    QCOMPARE(Definitions().Replace(0), std::string("str2"));
    QVERIFY(Definitions().Row(0).checked);
  }

  void enterEndsTheEditWithoutStartingABatch() {
    window_->Control(control::kAddDefinition)->click();
    InplaceEdit* editor = OpenEditor();
    QVERIFY(editor);
    WatchForModals();
    QTest::keyClicks(editor, QStringLiteral("cat"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    QVERIFY(!modalSeen_);
    QCOMPARE(Definitions().Find(0), std::string("cat"));
    QCOMPARE(QApplication::focusWidget(), window_->DefinitionView());
  }

  void inPlaceEditOfALongDefinitionUpdatesTheStore() {
    window_->DefinitionModel()->Change(
        [&] { Definitions().Append(std::string(300, 'a'), std::string(300, 'b'), true); });
    QVERIFY(Definitions().Row(0).longTextIndex != 0);
    InplaceEdit* editor = DoubleClickCell(0, 0);
    QVERIFY(editor);
    editor->setText(QStringLiteral("short"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    QCOMPARE(Definitions().GetDefinitionText(0, 0), std::string("short"));
    QCOMPARE(Definitions().GetDefinitionText(0, 1), std::string(300, 'b'));
    const std::string path = env_->StdPath("out.xml");
    QVERIFY(window_->ExportDefinitions(path));
    QVERIFY(env_->Read(path).contains("<old>short</old>"));
  }

  void doubleClickOnTheCountCellEditsIt() {
    window_->DefinitionModel()->Change([&] { Definitions().Append("x", "y", true); });
    InplaceEdit* editor = DoubleClickCell(0, 2);
    QVERIFY(editor);
    editor->setText(QStringLiteral("7"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    QCOMPARE(testing::CountText(Definitions().Row(0).count), std::string("7"));
  }

  void editFieldWidensUpToTheListEdge() {
    window_->DefinitionModel()->Change([&] { Definitions().Append("x", "y", true); });
    InplaceEdit* editor = DoubleClickCell(0, 2);  // the narrow count column
    QVERIFY(editor);
    const int before = editor->width();
    QTest::keyClicks(editor, QString(200, QLatin1Char('w')));
    QVERIFY(editor->width() > before);
    QVERIFY(editor->geometry().right() < window_->DefinitionView()->viewport()->width());
    QTest::keyClick(editor, Qt::Key_Escape);
  }

  void scrollingEndsTheEditKeepingTheText() {
    window_->DefinitionModel()->Change([&] {
      for (int i = 0; i < 100; i++) Definitions().Append("row", "r", true);
    });
    InplaceEdit* editor = DoubleClickCell(0, 1);
    QVERIFY(editor);
    editor->setText(QStringLiteral("typed"));
    window_->DefinitionView()->verticalScrollBar()->setValue(10);
    QApplication::processEvents();
    QCOMPARE(Definitions().Replace(0), std::string("typed"));
    QVERIFY(!qobject_cast<InplaceEdit*>(QApplication::focusWidget()));
  }

  void pairEditRefusesTextsOverTheLimit() {
    window_->DefinitionModel()->Change([&] { Definitions().Append("find", "repl", true); });
    window_->DefinitionView()->SelectRow(0);
    QString limitMessage;
    bool stayedOpen = false;
    OnNextModal([&](QWidget* modal) {
      auto* dialog = qobject_cast<PairEditDialog*>(modal);
      QVERIFY(dialog);
      dialog->findChild<QPlainTextEdit*>(QStringLiteral("1014"))
          ->setPlainText(QString(64001, QLatin1Char('x')));
      OnNextModal([&](QWidget* box) {
        limitMessage = qobject_cast<QMessageBox*>(box)->text();
        qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
      });
      dialog->findChild<QPushButton*>(QStringLiteral("1"))->click();
      stayedOpen = dialog->isVisible();
      // Exactly the limit is accepted, line breaks kept as "\r\n".
      dialog->findChild<QPlainTextEdit*>(QStringLiteral("1014"))
          ->setPlainText(QStringLiteral("a\nb"));
      dialog->findChild<QPushButton*>(QStringLiteral("1"))->click();
    });
    window_->Control(control::kEditDefinition)->click();
    QVERIFY(stayedOpen);
    QCOMPARE(limitMessage, Text(window_->Texts(), "1101").arg(64000));
    QCOMPARE(Definitions().GetDefinitionText(0, 0), std::string("a\r\nb"));
    QCOMPARE(Definitions().GetDefinitionText(0, 1), std::string("repl"));
  }

  // A character GBK cannot hold is refused as it is typed: the field keeps
  // what it had, and the definition never gets a "?" in its place.
  void pairEditRefusesCharactersTheCodePageCannotHold() {
    window_->DefinitionModel()->Change([&] { Definitions().Append("cat", "dog", true); });
    window_->DefinitionView()->SelectRow(0);
    QString message;
    OnNextModal([&](QWidget* modal) {
      auto* dialog = qobject_cast<PairEditDialog*>(modal);
      QVERIFY(dialog);
      auto* replace = dialog->findChild<QPlainTextEdit*>(QStringLiteral("1016"));
      replace->moveCursor(QTextCursor::End);
      replace->insertPlainText(QStringLiteral("s"));
      replace->insertPlainText(QString::fromUtf8("\xED\x95\x9C"));  // Hangul 한
      QCOMPARE(replace->toPlainText(), QStringLiteral("dogs"));
      OnNextModal([&, dialog](QWidget* box) {
        message = qobject_cast<QMessageBox*>(box)->text();
        qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
        // Once the message is gone, the dialog is confirmed.
        OnNextModal([dialog](QWidget*) {
          dialog->findChild<QPushButton*>(QStringLiteral("1"))->click();
        });
      });
    });
    window_->Control(control::kEditDefinition)->click();
    QVERIFY(message.contains(QStringLiteral("U+D55C")));
    QCOMPARE(Definitions().Replace(0), std::string("dogs"));
  }

  void moveCarriesFullTextsAndChecks() {
    window_->DefinitionModel()->Change([&] {
      Definitions().Append(std::string(300, 'a'), "r1", false);
      Definitions().Append("short", "r2", true);
    });
    window_->DefinitionView()->SelectRow(0);
    window_->Control(control::kDefinitionDown)->click();  // down
    QCOMPARE(window_->DefinitionView()->SelectedRow(), 1);
    QCOMPARE(Definitions().GetDefinitionText(1, 0), std::string(300, 'a'));
    QVERIFY(!Definitions().Row(1).checked);
    window_->Control(control::kDefinitionDown)->click();  // down on the last row: nothing
    QCOMPARE(window_->DefinitionView()->SelectedRow(), 1);
    window_->Control(control::kClearDefinitions)->click();  // clear, then add: no long texts
    window_->Control(control::kAddDefinition)->click();
    QTest::keyClick(OpenEditor(), Qt::Key_Escape);
    QCOMPARE(Definitions().Row(0).longTextIndex, 0);
  }
};

QTEST_MAIN(ListEditingTest)
#include "tst_list_editing.moc"
