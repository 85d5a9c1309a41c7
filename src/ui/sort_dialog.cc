#include "ui/sort_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "commands/commands.h"
#include "config/message_text.h"
#include "config/settings.h"
#include "config/text_keys.h"
#include "sorttool/sort_tables.h"
#include "ui/progress_host.h"
#include "ui/slot_guard.h"
#include "ui/ui_text.h"

namespace strbatch {

SortDialog::SortDialog(QWidget* owner, const LanguageCatalog& texts,
                       std::vector<CheckedPath> rows, std::string settingsPath,
                       EncodingSetting encoding, UndoJournal* journal, bool autoBackup)
    : QDialog(owner),
      texts_(texts),
      rows_(std::move(rows)),
      settingsPath_(std::move(settingsPath)),
      encoding_(encoding),
      journal_(journal),
      autoBackup_(autoBackup) {
  // This dialog keeps the captions it was designed with in both languages.
  setWindowTitle(QStringLiteral("排序设置"));
  const SortToolSettings stored = LoadSortToolSettings(settingsPath_);

  auto* layout = new QGridLayout(this);
  auto addTableRow = [&](int row, const char* label, int editId, int buttonId,
                         const std::string& value) {
    layout->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0);
    auto* edit = new QLineEdit(PathToQString(value), this);
    SetResourceId(edit, editId);
    edit->setMinimumWidth(300);
    layout->addWidget(edit, row, 1);
    auto* choose = new QPushButton(QStringLiteral("..."), this);
    SetResourceId(choose, buttonId);
    choose->setAutoDefault(false);
    choose->setMaximumWidth(40);
    layout->addWidget(choose, row, 2);
    connect(choose, &QPushButton::clicked, this, [this, edit] { ChooseFile(edit); });
    return edit;
  };
  equalValueTable_ = addTableRow(0, "等值字符串表", 1023, 1028, stored.equalValueTable);
  noSortTable_ = addTableRow(1, "不排序字符串表", 1025, 1031, stored.noSortTable);

  auto addCheck = [&](int id, const char* caption) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), this);
    SetResourceId(box, id);
    return box;
  };
  caseSensitive_ = addCheck(1032, "大小写相关");
  widthSensitive_ = addCheck(1040, "全半角相关");
  countSpaces_ = addCheck(1038, "计空格");
  reverseOutput_ = addCheck(1045, "反序输出");
  filterDuplicates_ = addCheck(1047, "过滤重复");
  auto* checks = new QHBoxLayout;
  for (QCheckBox* box :
       {caseSensitive_, widthSensitive_, countSpaces_, reverseOutput_, filterDuplicates_}) {
    checks->addWidget(box);
  }
  layout->addLayout(checks, 2, 0, 1, 3);

  auto* start = new QPushButton(QStringLiteral("开始排序"), this);
  SetResourceId(start, 1);
  start->setDefault(true);
  auto* exit = new QPushButton(QStringLiteral("退出"), this);
  SetResourceId(exit, 2);
  exit->setAutoDefault(false);
  connect(start, &QPushButton::clicked, this,
          [this, start] { RunGuarded(this, texts_, start->text(), [this] { Start(); }); });
  connect(exit, &QPushButton::clicked, this, &SortDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(start);
  buttons->addWidget(exit);
  layout->addLayout(buttons, 3, 0, 1, 3);
}

SortOptions SortDialog::Options() const {
  SortOptions options;
  options.caseSensitive = caseSensitive_->isChecked();
  options.widthSensitive = widthSensitive_->isChecked();
  options.countSpaces = countSpaces_->isChecked();
  options.reverseOutput = reverseOutput_->isChecked();
  options.filterDuplicates = filterDuplicates_->isChecked();
  options.equalValueTablePath = PathFromQString(equalValueTable_->text());
  options.noSortTablePath = PathFromQString(noSortTable_->text());
  options.encoding = encoding_;
  options.language = texts_.CurrentLanguage();
  return options;
}

void SortDialog::ChooseFile(QLineEdit* target) {
  QString path = QFileDialog::getOpenFileName(
      this, QStringLiteral("选择文件"), QString(),
      FileDialogFilterFromText(QStringLiteral("TEXT文件(*.txt)|*.txt|所有文件(*.*)|*||")));
  if (!path.isEmpty()) target->setText(path);
}

bool SortDialog::TablesReadable() {
  for (QLineEdit* table : {equalValueTable_, noSortTable_}) {
    const std::string path = PathFromQString(table->text());
    if (path.empty()) continue;
    std::vector<strbatch::Message> problems;
    LoadSortTables(table == equalValueTable_ ? path : std::string(),
                   table == noSortTable_ ? path : std::string(), encoding_, &problems);
    if (problems.empty()) continue;
    std::string problem;
    for (const strbatch::Message& each : problems) {
      if (!problem.empty()) problem += '\n';
      problem += MessageText(texts_, each);
    }
    QMessageBox question(QMessageBox::Warning, Text(texts_, key::kImportantCaption),
                         QString::fromStdString(texts_.Message(key::kSortTableUnreadable, {path, problem})),
                         QMessageBox::Yes | QMessageBox::No, this);
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes) return false;
    table->clear();
    StoreTablePaths();
  }
  return true;
}

void SortDialog::Start() {
  if (!TablesReadable()) return;
  ProgressHost host(this, texts_, /*messagesArePaths=*/true);
  FileRewriter& rewriter = journal_ != nullptr ? *journal_ : DefaultFileRewriter();
  const CommandReport report =
      SortLines({rows_, Options(), autoBackup_, rewriter, journal_}, host);
  sorted_ = report.done;
  host.ReportWarnings();
  if (report.end != CommandEnd::kRefused) QDialog::accept();
}

void SortDialog::StoreTablePaths() {
  SortToolSettings settings;
  settings.equalValueTable = PathFromQString(equalValueTable_->text());
  settings.noSortTable = PathFromQString(noSortTable_->text());
  strbatch::Message error;
  if (!settingsPath_.empty() && !SaveSortToolSettings(settingsPath_, settings, &error)) {
    ShowMessage(this, texts_, key::kCannotWriteFile, key::kErrorCaption, QMessageBox::Ok,
                PathToQString(settingsPath_), QMessageBox::Warning);
  }
}

void SortDialog::reject() {
  StoreTablePaths();
  QDialog::reject();
}

}  // namespace strbatch
