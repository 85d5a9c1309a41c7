// The viewer window: spans coloured where the control puts them, stepping
// clamped at the ends, saves that join lines with the file's line end, and
// files whose bytes the control cannot show are not altered behind the
// user's back.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QtTest>

#include "base/text_encoding.h"
#include "ui/view_dialog.h"
#include "ui_test_support.h"

using namespace strbatch;
using strbatch::testing::AnswerNextMessage;
using strbatch::testing::CancelModalWatchers;
using strbatch::testing::OnNextModal;
using strbatch::testing::UiTestEnvironment;

class ViewerTest : public QObject {
  Q_OBJECT

 private:
  UiTestEnvironment* env_ = nullptr;

  static bool IsBlue(CDlgView& viewer, int position) {
    QTextCursor cursor(viewer.TextControl()->document());
    cursor.setPosition(position + 1);  // the format of the character before
    return cursor.charFormat().foreground().color() == QColor(0, 0, 255);
  }
  static QString Selected(CDlgView& viewer) {
    return viewer.TextControl()->textCursor().selectedText();
  }
  static void Click(CDlgView& viewer, int id) {
    viewer.findChild<QPushButton*>(QString::number(id))->click();
  }
  static QByteArray Utf16LE(const QString& text) {
    std::string bytes;
    const QByteArray utf8 = text.toUtf8();
    Utf8ToUtf16(std::string_view(utf8.constData(), utf8.size()), false, &bytes);
    return QByteArray("\xFF\xFE") + QByteArray(bytes.data(), qsizetype(bytes.size()));
  }

 private slots:
  void init() { env_ = new UiTestEnvironment; }
  void cleanup() {
    CancelModalWatchers();
    delete env_;
  }

  void coloursOverlappingSpansAndStepsThroughThem() {
    const std::string path = env_->StdPath("abcd.txt");
    env_->Write(path, "abcde");
    CDlgView viewer(nullptr, env_->Texts(), path, strbatch::testing::Matches("0:3;1:3"));
    QVERIFY(viewer.LoadViewerText());
    QCOMPARE(viewer.TextControl()->toPlainText(), QStringLiteral("abcde"));
    for (int i = 0; i < 4; i++) QVERIFY2(IsBlue(viewer, i), qPrintable(QString::number(i)));
    QVERIFY(!IsBlue(viewer, 4));

    Click(viewer, 1050);
    QCOMPARE(Selected(viewer), QStringLiteral("abc"));
    Click(viewer, 1050);
    QCOMPARE(Selected(viewer), QStringLiteral("bcd"));
    Click(viewer, 1050);  // the last one stays
    QCOMPARE(Selected(viewer), QStringLiteral("bcd"));
    Click(viewer, 1051);
    Click(viewer, 1051);  // the first one stays
    QCOMPARE(Selected(viewer), QStringLiteral("abc"));
    QCOMPARE(viewer.CurrentIndex(), 0L);
  }

  void spansLandOnDoubleByteTextAcrossLineBreaks() {
    // "中文\r\n文本abc" in GBK; the match list counts bytes.
    const std::string path = env_->StdPath("gbk.txt");
    env_->Write(path, "\xd6\xd0\xce\xc4\r\n\xce\xc4\xb1\xbe" "abc");
    CDlgView viewer(nullptr, env_->Texts(), path, strbatch::testing::Matches("6:4;10:3"));
    QVERIFY(viewer.LoadViewerText());
    QVERIFY(viewer.ShowsFileFaithfully());
    Click(viewer, 1050);
    QCOMPARE(Selected(viewer), QStringLiteral("文本"));
    Click(viewer, 1050);
    QCOMPARE(Selected(viewer), QStringLiteral("abc"));
  }

  void saveKeepsTheFilesLineEnd() {
    const std::string path = env_->StdPath("lines.txt");
    for (const QByteArray& lineEnd : {QByteArray("\n"), QByteArray("\r\n")}) {
      env_->Write(path, "l1" + lineEnd + "l2");
      CDlgView viewer(nullptr, env_->Texts(), path, strbatch::testing::Matches("0:2"));
      QVERIFY(viewer.LoadViewerText());
      Click(viewer, 1052);
      QCOMPARE(env_->Read(path), "l1" + lineEnd + "l2");

      // An edited text is written back in the code page.
      viewer.TextControl()->setPlainText(QStringLiteral("文本\n\nend\n"));
      Click(viewer, 1052);
      QCOMPARE(env_->Read(path), "\xce\xc4\xb1\xbe" + lineEnd + lineEnd + "end" + lineEnd);
    }
  }

  void asksBeforeSavingBytesTheControlCannotShow() {
    const std::string path = env_->StdPath("bad.txt");
    const QByteArray bytes("ab\x81\x20" "cd\xd6");
    env_->Write(path, bytes);
    CDlgView viewer(nullptr, env_->Texts(), path, strbatch::testing::Matches("0:2"));
    QVERIFY(viewer.LoadViewerText());
    QVERIFY(!viewer.ShowsFileFaithfully());

    AnswerNextMessage(QMessageBox::No);
    QVERIFY(!viewer.SaveViewerText());
    QCOMPARE(env_->Read(path), bytes);
    // Enter takes the default answer, which must never be the lossy one.
    OnNextModal([](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); });
    QVERIFY(!viewer.SaveViewerText());
    QCOMPARE(env_->Read(path), bytes);

    AnswerNextMessage(QMessageBox::Yes);
    QVERIFY(viewer.SaveViewerText());
    QVERIFY(env_->Read(path) != bytes);
  }

  void keepsBytesAfterANul() {
    const std::string path = env_->StdPath("nul.txt");
    const QByteArray bytes("ab\0cd\r\nef", 9);
    env_->Write(path, bytes);
    CDlgView viewer(nullptr, env_->Texts(), path, strbatch::testing::Matches("0:1"));
    QVERIFY(viewer.LoadViewerText());
    // Either the control carries the NUL and a save gives the bytes back,
    // or the user is asked first.
    if (viewer.ShowsFileFaithfully()) {
      QVERIFY(viewer.SaveViewerText());
      QCOMPARE(env_->Read(path), bytes);
    } else {
      AnswerNextMessage(QMessageBox::No);
      QVERIFY(!viewer.SaveViewerText());
      QCOMPARE(env_->Read(path), bytes);
    }
  }

  void aUtf16FileIsShownAndSavedInUtf16WithItsMark() {
    // "中文\r\n文本abc": "文本" is bytes 10 to 13 of the file, mark included.
    const std::string path = env_->StdPath("utf16.txt");
    const QByteArray bytes = Utf16LE(QStringLiteral("中文\r\n文本abc"));
    env_->Write(path, bytes);
    CDlgView viewer(nullptr, env_->Texts(), path, strbatch::testing::Matches("10:4;14:6"), EncodingSetting::Auto);
    QVERIFY(viewer.LoadViewerText());
    QCOMPARE(viewer.Encoding(), FileEncoding::Utf16LE);
    QVERIFY(viewer.ShowsFileFaithfully());
    QVERIFY(viewer.windowTitle().endsWith(QStringLiteral("[UTF-16LE]")));
    Click(viewer, 1050);
    QCOMPARE(Selected(viewer), QStringLiteral("文本"));
    Click(viewer, 1050);
    QCOMPARE(Selected(viewer), QStringLiteral("abc"));

    Click(viewer, 1052);
    QCOMPARE(env_->Read(path), bytes);
    viewer.TextControl()->setPlainText(QStringLiteral("新\n行😀"));
    Click(viewer, 1052);
    QCOMPARE(env_->Read(path), Utf16LE(QStringLiteral("新\r\n行😀")));
  }

  void anUnreadableFileIsNeverOverwritten() {
    const std::string path = env_->StdPath("missing.txt");
    AnswerNextMessage(QMessageBox::Ok);
    CDlgView viewer(nullptr, env_->Texts(), path, strbatch::testing::Matches("0:1"));
    QVERIFY(!viewer.LoadViewerText());
    QVERIFY(!viewer.SaveViewerText());
    QVERIFY(!QFile::exists(QString::fromStdString(path)));
  }
};

QTEST_MAIN(ViewerTest)
#include "tst_viewer.moc"
