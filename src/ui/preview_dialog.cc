#include "ui/preview_dialog.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "commands/commands.h"
#include "config/text_keys.h"
#include "ui/slot_guard.h"
#include "ui/ui_text.h"

namespace strbatch {
namespace {

// Numbers as the interface's language writes them (thousands grouped).
QLocale LocaleOf(const LanguageCatalog& texts) {
  return texts.CurrentLanguage() == Language::English
             ? QLocale(QLocale::English, QLocale::UnitedStates)
             : QLocale(QLocale::Chinese, QLocale::China);
}

Qt::CheckState BoxState(size_t checked, size_t count) {
  if (checked == 0) return Qt::Unchecked;
  return checked == count ? Qt::Checked : Qt::PartiallyChecked;
}

}  // namespace

PreviewDialog::PreviewDialog(QWidget* owner, const LanguageCatalog& texts,
                             const ReplacePreview& preview, ProgressHost& host, bool autoBackup)
    : QDialog(owner), texts_(texts), preview_(preview), host_(host), autoBackup_(autoBackup) {
  setWindowTitle(Text(texts_, key::kPreviewTitle));
  const std::vector<FilePreview>& files = preview_.files();
  applied_.assign(files.size(), -1);
  for (const FilePreview& file : files) {
    accepted_.emplace_back(file.changes.size(), true);
    checkedCount_.push_back(file.changes.size());
    changeCount_ += file.changes.size();
  }
  checkedTotal_ = changeCount_;

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

  changeModel_ = new ChangeListModel(this);
  changeModel_->SetTitles(Text(texts_, key::kPreviewLineColumn),
                          Text(texts_, key::kPreviewChangeColumn));
  changeModel_->onToggle = [this](size_t k, bool accepted) {
    if (shown_ < accepted_.size()) SetAccepted(shown_, k, accepted);
  };
  changeView_ = new QTreeView(this);
  changeView_->setObjectName(QStringLiteral("previewChanges"));
  changeView_->setRootIsDecorated(false);
  changeView_->setUniformRowHeights(true);
  changeView_->setAllColumnsShowFocus(true);
  changeView_->setModel(changeModel_);
  changeView_->setItemDelegateForColumn(ChangeListModel::kChangeColumn,
                                        new ChangeDelegate(changeView_));
  changeView_->header()->setStretchLastSection(true);
  changeView_->installEventFilter(this);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("previewSummary"));

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
  layout->addWidget(summary_);
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
  connect(fileView_, &QTreeWidget::itemChanged, this,
          [this](QTreeWidgetItem* item) { FileBoxToggled(item); });
  resize(1000, 600);
  ShowSummary();
  if (!files.empty()) SelectFile(0);
}

void PreviewDialog::SelectFile(size_t f) {
  fileView_->setCurrentItem(fileView_->topLevelItem(static_cast<int>(f)));
}

void PreviewDialog::ShowChanges(size_t f) {
  if (f == shown_) return;
  shown_ = f;
  changeModel_->ShowFile(&preview_.files()[f], &accepted_[f]);
  const int count = changeModel_->rowCount();
  if (count == 0) return;
  // The last change has the longest line number; asking every row would
  // cost as many rows as the file has changes.
  const QModelIndex widest = changeModel_->index(count - 1, ChangeListModel::kLineColumn);
  changeView_->setColumnWidth(
      ChangeListModel::kLineColumn,
      std::max(changeView_->sizeHintForIndex(widest).width() + changeView_->indentation(),
               changeView_->header()->sectionSizeHint(ChangeListModel::kLineColumn)));
  changeView_->setCurrentIndex(changeModel_->index(0, ChangeListModel::kLineColumn));
}

void PreviewDialog::SetAccepted(size_t f, size_t k, bool accepted) {
  if (f >= accepted_.size() || k >= accepted_[f].size()) return;
  // A document is written whole from its replaced copy: all or none.
  if (preview_.files()[f].IsDocument()) {
    SetRange(f, 0, accepted_[f].size() - 1, accepted);
  } else {
    SetRange(f, k, k, accepted);
  }
}

void PreviewDialog::SetRange(size_t f, size_t first, size_t last, bool accepted) {
  std::vector<bool>& boxes = accepted_[f];
  if (boxes.empty()) return;
  for (size_t k = first; k <= last; k++) {
    if (boxes[k] == accepted) continue;
    boxes[k] = accepted;
    if (accepted) {
      checkedCount_[f]++;
      checkedTotal_++;
    } else {
      checkedCount_[f]--;
      checkedTotal_--;
    }
  }
  if (f == shown_) changeModel_->BoxesChanged(first, last);
  ShowFileBox(f);
  ShowSummary();
}

void PreviewDialog::ShowFileBox(size_t f) {
  filling_ = true;
  fileView_->topLevelItem(static_cast<int>(f))
      ->setCheckState(0, BoxState(checkedCount_[f], accepted_[f].size()));
  filling_ = false;
}

void PreviewDialog::FileBoxToggled(QTreeWidgetItem* item) {
  if (filling_) return;
  const int f = fileView_->indexOfTopLevelItem(item);
  if (f < 0 || accepted_[static_cast<size_t>(f)].empty()) return;
  const auto file = static_cast<size_t>(f);
  // A click on a partly checked box checks it; all its changes follow.
  SetRange(file, 0, accepted_[file].size() - 1, item->checkState(0) == Qt::Checked);
}

void PreviewDialog::ShowSummary() {
  const QLocale locale = LocaleOf(texts_);
  auto number = [&locale](size_t n) {
    return locale.toString(static_cast<qulonglong>(n)).toStdString();
  };
  summary_->setText(QString::fromStdString(
      texts_.Message(key::kPreviewSummary,
                     {number(accepted_.size()), number(changeCount_), number(checkedTotal_)})));
}

void PreviewDialog::SetAllInFile(bool accepted) {
  if (shown_ >= accepted_.size() || accepted_[shown_].empty()) return;
  SetRange(shown_, 0, accepted_[shown_].size() - 1, accepted);
}

void PreviewDialog::StepChange(int delta) {
  if (shown_ >= accepted_.size()) return;
  const int k = changeView_->currentIndex().row() + delta;
  if (k < 0 || k >= changeModel_->rowCount()) {
    const int f = static_cast<int>(shown_) + delta;
    if (f < 0 || f >= fileView_->topLevelItemCount()) return;
    SelectFile(static_cast<size_t>(f));
    const int count = changeModel_->rowCount();
    if (count == 0) return;
    changeView_->setCurrentIndex(
        changeModel_->index(delta > 0 ? 0 : count - 1, ChangeListModel::kLineColumn));
  } else {
    changeView_->setCurrentIndex(changeModel_->index(k, ChangeListModel::kLineColumn));
  }
  // Space after F8 is meant for the change F8 went to.
  changeView_->setFocus(Qt::ShortcutFocusReason);
}

bool PreviewDialog::eventFilter(QObject* watched, QEvent* event) {
  // Space toggles the change at hand.
  if (watched == changeView_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
    const QModelIndex current = changeView_->currentIndex();
    if (current.isValid() && shown_ < accepted_.size()) {
      const auto k = static_cast<size_t>(current.row());
      SetAccepted(shown_, k, !accepted_[shown_][k]);
    }
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void PreviewDialog::ApplyChecked() {
  const std::vector<FilePreview>& files = preview_.files();
  std::vector<bool> checked;
  for (size_t f = 0; f < files.size(); f++) {
    checked.push_back(checkedCount_[f] > 0);
  }
  const CommandReport report = ApplyPreview(
      {preview_, checked, accepted_, autoBackup_, *rewriter_, journal_, texts_}, &applied_, host_);
  if (report.end == CommandEnd::kRefused) {
    host_.ReportWarnings();
    return;
  }
  filling_ = true;
  for (size_t f = 0; f < files.size(); f++) {
    fileView_->topLevelItem(static_cast<int>(f))
        ->setText(1, QString::number(std::max<int64_t>(applied_[f], 0)));
  }
  filling_ = false;
  // What was written is no longer what was previewed.
  applyButton_->setEnabled(false);
  host_.ReportWarnings();
}

}  // namespace strbatch
