#include "ui/main_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QCoreApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

#include <array>
#include <utility>

#include "config/language.h"
#include "config/message_text.h"
#include "config/settings.h"
#include "base/paths.h"
#include "batch/batch_driver.h"
#include "batch/replace_preview.h"
#include "commands/commands.h"
#include "config/text_keys.h"
#include "journal/undo.h"
#include "lists/definition_file.h"
#include "lists/folder_scan.h"
#include "office/office_bridge.h"
#include "ui/app_icon.h"
#include "ui/choice_dialog.h"
#include "ui/control_ids.h"
#include "ui/desktop_open.h"
#include "ui/editable_list_ctrl.h"
#include "ui/help_window.h"
#include "ui/list_models.h"
#include "ui/pair_edit_dialog.h"
#include "ui/preview_dialog.h"
#include "ui/slot_guard.h"
#include "ui/sort_dialog.h"
#include "ui/ui_text.h"
#include "ui/view_dialog.h"

namespace strbatch {
namespace {

// Row indices of the core's list commands (kNoRow for none) as view rows.
int ViewRow(size_t row) { return row == kNoRow ? -1 : static_cast<int>(row); }
size_t CoreRow(int row) { return row < 0 ? kNoRow : static_cast<size_t>(row); }

QString Caption(const char* utf8) { return QString::fromUtf8(utf8); }

// The choices of the encoding drop-down, in their order, with the key of
// each caption in section "dialog_main" and the caption used without one.
struct EncodingItem {
  EncodingSetting setting;
  const char* key;
  const char* caption;
};
constexpr EncodingItem kEncodingItems[] = {
    {EncodingSetting::Gbk, "ENCODING_GBK", "GBK"},
    {EncodingSetting::Auto, "ENCODING_AUTO", "自动识别"},
    {EncodingSetting::Big5, "ENCODING_BIG5", "BIG5"},
    {EncodingSetting::Utf8, "ENCODING_UTF8", "UTF-8"},
};

// The settings keys of the folders each file dialog last used.
constexpr const char* kAddFilesFolder = "AddFilesFolder";
constexpr const char* kAddFolderFolder = "AddFolderFolder";
constexpr const char* kImportFolder = "ImportFolder";
constexpr const char* kExportFolder = "ExportFolder";
constexpr const char* kFolderKeys[] = {kAddFilesFolder, kAddFolderFolder, kImportFolder,
                                       kExportFolder};

}  // namespace

MainWindow::MainWindow(const Options& options, std::string settingsPath)
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                           Qt::WindowCloseButtonHint),
      ProgressHost(this, texts_),
      options_(options),
      settingsPath_(std::move(settingsPath)) {
  // Where there is no private directory the journal cannot start, and each
  // command that changes files asks whether to go on without undo.
  ownJournal_ = MakeUndoJournal(settingsPath_, false, DefaultFileRewriter());
  journal_ = ownJournal_.get();
  texts_.SetLanguage(options_.language);
  ApplyToolkitLanguage();
  setWindowTitle(QStringLiteral("StrBatch"));
  setWindowIcon(AppIcon());
  fileModel_ = new FileListModel(files_, this);
  definitionModel_ = new DefinitionListModel(definitions_, this);
  BuildLayout();
  ConnectCommands();
  MembersToControls();

  fileView_->setModel(fileModel_);
  fileView_->SetColumnFractions(0.1, 0.8, 0.1);
  definitionView_->setModel(definitionModel_);
  definitionView_->SetTexts(&texts_);
  definitionView_->SetColumnFractions(0.45, 0.45, 0.1);
  const char* titleKeys[2][3] = {{key::kNumberColumn, key::kFileColumn, key::kHitsColumn},
                                 {key::kFindColumn, key::kReplaceWithColumn, key::kHitsColumn}};
  for (int c = 0; c < 3; c++) {
    fileModel_->setHeaderData(c, Qt::Horizontal, Text(texts_, titleKeys[0][c]));
    definitionModel_->setHeaderData(c, Qt::Horizontal, Text(texts_, titleKeys[1][c]));
  }

  std::vector<DefinitionRecord> carried;
  DefinitionFileError carriedError;
  std::string movedTo;
  const bool carriedLoaded = LoadCarriedDefinitions(&carried, &carriedError, &movedTo);
  definitionModel_->Change([&] { definitions_.AppendRecords(carried, true); });
  // The status line rather than a box: the window is not shown yet. A file
  // that could not be moved aside is kept from being saved over at exit.
  carriedBlocked_ = !carriedLoaded && movedTo.empty();

  ApplyWindowTexts();
  if (!carriedLoaded) {
    SetStatus([this, why = carriedError.message, movedTo] {
      const std::string reason = MessageText(texts_, why);
      return movedTo.empty() ? texts_.Message(key::kKeptDefinitionsRefused, {reason})
                             : texts_.Message(key::kKeptDefinitionsMovedAside, {reason, movedTo});
    });
  }
  fileView_->setTextElideMode(Qt::ElideMiddle);
  RestoreWindowState();
}

MainWindow::~MainWindow() = default;

void MainWindow::SetStatus(std::function<std::string()> render) {
  statusText_ = std::move(render);
  status_->setText(QString::fromStdString(statusText_()));
}

QString MainWindow::StatusText() const { return status_->text(); }

// The window's size and place, the lists' column widths and the folders of
// the file dialogs, as the last run left them.
void MainWindow::RestoreWindowState() {
  const QByteArray geometry =
      QByteArray::fromBase64(QByteArray::fromStdString(LoadWindowValue(settingsPath_, "Main")));
  if (!geometry.isEmpty()) restoreGeometry(geometry);
  for (auto [view, key] : {std::pair{fileView_, "FileColumns"},
                           std::pair{definitionView_, "DefinitionColumns"}}) {
    const QStringList parts =
        QString::fromStdString(LoadWindowValue(settingsPath_, key)).split(QLatin1Char(','));
    if (parts.size() != 3) continue;
    double fractions[3];
    bool ok = true;
    for (int i = 0; i < 3; i++) fractions[i] = parts[i].toDouble(&ok), ok = ok && fractions[i] > 0;
    if (ok) view->SetColumnFractions(fractions[0], fractions[1], fractions[2]);
  }
  for (const char* key : kFolderKeys) {
    const std::string folder = LoadWindowValue(settingsPath_, key);
    if (!folder.empty()) folders_[QString::fromLatin1(key)] = PathToQString(folder);
  }
}

void MainWindow::SaveWindowState() {
  std::vector<ProfileEntry> values;
  values.push_back({"Main", saveGeometry().toBase64().toStdString()});
  for (auto [view, key] : {std::pair{fileView_, "FileColumns"},
                           std::pair{definitionView_, "DefinitionColumns"}}) {
    const std::array<double, 3> fractions = view->ColumnFractions();
    values.push_back({key, QStringLiteral("%1,%2,%3")
                               .arg(fractions[0], 0, 'f', 4)
                               .arg(fractions[1], 0, 'f', 4)
                               .arg(fractions[2], 0, 'f', 4)
                               .toStdString()});
  }
  for (auto it = folders_.cbegin(); it != folders_.cend(); ++it) {
    values.push_back({it.key().toStdString(), PathFromQString(it.value())});
  }
  strbatch::Message error;
  // Losing the window's layout is no reason to bother the user at exit.
  SaveWindowValues(settingsPath_, values, &error);
}

QString MainWindow::LastFolder(const char* key) const {
  const QString folder = folders_.value(QString::fromLatin1(key));
  return folder.isEmpty() ? QDir::homePath() : folder;
}

void MainWindow::RememberFolder(const char* key, const QString& fileOrFolder, bool isFile) {
  folders_[QString::fromLatin1(key)] =
      isFile ? QFileInfo(fileOrFolder).absolutePath() : fileOrFolder;
}

QAbstractButton* MainWindow::AddControl(QAbstractButton* control, int id) {
  SetResourceId(control, id);
  buttons_.insert(id, control);
  return control;
}

void MainWindow::BuildLayout() {
  auto push = [this](int id, const char* caption) {
    return AddControl(new QPushButton(Caption(caption), this), id);
  };
  auto check = [this](int id, const char* caption) {
    return AddControl(new QCheckBox(Caption(caption), this), id);
  };
  auto radio = [this](int id, const char* caption) {
    return AddControl(new QRadioButton(Caption(caption), this), id);
  };
  // A framed list with its button column on the left.
  auto listFrame = [&](int frameId, const char* title, EditableListCtrl* view, int listId,
                       std::initializer_list<std::pair<int, const char*>> commands) {
    auto* frame = new QGroupBox(Caption(title), this);
    SetResourceId(frame, frameId);
    SetResourceId(view, listId);
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    for (const auto& [id, caption] : commands) {
      QAbstractButton* button = push(id, caption);
      button->setMinimumWidth(64);
      button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
      column->addWidget(button);
    }
    column->addStretch();
    auto* row = new QHBoxLayout(frame);
    row->addLayout(column);
    row->addWidget(view, 1);
    return frame;
  };

  fileView_ = new EditableListCtrl(false, this);
  definitionView_ = new EditableListCtrl(true, this);
  QGroupBox* fileFrame =
      listFrame(control::kFileFrame, "在下列勾选文件中（注意备份）", fileView_, 1012,
                {{control::kAddFiles, "添加"},
                 {control::kAddFolder, "目录\n添加"},
                 {control::kDeleteFile, "删除"},
                 {control::kClearFiles, "清空"},
                 {control::kViewFile, "查看"},
                 {control::kCheckAllFiles, "全选"},
                 {control::kInvertFiles, "反选"},
                 {control::kFileUp, "上移"},
                 {control::kFileDown, "下移"}});
  QGroupBox* definitionFrame =
      listFrame(control::kDefinitionFrame, "替换下列勾选串(双击修改)", definitionView_, 1013,
                {{control::kAddDefinition, "添加"},
                 {control::kEditDefinition, "编辑"},
                 {control::kDeleteDefinition, "删除"},
                 {control::kClearDefinitions, "清空"},
                 {control::kCheckAllDefinitions, "全选"},
                 {control::kInvertDefinitions, "反选"},
                 {control::kDefinitionUp, "上移"},
                 {control::kDefinitionDown, "下移"},
                 {control::kImport, "导入"},
                 {control::kExport, "导出"}});
  // What the last command did, under the lists.
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->setWordWrap(true);
  auto* left = new QVBoxLayout;
  // The file list takes most of what the window has beyond its smallest.
  left->addWidget(fileFrame, 3);
  left->addWidget(definitionFrame, 2);
  left->addWidget(status_);

  // The command column: unlabelled frames, and the conversion choice.
  auto frame = [this](std::initializer_list<QWidget*> controls, QGroupBox* box = nullptr) {
    if (!box) box = new QGroupBox(this);
    auto* column = new QVBoxLayout(box);
    column->setSpacing(3);
    column->setContentsMargins(6, 6, 6, 6);
    for (QWidget* control : controls) column->addWidget(control);
    return box;
  };
  languageGroup_ = new QButtonGroup(this);
  languageGroup_->addButton(radio(control::kChinese, "CHINESE(中文)"), 0);
  languageGroup_->addButton(radio(control::kEnglish, "ENGLISH(英文)"), 1);
  QAbstractButton* replace = push(control::kBatchReplace, "批量替换");
  auto* defaultButton = static_cast<QPushButton*>(replace);
  defaultButton->setDefault(true);
  altCodeGroup_ = new QButtonGroup(this);
  QAbstractButton* unchanged = radio(control::kNoConversion, "不变");
  unchanged->hide();
  altCodeGroup_->addButton(unchanged, AltCodeNumber(CodeConversion::None));
  altCodeGroup_->addButton(radio(control::kGbkToBig5, "简转繁(GBK2BIG)"),
                           AltCodeNumber(CodeConversion::GbkToBig5));
  altCodeGroup_->addButton(radio(control::kGbkToTraditional, "简转繁(GBK2GBK)"),
                           AltCodeNumber(CodeConversion::GbkToTraditional));
  altCodeGroup_->addButton(radio(control::kBig5ToGbk, "繁转简(BIG2GBK)"),
                           AltCodeNumber(CodeConversion::Big5ToGbk));
  altCodeGroup_->addButton(radio(control::kGbkToSimplified, "繁转简(GBK2GBK)"),
                           AltCodeNumber(CodeConversion::GbkToSimplified));
  altCodeGroup_->addButton(radio(control::kToUtf8, "转为UTF-8"),
                           AltCodeNumber(CodeConversion::ToUtf8));
  altCodeGroup_->addButton(radio(control::kUtf8ToGbk, "UTF-8转GBK"),
                           AltCodeNumber(CodeConversion::Utf8ToCodePage));
  auto* conversionFrame = new QGroupBox(this);
  SetResourceId(conversionFrame, control::kConversionFrame);
  QAbstractButton* sort = push(control::kSortLines, "按行排序");
  sort->hide();
  sort->setEnabled(false);

  // How files are read, beside the matching options.
  encodingChoice_ = new QComboBox(this);
  SetResourceId(encodingChoice_, control::kEncodingChoice);
  for (const EncodingItem& item : kEncodingItems) {
    encodingChoice_->addItem(Caption(item.caption), static_cast<int>(item.setting));
  }
  // The label names the drop-down for screen readers (their "labelled by").
  auto* encodingLabel = new QLabel(Caption("文件编码"), this);
  SetResourceId(encodingLabel, control::kEncodingLabel);
  encodingLabel->setBuddy(encodingChoice_);
  auto* encodingRow = new QWidget(this);
  auto* encodingLayout = new QHBoxLayout(encodingRow);
  encodingLayout->setContentsMargins(0, 0, 0, 0);
  encodingLayout->addWidget(encodingLabel);
  encodingLayout->addWidget(encodingChoice_, 1);

  auto* right = new QVBoxLayout;
  right->addWidget(frame({Button(control::kChinese), Button(control::kEnglish)}));
  previewButton_ = new QPushButton(this);
  previewButton_->setObjectName(QStringLiteral("previewReplace"));
  right->addWidget(frame(
      {replace, previewButton_, push(control::kBatchFind, "批量查找"),
       push(control::kBatchRename, "批量改名"),
       check(control::kAdvanced, "高级表达式"), check(control::kMatchCase, "区分大小写"),
       check(control::kReportAfterFind, "查找后输出替换串"),
       check(control::kAllParts, "搜索文档所有部分"), encodingRow}));
  right->addWidget(frame({check(control::kAutoBackup, "替换时自动备份"),
                          push(control::kRestoreBackups, "还原备份"),
                          push(control::kDeleteBackups, "清除备份"),
                          push(control::kUndoLastRun, "撤销上次运行")}));
  right->addWidget(frame(
      {push(control::kConvertCode, "内码替换"), unchanged, Button(control::kGbkToBig5),
       Button(control::kGbkToTraditional), Button(control::kBig5ToGbk),
       Button(control::kGbkToSimplified), Button(control::kToUtf8), Button(control::kUtf8ToGbk)},
      conversionFrame));
  right->addStretch();
  right->addWidget(sort);
  auto* lastRow = new QHBoxLayout;
  lastRow->setSpacing(3);
  lastRow->addWidget(push(control::kExit, "退出"));
  lastRow->addWidget(push(control::kHelp, "帮助"));
  right->addLayout(lastRow);
  auto* rightColumn = new QWidget;
  rightColumn->setLayout(right);
  right->setContentsMargins(0, 0, 0, 0);
  rightColumn->setFixedWidth(170);
  // In a window lower than the column, the column scrolls rather than
  // squeezing its buttons.
  auto* rightScroll = new QScrollArea(this);
  rightScroll->setObjectName(QStringLiteral("commandColumn"));
  rightScroll->setWidget(rightColumn);
  rightScroll->setWidgetResizable(true);
  rightScroll->setFrameShape(QFrame::NoFrame);
  rightScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  rightScroll->setFixedWidth(170 + style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  rightScroll->setMinimumHeight(120);

  auto* root = new QHBoxLayout(this);
  root->addLayout(left, 1);
  root->addWidget(rightScroll);
  // The layout gives the smallest size (half of a small screen's width
  // fits); the designed one is where the window starts.
  resize(900, 720);
  SetTabOrder();
}

// Tab follows the window as it reads: each list's buttons, then the list,
// then the command column from top to bottom.
void MainWindow::SetTabOrder() {
  std::vector<QWidget*> chain;
  auto add = [&](std::initializer_list<int> ids) {
    for (int id : ids) chain.push_back(Button(id));
  };
  add({control::kAddFiles, control::kAddFolder, control::kDeleteFile, control::kClearFiles,
       control::kViewFile, control::kCheckAllFiles, control::kInvertFiles, control::kFileUp,
       control::kFileDown});
  chain.push_back(fileView_);
  add({control::kAddDefinition, control::kEditDefinition, control::kDeleteDefinition,
       control::kClearDefinitions, control::kCheckAllDefinitions, control::kInvertDefinitions,
       control::kDefinitionUp, control::kDefinitionDown, control::kImport, control::kExport});
  chain.push_back(definitionView_);
  add({control::kChinese, control::kEnglish, control::kBatchReplace});
  chain.push_back(previewButton_);
  add({control::kBatchFind,
       control::kBatchRename, control::kAdvanced, control::kMatchCase,
       control::kReportAfterFind, control::kAllParts});
  chain.push_back(encodingChoice_);
  add({control::kAutoBackup, control::kRestoreBackups, control::kDeleteBackups,
       control::kUndoLastRun, control::kConvertCode, control::kGbkToBig5, control::kGbkToTraditional,
       control::kBig5ToGbk, control::kGbkToSimplified, control::kToUtf8, control::kUtf8ToGbk,
       control::kExit, control::kHelp});
  for (size_t i = 1; i < chain.size(); i++) setTabOrder(chain[i - 1], chain[i]);
}

void MainWindow::ConnectCommands() {
  // Every command runs inside the window's exception boundary.
  auto on = [this](int id, const std::function<void()>& handler) {
    connect(Button(id), &QAbstractButton::clicked, this,
            [this, id, handler] { Guarded(Button(id)->text(), handler); });
  };
  on(control::kAddFiles, [this] { AddFiles(); });
  on(control::kAddFolder, [this] { AddFolder(); });
  on(control::kDeleteFile, [this] { ChangeFiles([this](size_t s) { return files_.Delete(s); }); });
  on(control::kClearFiles, [this] {
    ChangeFiles([this](size_t) {
      files_.Clear();
      return kNoRow;
    });
  });
  on(control::kViewFile, [this] { ViewFiles(); });
  on(control::kCheckAllFiles, [this] {
    ChangeFiles([this](size_t s) {
      files_.CheckAll();
      return s;
    });
  });
  on(control::kInvertFiles, [this] {
    ChangeFiles([this](size_t s) {
      files_.InvertChecks();
      return s;
    });
  });
  on(control::kFileUp, [this] { ChangeFiles([this](size_t s) { return files_.MoveUp(s); }); });
  on(control::kFileDown, [this] { ChangeFiles([this](size_t s) { return files_.MoveDown(s); }); });
  connect(fileView_, &EditableListCtrl::rowDoubleClicked, this,
          [this] { Guarded(Button(control::kViewFile)->text(), [this] { ViewFiles(); }); });

  on(control::kAddDefinition, [this] { AddDefinition(); });
  on(control::kEditDefinition, [this] { EditDefinition(); });
  on(control::kDeleteDefinition,
     [this] { ChangeDefinitions([this](size_t s) { return definitions_.Delete(s); }); });
  on(control::kClearDefinitions, [this] {
    ChangeDefinitions([this](size_t) {
      definitions_.Clear();
      return kNoRow;
    });
  });
  on(control::kCheckAllDefinitions, [this] {
    ChangeDefinitions([this](size_t s) {
      definitions_.CheckAll();
      return s;
    });
  });
  on(control::kInvertDefinitions, [this] {
    ChangeDefinitions([this](size_t s) {
      definitions_.InvertChecks();
      return s;
    });
  });
  on(control::kDefinitionUp,
     [this] { ChangeDefinitions([this](size_t s) { return definitions_.MoveUp(s); }); });
  on(control::kDefinitionDown,
     [this] { ChangeDefinitions([this](size_t s) { return definitions_.MoveDown(s); }); });
  on(control::kImport, [this] { Import(); });
  on(control::kExport, [this] { Export(); });

  for (int command :
       {control::kBatchReplace, control::kBatchFind, control::kBatchRename, control::kConvertCode})
    on(command, [this, command] { RunBatchCommand(command); });
  connect(previewButton_, &QAbstractButton::clicked, this,
          [this] { Guarded(previewButton_->text(), [this] { PreviewReplace(); }); });
  on(control::kRestoreBackups, [this] { RunBackupCommand(true); });
  on(control::kDeleteBackups, [this] { RunBackupCommand(false); });
  on(control::kUndoLastRun, [this] { UndoLastRun(); });
  on(control::kSortLines, [this] { OpenSortTool(); });
  on(control::kExit, [this] { reject(); });
  on(control::kHelp, [this] { Help(); });
  connect(languageGroup_, &QButtonGroup::idClicked, this, [this](int id) { SwitchLanguage(id); });

  // The keyboard and the pointer reach the same commands as the buttons.
  connect(fileView_, &EditableListCtrl::deleteRequested, Button(control::kDeleteFile),
          &QAbstractButton::click);
  connect(definitionView_, &EditableListCtrl::deleteRequested,
          Button(control::kDeleteDefinition), &QAbstractButton::click);
  connect(fileView_, &EditableListCtrl::pathsDropped, this, [this](const QStringList& paths) {
    Guarded(Button(control::kAddFiles)->text(), [this, paths] { DropOnFiles(paths); });
  });
  connect(definitionView_, &EditableListCtrl::pathsDropped, this,
          [this](const QStringList& paths) {
            Guarded(Button(control::kImport)->text(), [this, paths] { DropOnDefinitions(paths); });
          });
  connect(fileView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    ShowListMenu(fileView_, at,
                 {control::kAddFiles, control::kAddFolder, control::kDeleteFile,
                  control::kClearFiles, control::kViewFile, control::kCheckAllFiles,
                  control::kInvertFiles, control::kFileUp, control::kFileDown},
                 true);
  });
  connect(definitionView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    ShowListMenu(definitionView_, at,
                 {control::kAddDefinition, control::kEditDefinition, control::kDeleteDefinition,
                  control::kClearDefinitions, control::kCheckAllDefinitions,
                  control::kInvertDefinitions, control::kDefinitionUp, control::kDefinitionDown,
                  control::kImport, control::kExport},
                 false);
  });
}

void MainWindow::MembersToControls() {
  Button(control::kMatchCase)->setChecked(options_.Case);
  Button(control::kAdvanced)->setChecked(options_.Advance);
  if (QAbstractButton* radio = altCodeGroup_->button(AltCodeNumber(options_.AltCode)))
    radio->setChecked(true);
  Button(control::kReportAfterFind)->setChecked(options_.reportOutput);
  Button(control::kAutoBackup)->setChecked(options_.autoBackup);
  Button(control::kAllParts)->setChecked(options_.allParts);
  if (QAbstractButton* radio = languageGroup_->button(static_cast<int>(options_.language)))
    radio->setChecked(true);
  encodingChoice_->setCurrentIndex(
      std::max(0, encodingChoice_->findData(static_cast<int>(options_.encoding))));
}

void MainWindow::ControlsToMembers() {
  options_.Case = Button(control::kMatchCase)->isChecked();
  options_.Advance = Button(control::kAdvanced)->isChecked();
  options_.AltCode = AltCodeFromNumber(altCodeGroup_->checkedId());
  options_.reportOutput = Button(control::kReportAfterFind)->isChecked();
  options_.autoBackup = Button(control::kAutoBackup)->isChecked();
  options_.allParts = Button(control::kAllParts)->isChecked();
  options_.language = static_cast<Language>(std::max(0, languageGroup_->checkedId()));
  options_.encoding = static_cast<EncodingSetting>(encodingChoice_->currentData().toInt());
}

// Qt's own texts (standard buttons, file dialogs) follow the interface
// language through Qt's translations.
void MainWindow::ApplyToolkitLanguage() {
  QCoreApplication::removeTranslator(&toolkitTexts_);
  if (options_.language != Language::Chinese) return;
  if (toolkitTexts_.isEmpty() &&
      !toolkitTexts_.load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return;
  }
  QCoreApplication::installTranslator(&toolkitTexts_);
}

void MainWindow::SwitchLanguage(int language) {
  options_.language = static_cast<Language>(language);
  texts_.SetLanguage(options_.language);
  ApplyToolkitLanguage();
  ApplyWindowTexts();
  if (help_) {
    // The guide of the language chosen is shown next time.
    const bool shown = help_->isVisible();
    help_->deleteLater();
    help_ = nullptr;
    if (shown) Help();
  }
}

void MainWindow::ApplyWindowTexts() {
  ApplyCaptions(this, texts_, "dialog_main");
  ApplyColumnTitles();
  ApplyEncodingCaptions();
  status_->setAccessibleName(Text(texts_, key::kStatusLineName));
  previewButton_->setText(Text(texts_, key::kPreviewButton));
  previewButton_->setAccessibleDescription(Text(texts_, key::kPreviewDescription));
  // The main commands have the same Alt keys in every language (captions
  // stay as the language files give them; screen readers tell the keys).
  const std::pair<QAbstractButton*, int> keys[] = {
      {Button(control::kBatchReplace), Qt::Key_R}, {previewButton_, Qt::Key_P},
      {Button(control::kBatchFind), Qt::Key_F},    {Button(control::kBatchRename), Qt::Key_N},
      {Button(control::kConvertCode), Qt::Key_C},  {Button(control::kUndoLastRun), Qt::Key_U}};
  for (const auto& [button, letter] : keys) button->setShortcut(QKeySequence(Qt::ALT | letter));
  if (statusText_) status_->setText(QString::fromStdString(statusText_()));
}

void MainWindow::ApplyEncodingCaptions() {
  int index = 0;
  for (const EncodingItem& item : kEncodingItems) {
    QString caption = FromCodePage(texts_.Value("dialog_main", item.key, kCaptionLimit));
    encodingChoice_->setItemText(index++, caption.isEmpty() ? Caption(item.caption) : caption);
  }
}

void MainWindow::ApplyColumnTitles() {
  const char* keys[2][3] = {{"FILELIST_COL1", "FILELIST_COL2", "FILELIST_COL3"},
                            {"STRLIST_COL1", "STRLIST_COL2", "STRLIST_COL3"}};
  ListModelBase* models[2] = {fileModel_, definitionModel_};
  for (int list = 0; list < 2; list++) {
    for (int c = 0; c < 3; c++) {
      QString title = FromCodePage(texts_.ColumnTitle(keys[list][c]));
      if (!title.isEmpty()) models[list]->setHeaderData(c, Qt::Horizontal, title);
    }
  }
}

bool MainWindow::ExitSteps() {
  if (exited_) return true;
  ControlsToMembers();
  texts_.SetLanguage(options_.language);
  strbatch::Message error;
  if (!carriedBlocked_ && !SaveCarriedDefinitions(definitions_.Records(), &error)) {
    // The list would be gone at the next start; the user should know.
    ShowMessage(this, texts_, key::kCannotWriteFile, key::kErrorCaption, QMessageBox::Ok,
                QStringLiteral("\n") + QString::fromStdString(MessageText(texts_, error)),
                QMessageBox::Warning);
  }
  SaveWindowState();
  exited_ = true;
  return true;
}

void MainWindow::reject() {
  if (ProgressHost::Progress()) return;  // a command is running
  if (ExitSteps()) QDialog::reject();
}

void MainWindow::BeforePump() {
  if (pendingRow_ >= 0) {
    fileView_->SelectRow(pendingRow_);
    pendingRow_ = -1;
  }
  fileModel_->Refresh();
  definitionModel_->Refresh();
}

// The row of the file at hand is shown when events are next handled, not
// for every file: selecting and scrolling costs more than a small file.
void MainWindow::SelectFileRow(size_t row) { pendingRow_ = ViewRow(row); }

void MainWindow::RejectDefinition(size_t row, const Message& message) {
  definitionView_->SelectRow(ViewRow(row));
  ProgressHost::RejectDefinition(row, message);
}

void MainWindow::OpenReport(const std::string& path) {
  // The report is GBK under the "gbk" setting and UTF-8 under the others.
  CDlgView viewer(this, texts_, path, {},
                  options_.encoding == EncodingSetting::Gbk ? EncodingSetting::Gbk
                                                            : EncodingSetting::Utf8);
  viewer.SetReadOnly();
  viewer.KeepSizeIn(settingsPath_);
  if (viewer.LoadViewerText()) viewer.exec();
}

void MainWindow::AddFiles() {
  QStringList chosen =
      QFileDialog::getOpenFileNames(this, QString(), LastFolder(kAddFilesFolder),
                                    FileDialogFilter(texts_, key::kFilesToAddFilter), nullptr,
                                    QFileDialog::HideNameFilterDetails);
  if (chosen.isEmpty()) return;
  RememberFolder(kAddFilesFolder, chosen.first(), true);
  std::vector<std::string> paths;
  for (const QString& path : chosen) paths.push_back(PathFromQString(path));
  AddFilePaths(paths);
}

void MainWindow::AddFilePaths(const std::vector<std::string>& chosen) {
  ChosenFiles files = CollectChosenFiles(chosen);
  if (files.limitReached) ShowMessage(this, texts_, key::kTooManyFiles, key::kFileListCaption);
  AppendFiles(files.paths);
}

void MainWindow::AppendFiles(const std::vector<std::string>& paths) {
  fileModel_->Change([&] {
    for (const std::string& path : paths) files_.Append(path, true);
  });
  SetStatus([this, added = std::to_string(paths.size())] {
    return texts_.Message(key::kFilesAdded, {added});
  });
}

void MainWindow::DropOnFiles(const QStringList& dropped) {
  if (Progress()) return;  // a command is running
  // Files in drop order; a folder is scanned as Add folder does, with the
  // patterns last used there.
  std::vector<std::string> paths;
  for (const QString& path : dropped) {
    if (QFileInfo(path).isDir()) {
      std::vector<std::string> found =
          ScanWithProgress(PathFromQString(path), lastPatterns_, lastRecursive_);
      paths.insert(paths.end(), found.begin(), found.end());
    } else {
      paths.push_back(PathFromQString(path));
    }
  }
  AppendFiles(paths);
  ReportWarnings();
}

void MainWindow::AddStartPaths(const QStringList& paths) {
  QStringList existing, missing;
  for (const QString& path : paths) {
    if (!QFileInfo::exists(path)) {
      missing << path;
    } else if (QFileInfo(path).isDir()) {
      // A folder named at start brings all its files, its subfolders' too.
      const std::string folder = PathFromQString(path);
      std::vector<std::string> found = ScanWithProgress(folder, QStringLiteral("*"), true);
      fileModel_->Change([&] {
        for (const std::string& file : found) files_.Append(file, true);
      });
      SetStatus([this, n = std::to_string(found.size()), folder] {
        return texts_.Message(key::kStartFolderAdded, {n, folder});
      });
      ReportWarnings();
    } else {
      existing << path;
    }
  }
  if (!existing.isEmpty()) DropOnFiles(existing);
  if (!missing.isEmpty()) {
    ShowMessageText(this, texts_,
                    Text(texts_, key::kMissingNotAdded) + QStringLiteral("\n") +
                        missing.join(QLatin1Char('\n')),
                    key::kErrorCaption, QMessageBox::Warning);
  }
}

void MainWindow::DropOnDefinitions(const QStringList& dropped) {
  if (Progress()) return;
  for (const QString& path : dropped) {
    if (QFileInfo(path).isFile()) ImportDefinitions(PathFromQString(path));
  }
}

void MainWindow::ShowListMenu(EditableListCtrl* view, const QPoint& at,
                              std::initializer_list<int> commands, bool withSortTool) {
  QMenu menu(this);
  for (int id : commands) {
    QAbstractButton* button = Button(id);
    QString caption = button->text();
    caption.replace(QLatin1Char('\n'), QString());
    menu.addAction(caption, button, &QAbstractButton::click);
  }
  if (withSortTool) {
    menu.addSeparator();
    const QString sortTool = FromCodePage(texts_.ControlCaption("dialog_main", control::kSortLines));
    menu.addAction(sortTool, this,
                   [this, sortTool] { Guarded(sortTool, [this] { OpenSortTool(); }); });
  }
  menu.exec(view->viewport()->mapToGlobal(at));
}

void MainWindow::AddFolder() {
  QString folder = QFileDialog::getExistingDirectory(this, Text(texts_, key::kChooseFolderTitle),
                                                     LastFolder(kAddFolderFolder));
  if (folder.isEmpty()) return;
  RememberFolder(kAddFolderFolder, folder, false);
  ChoiceDialog choice(
      this, texts_, Text(texts_, key::kAddFolderTitle), Text(texts_, key::kFileNamePatternsPrompt),
      QString(), QStringLiteral("*.txt"),
      {QStringLiteral("*.txt"), QStringLiteral("*.htm"), QStringLiteral("*.rtf;*.doc"),
       QStringLiteral("*.ppt"), QStringLiteral("*.xls")});
  if (choice.exec() != QDialog::Accepted || choice.Text().isEmpty()) return;
  const bool recursive = ShowMessage(this, texts_, key::kSearchSubfoldersQuestion,
                                     key::kFileListCaption, QMessageBox::Yes | QMessageBox::No,
                                     QString(), QMessageBox::Question) == QMessageBox::Yes;
  AddFolderFiles(PathFromQString(folder), choice.Text(), recursive);
}

void MainWindow::AddFolderFiles(const std::string& folder, const QString& patterns,
                                bool recursive) {
  lastPatterns_ = patterns;
  lastRecursive_ = recursive;
  AppendFiles(ScanWithProgress(folder, patterns, recursive));
  ReportWarnings();
}

// A long walk shows its progress and can be stopped; the window stays
// responsive meanwhile. A folder it cannot read is a warning, shown by the
// caller's ReportWarnings.
std::vector<std::string> MainWindow::ScanWithProgress(const std::string& folder,
                                                      const QString& patterns, bool recursive) {
  ShowProgress();
  const std::string prefix = texts_.Text(key::kLookingForFiles);
  std::vector<UnreadableFolder> unreadable;
  // Patterns are matched against file names, which are native bytes.
  std::vector<std::string> paths = CollectFolderFiles(
      folder, PathFromQString(patterns), recursive,
      [this, &prefix](size_t found) {
        SetMessage(prefix + std::to_string(found));
        return !CheckCancelled();
      },
      &unreadable);
  HideProgress();
  for (const UnreadableFolder& failure : unreadable) {
    Warn(failure.path, texts_.Message(key::kFolderNotRead, {OsErrorText(texts_, failure.osError)}));
  }
  return paths;
}

void MainWindow::ViewFiles() {
  const int row = fileView_->SelectedRow();
  if (row < 0) return;
  const size_t r = static_cast<size_t>(row);
  ControlsToMembers();
  ViewFile(this, texts_, files_.Row(r).path, files_.Row(r).matches, options_.encoding,
           settingsPath_);
}

// After an edit of a list the status line tells what the list holds now.
void MainWindow::ChangeFiles(const std::function<size_t(size_t)>& command) {
  size_t selected = CoreRow(fileView_->SelectedRow());
  fileModel_->Change([&] { selected = command(selected); });
  fileView_->SelectRow(ViewRow(selected));
  size_t checked = 0;
  for (size_t r = 0; r < files_.Size(); r++) checked += files_.Row(r).checked ? 1 : 0;
  SetStatus([this, n = std::to_string(files_.Size()), checked = std::to_string(checked)] {
    return texts_.Message(key::kFilesInList, {n, checked});
  });
}

void MainWindow::ChangeDefinitions(const std::function<size_t(size_t)>& command) {
  size_t selected = CoreRow(definitionView_->SelectedRow());
  definitionModel_->Change([&] { selected = command(selected); });
  definitionView_->SelectRow(ViewRow(selected));
  size_t checked = 0;
  for (size_t d = 0; d < definitions_.Size(); d++) checked += definitions_.Row(d).checked ? 1 : 0;
  SetStatus([this, n = std::to_string(definitions_.Size()), checked = std::to_string(checked)] {
    return texts_.Message(key::kDefinitionsInList, {n, checked});
  });
}

void MainWindow::AddDefinition() {
  size_t row = kNoRow;
  definitionModel_->Change([&] { row = definitions_.AddDefault(); });
  definitionView_->SelectRow(ViewRow(row));
  definitionView_->setFocus();
  definitionView_->EditCell(ViewRow(row), 0);
}

void MainWindow::EditDefinition() {
  const int row = definitionView_->SelectedRow();
  if (row < 0) return;
  const size_t r = static_cast<size_t>(row);
  PairEditDialog dialog(this, texts_, definitions_.Find(r), definitions_.Replace(r));
  if (dialog.exec() != QDialog::Accepted) return;
  definitionModel_->Change([&] { definitions_.SetTexts(r, dialog.Find(), dialog.Replace()); });
  definitionView_->SelectRow(row);
}

void MainWindow::Import() {
  QString path = QFileDialog::getOpenFileName(this, QString(), LastFolder(kImportFolder),
                                              FileDialogFilter(texts_, key::kDefinitionFileFilter),
                                              nullptr, QFileDialog::HideNameFilterDetails);
  if (path.isEmpty()) return;
  RememberFolder(kImportFolder, path, true);
  ImportDefinitions(PathFromQString(path));
}

void MainWindow::ImportDefinitions(const std::string& path) {
  std::vector<DefinitionRecord> records;
  size_t items = 0;
  DefinitionFileError error;
  if (!LoadDefinitionFile(path, &records, &error, &items)) {
    ShowMessageText(this, texts_,
                    QString::fromStdString(
                        texts_.Message(key::kDefinitionFileRefusedListUnchanged, {MessageText(texts_, error.message)})),
                    key::kErrorCaption, QMessageBox::Warning);
    return;
  }
  const size_t loaded = records.size();
  definitionModel_->Change([&] { definitions_.AppendRecords(records, true); });
  // An import that reads nothing, or less than the file holds, says so.
  if (loaded == 0) {
    ShowMessageText(this, texts_,
                    QString::fromStdString(texts_.Message(key::kNoDefinitionRead, {path})),
                    key::kErrorCaption, QMessageBox::Warning);
  } else if (loaded < items) {
    ShowMessageText(
        this, texts_,
        QString::fromStdString(texts_.Message(
            key::kSomeItemsNotLoaded, {std::to_string(loaded), std::to_string(items), path})),
        key::kErrorCaption, QMessageBox::Warning);
  }
  SetStatus([this, count = std::to_string(loaded)] {
    return texts_.Message(key::kDefinitionsImported, {count});
  });
}

void MainWindow::Export() {
  QFileDialog dialog(this, QString(), LastFolder(kExportFolder),
                     FileDialogFilter(texts_, key::kDefinitionFileFilter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("xml"));
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  RememberFolder(kExportFolder, dialog.selectedFiles().first(), true);
  ExportDefinitions(PathFromQString(dialog.selectedFiles().first()));
}

bool MainWindow::ExportDefinitions(const std::string& path) {
  strbatch::Message error;
  if (SaveDefinitionFile(path, definitions_.Records(), &error)) {
    SetStatus([this, count = std::to_string(definitions_.Size()), path] {
      return texts_.Message(key::kDefinitionsExported, {count, path});
    });
    return true;
  }
  ShowMessage(this, texts_, key::kCannotWriteFile, key::kErrorCaption, QMessageBox::Ok,
              PathToQString(path) + QStringLiteral("\n") +
                  QString::fromStdString(MessageText(texts_, error)),
              QMessageBox::Warning);
  return false;
}

// What a command that threw left behind: its progress window, lists that
// no longer show what they hold, warnings not yet shown.
void MainWindow::Guarded(const QString& command, const std::function<void()>& body) {
  RunGuarded(this, texts_, command, body, [this] {
    HideProgress();
    fileModel_->Refresh();
    definitionModel_->Refresh();
    ReportWarnings();
  });
}

void MainWindow::RunBatchCommand(int command) {
  ControlsToMembers();
  BatchRequest request{BatchCommand::kReplace, files_, definitions_, options_};
  switch (command) {
    case control::kBatchFind: request.command = BatchCommand::kFind; break;
    case control::kBatchRename: request.command = BatchCommand::kRename; break;
    case control::kConvertCode:
      request.command = BatchCommand::kConvert;
      request.conversion = options_.AltCode;
      break;
  }
  request.office = office_;
  request.journal = journal_;
  const CommandReport report = strbatch::RunBatchCommand(request, *this);
  TellFailure(report);
  ShowTouchedCounts(command != control::kConvertCode);
  fileModel_->Refresh();
  definitionModel_->Refresh();
  if (pendingRow_ >= 0) fileView_->SelectRow(std::exchange(pendingRow_, -1));
  TellRunResult(command, report);
  ReportWarnings();
}

// The counts a command leaves in the lists: a row it did not take part in
// (unchecked; every definition of a conversion) shows none rather than the
// zero the run starts every row with.
void MainWindow::ShowTouchedCounts(bool definitionsTookPart) {
  for (size_t r = 0; r < files_.Size(); r++) {
    if (!files_.Row(r).checked) files_.SetCount(r, std::nullopt);
  }
  for (size_t d = 0; d < definitions_.Size(); d++) {
    if (!definitionsTookPart || !definitions_.Row(d).checked) {
      definitions_.SetCount(d, std::nullopt);
    }
  }
}

// An office call that failed ended the run: its reason in a box.
void MainWindow::TellFailure(const CommandReport& report) {
  if (report.end != CommandEnd::kFailed) return;
  ShowMessage(this, texts_, key::kOfficeAutomationError, key::kErrorCaption, QMessageBox::Ok,
              QString::fromUtf8(MessageText(texts_, report.failure).c_str()), QMessageBox::Warning);
}

void MainWindow::PreviewReplace() {
  ControlsToMembers();
  // The preview counts into copies: the lists keep the last run's counts
  // until something is written.
  FileList files = files_;
  DefinitionList definitions = definitions_;
  ReplacePreview preview;
  const CommandReport report =
      ComputePreview({files, definitions, options_, office_}, preview, *this);
  TellFailure(report);
  if (pendingRow_ >= 0) fileView_->SelectRow(std::exchange(pendingRow_, -1));
  // Files that could not be read are told before the preview opens.
  ReportWarnings();
  if (report.end == CommandEnd::kStopped || report.end == CommandEnd::kFailed) {
    SetStatus([this, last = std::to_string(report.lastRow), rows = std::to_string(files_.Size())] {
      return texts_.Message(key::kStoppedAfterFile, {last, rows});
    });
    return;
  }
  if (report.end != CommandEnd::kFinished) {
    SetStatus([this] { return texts_.Message(key::kNothingChanged); });
    return;
  }
  if (preview.files().empty()) {
    SetStatus([this] { return texts_.Message(key::kReplaceWouldChangeNothing); });
    return;
  }
  PreviewDialog dialog(this, texts_, preview, *this, options_.autoBackup);
  dialog.SetJournal(journal_);
  dialog.exec();
  int64_t written = 0;
  size_t writtenFiles = 0;
  bool whole = true;  // every change of every file was written
  for (size_t f = 0; f < preview.files().size(); f++) {
    const int64_t applied = dialog.Applied()[f];
    const FilePreview& file = preview.files()[f];
    whole = whole && applied == static_cast<int64_t>(file.changes.size());
    if (applied < 0) continue;
    // A file written whole holds what the dry run counted in it; one written
    // in part, the changes that were written.
    files_.SetCount(file.row, applied == static_cast<int64_t>(file.changes.size())
                                  ? files.Row(file.row).count
                                  : std::optional<int64_t>(applied));
    written += applied;
    writtenFiles += applied > 0 ? 1 : 0;
  }
  if (!dialog.ApplyButton()->isEnabled()) {
    // The definitions' counts are the dry run's when it was written whole;
    // which definition made a change written alone cannot be told.
    for (size_t d = 0; d < definitions_.Size(); d++) {
      definitions_.SetCount(d, whole && definitions_.Row(d).checked ? definitions.Row(d).count
                                                                     : std::nullopt);
    }
    for (size_t r = 0; r < files_.Size(); r++) {
      if (!files_.Row(r).checked) files_.SetCount(r, std::nullopt);
    }
    definitionModel_->Refresh();
  }
  fileModel_->Refresh();
  if (dialog.ApplyButton()->isEnabled()) {
    SetStatus([this] { return texts_.Message(key::kPreviewClosedNothingWritten); });
  } else {
    SetStatus([this, n = std::to_string(written), files = std::to_string(writtenFiles)] {
      return texts_.Message(key::kChangesWritten, {n, files});
    });
  }
}

// The status line after a batch command: what it did, in numbers.
void MainWindow::TellRunResult(int command, const CommandReport& report) {
  const char* text = key::kNothingChanged;
  std::vector<std::string> args;
  const size_t failed = report.WarnedFiles();
  switch (report.end) {
    case CommandEnd::kRejected:
    case CommandEnd::kRefused:
      break;
    case CommandEnd::kStopped:
    case CommandEnd::kFailed:
      text = key::kStoppedAfterFile;
      args = {std::to_string(report.lastRow), std::to_string(report.rows)};
      break;
    case CommandEnd::kFinished: {
      const std::string n = std::to_string(report.occurrences);
      const std::string files = std::to_string(report.filesHit);
      const size_t checked = report.checked;
      const std::string of = std::to_string(checked);
      switch (command) {
        case control::kBatchReplace:
          text = key::kOccurrencesReplaced;
          args = {n, files, of};
          break;
        case control::kBatchFind:
          text = key::kOccurrencesFound;
          args = {n, files, of};
          break;
        case control::kBatchRename:
          text = key::kFilesRenamed;
          args = {std::to_string(report.done), of};
          break;
        default:
          text = key::kFilesConverted;
          args = {std::to_string(checked - std::min(checked, failed)), of};
          break;
      }
      break;
    }
  }
  const size_t notProcessed = report.end != CommandEnd::kRejected ? failed : 0;
  SetStatus([this, text, args, notProcessed] {
    std::string line = texts_.Message(text, args);
    if (notProcessed > 0) {
      line += texts_.Message(key::kFilesNotProcessedSuffix, {std::to_string(notProcessed)});
    }
    return line;
  });
}

void MainWindow::RunBackupCommand(bool restore) {
  const CommandReport report = strbatch::RunBackupCommand(
      {restore, files_.CheckedPaths(), *journal_, journal_, texts_}, *this);
  if (restore && report.end != CommandEnd::kRefused) {
    // The files restored no longer hold what was counted in them, and the
    // definitions' counts were made over them.
    for (size_t r = 0; r < files_.Size(); r++) {
      if (files_.Row(r).checked) files_.SetCount(r, std::nullopt);
    }
    for (size_t d = 0; d < definitions_.Size(); d++) definitions_.SetCount(d, std::nullopt);
    fileModel_->Refresh();
    definitionModel_->Refresh();
  }
  if (report.end == CommandEnd::kRefused) {
    SetStatus([this] { return texts_.Message(key::kNothingChanged); });
    ReportWarnings();
    return;
  }
  SetStatus([this, restore, done = std::to_string(report.done), warned = WarnedFiles()] {
    std::string line =
        texts_.Message(restore ? key::kBackupsRestored : key::kBackupsDeleted, {done});
    if (warned > 0) line += texts_.Message(key::kFilesNotProcessedSuffix, {std::to_string(warned)});
    return line;
  });
  ReportWarnings();
}

void MainWindow::UndoLastRun() {
  UndoOutcome outcome;
  Undo(*journal_, "", *this, &outcome);
  // The rows of files an undone rename moved follow them back.
  fileModel_->Change([&] {
    for (const auto& [from, to] : outcome.movedBack) {
      for (size_t r = 0; r < files_.Size(); r++) {
        if (files_.Row(r).path == from) files_.SetPath(r, to);
      }
    }
  });
  switch (outcome.end) {
    case UndoOutcome::End::kNoRun:
    case UndoOutcome::End::kBadRun: SetStatus([this] { return texts_.Message(key::kNoRunToUndo); }); break;
    case UndoOutcome::End::kRefused: SetStatus([this] { return texts_.Message(key::kNothingChanged); }); break;
    case UndoOutcome::End::kDone:
      SetStatus([this, n = std::to_string(outcome.restored)] {
        return texts_.Message(key::kFilesTakenBack, {n});
      });
      break;
    case UndoOutcome::End::kPartly:
      SetStatus([this, n = std::to_string(outcome.restored), left = std::to_string(outcome.refused)] {
        return texts_.Message(key::kFilesTakenBackSomeLeft, {n, left});
      });
      break;
  }
  ReportWarnings();
}

void MainWindow::OpenSortTool() {
  ControlsToMembers();
  SortDialog dialog(this, texts_, files_.CheckedPaths(), settingsPath_, options_.encoding,
                    journal_, options_.autoBackup);
  if (dialog.exec() == QDialog::Accepted) {
    SetStatus([this, n = std::to_string(dialog.SortedCount())] {
      return texts_.Message(key::kFilesSorted, {n});
    });
  }
}

void MainWindow::Help() {
  std::string path;
  const Language language = static_cast<Language>(std::max(0, languageGroup_->checkedId()));
  if (!FindHelpFile(language, &path)) {
    // Told with the path where the page was looked for.
    OpenWithDesktop(this, texts_, path);
    return;
  }
  // The page's own path, without the ".." of an installed program's data.
  const QString page = QFileInfo(PathToQString(path)).canonicalFilePath();
  if (!page.isEmpty()) path = PathFromQString(page);
  if (!help_) help_ = new HelpWindow(this, texts_);
  help_->ShowPage(path);
  help_->show();
  help_->raise();
  help_->activateWindow();
}

}  // namespace strbatch
