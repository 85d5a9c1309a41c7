#include "ui/preview_dialog.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <string_view>

#include "commands/commands.h"
#include "config/text_keys.h"
#include "ui/slot_guard.h"
#include "ui/ui_text.h"

namespace strbatch {
namespace {

// Characters of context shown on either side of a change.
constexpr int kContext = 60;

QString Decoded(const FilePreview& file, std::string_view bytes) {
  if (file.codePage->IsUtf8()) return QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size()));
  std::string utf8;
  file.codePage->ToUtf8(bytes, &utf8);
  return QString::fromStdString(utf8);
}

// A changed part: escaped, its line ends shown as marks.
QString Marked(const QString& text) {
  QString html = text.toHtmlEscaped();
  html.replace(QLatin1Char('\r'), QChar(0x240D)).replace(QLatin1Char('\n'), QChar(0x21B5));
  return html;
}

// The line (or lines) of a change before and after it, the removed and the
// inserted text coloured.
QString ChangeHtml(const FilePreview& file, const TextChange& change) {
  const std::string_view original = file.original;
  const size_t end = change.offset + change.length;
  size_t lineStart = change.offset == 0 ? std::string_view::npos
                                        : original.rfind('\n', change.offset - 1);
  lineStart = lineStart == std::string_view::npos ? 0 : lineStart + 1;
  size_t lineEnd = original.find('\n', end);
  if (lineEnd == std::string_view::npos) lineEnd = original.size();
  if (lineEnd > end && original[lineEnd - 1] == '\r') lineEnd--;
  QString before = Decoded(file, original.substr(lineStart, change.offset - lineStart));
  QString after = Decoded(file, original.substr(end, lineEnd - end));
  if (before.size() > kContext) before = QChar(0x2026) + before.right(kContext);
  if (after.size() > kContext) after = after.left(kContext) + QChar(0x2026);
  const QString old = Marked(Decoded(file, original.substr(change.offset, change.length)));
  const QString inserted = Marked(Decoded(file, Replacement(file.result, change)));
  before = before.toHtmlEscaped();
  after = after.toHtmlEscaped();
  return QStringLiteral("<div style=\"white-space:pre\">- %1<span style=\"background-color:#f4b8b8\">"
                        "%2</span>%3<br>+ %1<span style=\"background-color:#b8e8b8\">%4</span>%3"
                        "</div>")
      .arg(before, old, after, inserted);
}

}  // namespace

PreviewDialog::PreviewDialog(QWidget* owner, const LanguageCatalog& texts,
                             const ReplacePreview& preview, ProgressHost& host, bool autoBackup)
    : QDialog(owner), texts_(texts), preview_(preview), host_(host), autoBackup_(autoBackup) {
  setWindowTitle(Text(texts_, key::kPreviewTitle));
  const std::vector<FilePreview>& files = preview_.files();
  applied_.assign(files.size(), -1);
  for (const FilePreview& file : files) accepted_.emplace_back(file.changes.size(), true);

  fileView_ = new QTreeWidget(this);
  fileView_->setObjectName(QStringLiteral("previewFiles"));
  fileView_->setRootIsDecorated(false);
  fileView_->setTextElideMode(Qt::ElideMiddle);
  fileView_->setHeaderLabels(
      {Text(texts_, key::kPreviewFileColumn), Text(texts_, key::kPreviewChangesColumn)});
  for (const FilePreview& file : files) {
    auto* item = new QTreeWidgetItem(fileView_);
    item->setText(0, PathToQString(file.path));
    item->setToolTip(0, PathToQString(file.path));
    item->setCheckState(0, Qt::Checked);
    item->setText(1, QString::number(file.changes.size()));
  }
  fileView_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  fileView_->header()->setStretchLastSection(false);

  changeView_ = new QTreeWidget(this);
  changeView_->setObjectName(QStringLiteral("previewChanges"));
  changeView_->setRootIsDecorated(false);
  changeView_->setHeaderLabels(
      {Text(texts_, key::kPreviewLineColumn), Text(texts_, key::kPreviewChangeColumn)});
  changeView_->installEventFilter(this);

  auto* splitter = new QSplitter(this);
  splitter->addWidget(fileView_);
  splitter->addWidget(changeView_);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 3);

  auto button = [this](const char* key) { return new QPushButton(Text(texts_, key), this); };
  QPushButton* previous = button(key::kPreviousChange);
  QPushButton* next = button(key::kNextChange);
  QPushButton* acceptAll = button(key::kAcceptAllInFile);
  QPushButton* skipAll = button(key::kSkipAllInFile);
  applyButton_ = button(key::kApplyChecked);
  QPushButton* close = button(key::kPreviewClose);
  previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
  next->setShortcut(QKeySequence(Qt::Key_F8));
  acceptAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Plus));
  skipAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {previous, next, acceptAll, skipAll}) buttons->addWidget(b);
  buttons->addStretch();
  buttons->addWidget(applyButton_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addLayout(buttons);

  connect(previous, &QPushButton::clicked, this, [this] { StepChange(-1); });
  connect(next, &QPushButton::clicked, this, [this] { StepChange(1); });
  connect(acceptAll, &QPushButton::clicked, this, [this] { SetAllInFile(true); });
  connect(skipAll, &QPushButton::clicked, this, [this] { SetAllInFile(false); });
  connect(applyButton_, &QPushButton::clicked, this, [this] {
    RunGuarded(this, texts_, applyButton_->text(), [this] { ApplyChecked(); },
               [this] { host_.ReportWarnings(); });
  });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(fileView_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) {
            if (item) ShowChanges(static_cast<size_t>(fileView_->indexOfTopLevelItem(item)));
          });
  connect(changeView_, &QTreeWidget::itemChanged, this,
          [this](QTreeWidgetItem* item) { ChangeToggled(item); });
  resize(1000, 600);
  if (!files.empty()) SelectFile(0);
}

void PreviewDialog::SelectFile(size_t f) {
  fileView_->setCurrentItem(fileView_->topLevelItem(static_cast<int>(f)));
}

void PreviewDialog::ShowChanges(size_t f) {
  if (f == shown_) return;
  shown_ = f;
  filling_ = true;
  changeView_->clear();
  const FilePreview& file = preview_.files()[f];
  for (size_t k = 0; k < file.changes.size(); k++) {
    auto* item = new QTreeWidgetItem(changeView_);
    item->setText(0, QString::number(file.changes[k].line));
    item->setCheckState(0, accepted_[f][k] ? Qt::Checked : Qt::Unchecked);
    auto* label = new QLabel(ChangeHtml(file, file.changes[k]), changeView_);
    label->setTextFormat(Qt::RichText);
    changeView_->setItemWidget(item, 1, label);
  }
  changeView_->resizeColumnToContents(0);
  if (changeView_->topLevelItemCount() > 0) {
    changeView_->setCurrentItem(changeView_->topLevelItem(0));
  }
  filling_ = false;
}

void PreviewDialog::SetAccepted(size_t f, size_t k, bool accepted) {
  // A document is written whole from its replaced copy: all or none.
  const bool whole = preview_.files()[f].IsDocument();
  for (size_t i = 0; i < accepted_[f].size(); i++) {
    if (i != k && !whole) continue;
    accepted_[f][i] = accepted;
    if (f == shown_) {
      filling_ = true;
      changeView_->topLevelItem(static_cast<int>(i))
          ->setCheckState(0, accepted ? Qt::Checked : Qt::Unchecked);
      filling_ = false;
    }
  }
}

void PreviewDialog::ChangeToggled(QTreeWidgetItem* item) {
  if (filling_ || shown_ >= accepted_.size()) return;
  const int k = changeView_->indexOfTopLevelItem(item);
  if (k >= 0) SetAccepted(shown_, static_cast<size_t>(k), item->checkState(0) == Qt::Checked);
}

void PreviewDialog::SetAllInFile(bool accepted) {
  if (shown_ >= accepted_.size()) return;
  for (size_t k = 0; k < accepted_[shown_].size(); k++) SetAccepted(shown_, k, accepted);
}

void PreviewDialog::StepChange(int delta) {
  if (shown_ >= accepted_.size()) return;
  const int k = changeView_->indexOfTopLevelItem(changeView_->currentItem()) + delta;
  if (k >= 0 && k < changeView_->topLevelItemCount()) {
    changeView_->setCurrentItem(changeView_->topLevelItem(k));
    return;
  }
  const int f = static_cast<int>(shown_) + delta;
  if (f < 0 || f >= fileView_->topLevelItemCount()) return;
  SelectFile(static_cast<size_t>(f));
  const int count = changeView_->topLevelItemCount();
  if (count > 0) changeView_->setCurrentItem(changeView_->topLevelItem(delta > 0 ? 0 : count - 1));
}

bool PreviewDialog::eventFilter(QObject* watched, QEvent* event) {
  // Space toggles the change at hand.
  if (watched == changeView_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
    if (QTreeWidgetItem* item = changeView_->currentItem()) {
      const int k = changeView_->indexOfTopLevelItem(item);
      SetAccepted(shown_, static_cast<size_t>(k), item->checkState(0) != Qt::Checked);
    }
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void PreviewDialog::ApplyChecked() {
  const std::vector<FilePreview>& files = preview_.files();
  std::vector<bool> checked;
  for (size_t f = 0; f < files.size(); f++) {
    checked.push_back(fileView_->topLevelItem(static_cast<int>(f))->checkState(0) == Qt::Checked);
  }
  const CommandReport report = ApplyPreview(
      {preview_, checked, accepted_, autoBackup_, *rewriter_, journal_, texts_}, &applied_, host_);
  if (report.end == CommandEnd::kRefused) {
    host_.ReportWarnings();
    return;
  }
  for (size_t f = 0; f < files.size(); f++) {
    fileView_->topLevelItem(static_cast<int>(f))
        ->setText(1, QString::number(std::max<int64_t>(applied_[f], 0)));
  }
  // What was written is no longer what was previewed.
  applyButton_->setEnabled(false);
  host_.ReportWarnings();
}

}  // namespace strbatch
