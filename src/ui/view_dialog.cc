#include "ui/view_dialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

#include "config/message_text.h"
#include "config/settings.h"
#include "config/text_keys.h"
#include "ui/desktop_open.h"
#include "ui/numbered_text_edit.h"
#include "ui/slot_guard.h"
#include "ui/ui_text.h"

namespace strbatch {
namespace {

// Appends to a plain text control and measures positions in it, so spans
// land where the control puts the characters (a "\r\n" pair or a
// multi-byte character is one position there).
class ControlSink : public ViewerTextSink {
 public:
  ControlSink(QPlainTextEdit* control, const QTextCharFormat& format)
      : control_(control), format_(format) {}
  void Clear() override { control_->document()->clear(); }
  void Append(std::string_view utf8) override {
    QTextCursor cursor(control_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())),
                      format_);
  }
  long EndPosition() const override { return control_->document()->characterCount() - 1; }

 private:
  QPlainTextEdit* control_;
  QTextCharFormat format_;
};

QPushButton* AddButton(QWidget* parent, QHBoxLayout* row, int id, const char* caption) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  SetResourceId(button, id);
  button->setAutoDefault(false);
  row->addWidget(button);
  return button;
}

}  // namespace

CDlgView::CDlgView(QWidget* owner, const LanguageCatalog& texts, const std::string& path,
                   const std::vector<MatchSpan>& matches, EncodingSetting encoding)
    : QDialog(owner, Qt::Dialog | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      texts_(texts),
      path_(path),
      encoding_(encoding),
      spans_(ViewerSpans(matches)) {
  setWindowTitle(QStringLiteral("查看"));
  auto* buttons = new QHBoxLayout;
  QPushButton* next = AddButton(this, buttons, 1050, "下一个串");
  QPushButton* previous = AddButton(this, buttons, 1051, "上一个串");
  save_ = AddButton(this, buttons, 1052, "保存修改");
  QPushButton* exit = AddButton(this, buttons, 2, "退出");
  // Which occurrence is shown, "3 of 12".
  position_ = new QLabel(this);
  position_->setObjectName(QStringLiteral("position"));
  buttons->addSpacing(12);
  buttons->addWidget(position_);
  buttons->addStretch();
  connect(next, &QPushButton::clicked, this, [this] { ShowMatch(currentIndex_ + 1); });
  connect(previous, &QPushButton::clicked, this, [this] { ShowMatch(currentIndex_ - 1); });
  connect(save_, &QPushButton::clicked, this, [this] {
    RunGuarded(this, texts_, save_->text(), [this] { SaveViewerText(); });
  });
  connect(exit, &QPushButton::clicked, this, &QDialog::reject);

  text_ = new NumberedTextEdit(this);
  SetResourceId(text_, 101);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setFixedPitch(true);
  text_->setFont(font);
  highlightFormat_.setForeground(QColor(0, 0, 255));

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(text_, 1);
  resize(820, 560);
}

bool CDlgView::LoadViewerText() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  mode_ = -1;
  currentIndex_ = -1;
  text_->setUndoRedoEnabled(false);
  text_->document()->clear();
  std::string bytes;
  strbatch::Message error;
  const bool read = ReadWholeFile(path_, &bytes, &error);
  if (read) {
    file_ = ViewerFile(std::move(bytes), encoding_);
    ControlSink sink(text_, QTextCharFormat());
    strbatch::LoadViewerText(file_, &spans_, &sink);
    for (const ViewerSpan& span : spans_) {
      QTextCursor cursor(text_->document());
      cursor.setPosition(static_cast<int>(span.start));
      cursor.setPosition(static_cast<int>(span.end), QTextCursor::KeepAnchor);
      cursor.mergeCharFormat(highlightFormat_);
    }
    // Measured on the control itself: invalid sequences, a character cut
    // by a span boundary or a NUL the control drops all show up here.
    faithful_ = file_.ShowsFaithfully(CurrentLines());
  }
  text_->moveCursor(QTextCursor::Start);
  text_->setUndoRedoEnabled(true);
  ShowPosition();
  text_->document()->setModified(false);
  mode_ = read ? 1 : 0;
  save_->setEnabled(read);
  ApplyCaptions(this, texts_, "IDD_DLGVIEW");
  // Outside "gbk" the title says which encoding the file was read in.
  QString title = PathToQString(path_);
  if (read && encoding_ != EncodingSetting::Gbk) {
    title += QStringLiteral(" [%1]").arg(QLatin1String(FileEncodingName(file_.Encoding())));
  }
  setWindowTitle(title);
  QApplication::restoreOverrideCursor();
  if (!read) {
    ShowMessage(this, texts_, key::kCannotReadFile, key::kErrorCaption, QMessageBox::Ok,
                PathToQString(path_), QMessageBox::Warning);
  }
  return read;
}

void CDlgView::ShowMatch(long k) {
  if (!ClampSpanIndex(k, spans_.size(), &currentIndex_) || mode_ != 1) return;
  const ViewerSpan& span = spans_[static_cast<size_t>(currentIndex_)];
  const int last = text_->document()->characterCount() - 1;
  QTextCursor cursor(text_->document());
  cursor.setPosition(std::clamp(static_cast<int>(span.start), 0, last));
  cursor.setPosition(std::clamp(static_cast<int>(span.end), 0, last), QTextCursor::KeepAnchor);
  text_->setTextCursor(cursor);
  text_->ensureCursorVisible();
  ShowPosition();
  // Asked past either end, the last (first) match stays and says so.
  const long count = static_cast<long>(spans_.size());
  if (k >= count || k < 0) {
    position_->setText(position_->text() + QStringLiteral("  ") +
                       Text(texts_, k >= count ? key::kLastMatch : key::kFirstMatch));
  }
}

void CDlgView::ShowPosition() {
  if (spans_.empty()) {
    position_->clear();
    return;
  }
  const std::string current = currentIndex_ < 0 ? "-" : std::to_string(currentIndex_ + 1);
  position_->setText(QString::fromStdString(
      texts_.Message(key::kOccurrenceOfCount, {current, std::to_string(spans_.size())})));
}

QString CDlgView::PositionText() const { return position_->text(); }

void CDlgView::SetReadOnly() {
  readOnly_ = true;
  text_->setReadOnly(true);
  save_->hide();
}

void CDlgView::KeepSizeIn(const std::string& settingsPath) {
  settingsPath_ = settingsPath;
  const QStringList size =
      QString::fromStdString(LoadWindowValue(settingsPath_, "Viewer")).split(QLatin1Char('x'));
  if (size.size() == 2 && size[0].toInt() > 100 && size[1].toInt() > 100) {
    resize(size[0].toInt(), size[1].toInt());
  }
}

void CDlgView::done(int result) {
  if (!settingsPath_.empty()) {
    strbatch::Message error;
    SaveWindowValues(settingsPath_,
                     {{"Viewer", std::to_string(width()) + "x" + std::to_string(height())}},
                     &error);
  }
  QDialog::done(result);
}

std::vector<std::string> CDlgView::CurrentLines() const {
  std::vector<std::string> lines;
  for (QTextBlock block = text_->document()->begin(); block.isValid(); block = block.next()) {
    const QByteArray utf8 = block.text().toUtf8();
    lines.emplace_back(utf8.constData(), static_cast<size_t>(utf8.size()));
  }
  return lines;
}

bool CDlgView::SaveViewerText() {
  if (mode_ != 1 || readOnly_) return false;
  if (!faithful_ &&
      ShowMessage(this, texts_, key::kSaveReplacesUnshownBytes, key::kConfirmCaption,
                  QMessageBox::Yes | QMessageBox::No, QStringLiteral("\n") + PathToQString(path_),
                  QMessageBox::Warning, QMessageBox::No) != QMessageBox::Yes) {
    return false;
  }
  strbatch::Message error;
  if (!strbatch::SaveViewerText(*rewriter_, path_, file_, CurrentLines(), &error)) {
    ShowMessage(this, texts_, key::kChangesNotSaved, key::kErrorCaption, QMessageBox::Ok,
                QStringLiteral("\n") + PathToQString(path_) + QStringLiteral(": ") +
                    QString::fromStdString(MessageText(texts_, error)),
                QMessageBox::Warning);
    return false;
  }
  text_->document()->setModified(false);
  return true;
}

void ViewFile(QWidget* owner, const LanguageCatalog& texts, const std::string& path,
              const std::vector<MatchSpan>& matches, EncodingSetting encoding,
              const std::string& settingsPath) {
  if (!ViewerShowsFile(path, matches)) {
    OpenWithDesktop(owner, texts, path);
    return;
  }
  CDlgView viewer(owner, texts, path, matches, encoding);
  viewer.KeepSizeIn(settingsPath);
  viewer.LoadViewerText();
  viewer.exec();
}

}  // namespace strbatch
