// The main window: the file list and the definition list with their button
// columns, the batch commands and options on the right. It presents the core
// lists through table models and runs every command through the core; as
// the batch host it shows the progress window and the confirmation.
#ifndef STRBATCH_UI_MAIN_WINDOW_H_
#define STRBATCH_UI_MAIN_WINDOW_H_

#include <QDialog>
#include <QHash>
#include <QTranslator>
#include <QStringList>
#include <initializer_list>
#include <functional>
#include <memory>
#include <string>

#include "config/language.h"
#include "config/settings.h"
#include "journal/undo_journal.h"
#include "lists/definition_list.h"
#include "lists/file_list.h"
#include "ui/progress_host.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;

namespace strbatch {

class HelpWindow;

class BatchRunner;
struct CommandReport;
class DefinitionListModel;
class EditableListCtrl;
class FileListModel;
class OfficeBridge;

class MainWindow : public QDialog, public ProgressHost {
  Q_OBJECT

 public:
  // options: the process-wide options read from the settings at start-up.
  // settingsPath: the settings file, where the undo limits, the window's
  // layout and the line sort tool's table paths are kept.
  MainWindow(const Options& options, std::string settingsPath);
  ~MainWindow() override;

  // The options as the exit steps left them, for the settings file.
  const strbatch::Options& CurrentOptions() const { return options_; }
  // The interface texts in the window's current language.
  const LanguageCatalog& Texts() const { return texts_; }

  FileList& Files() { return files_; }
  DefinitionList& Definitions() { return definitions_; }
  EditableListCtrl* FileView() const { return fileView_; }
  EditableListCtrl* DefinitionView() const { return definitionView_; }
  FileListModel* FileModel() const { return fileModel_; }
  DefinitionListModel* DefinitionModel() const { return definitionModel_; }

  // Files and folders named when the program is started (a file manager's
  // "open with"), added as a drop on the file list adds them; paths that
  // do not exist are named in a warning and left out.
  void AddStartPaths(const QStringList& paths);

  // Where office documents go during a batch; none: they yield no text.
  void SetOfficeBridge(OfficeBridge* bridge) { office_ = bridge; }
  // Where every command that changes files keeps its journal for undo;
  // without one the window keeps its own, in the private directory.
  void SetJournal(UndoJournal* journal) { journal_ = journal; }
  UndoJournal& Journal() { return *journal_; }

  // Every control of the window by its resource id.
  QAbstractButton* Control(int id) const { return Button(id); }
  // "Preview replace": its caption is a message of the language file.
  QAbstractButton* PreviewButton() const { return previewButton_; }
  // The drop-down of the Encoding setting; each item's data is an
  // EncodingSetting.
  QComboBox* EncodingChoice() const { return encodingChoice_; }

  // Commands that take their input from dialogs, callable with that input.
  void AddFilePaths(const std::vector<std::string>& chosen);
  void AddFolderFiles(const std::string& folder, const QString& patterns, bool recursive);
  void ImportDefinitions(const std::string& path);
  bool ExportDefinitions(const std::string& path);

  // Captions, column titles and accessible texts in the interface language.
  void ApplyWindowTexts();
  // Column titles from the language file ("dialog_main" keys).
  void ApplyColumnTitles();
  // The items of the encoding drop-down from the language file.
  void ApplyEncodingCaptions();
  // Tab follows the window as it reads.
  void SetTabOrder();

  // The status line: what the last command did, made again whenever the
  // language changes (render gives it in the current language).
  void SetStatus(std::function<std::string()> render);
  QString StatusText() const;

  // BatchHost: the rest comes from ProgressHost.
  void SelectFileRow(size_t row) override;
  // Selects the definition's row before the message.
  void RejectDefinition(size_t row, const Message& message) override;
  void OpenReport(const std::string& path) override;

 public slots:
  // Exit (button 2, Escape, the close box): the definition list is saved
  // and the options are kept for the settings file.
  void reject() override;

 protected:
  void BeforePump() override;

 private:
  // Blanks the counts of rows the last command took no part in.
  void ShowTouchedCounts(bool definitionsTookPart);
  void BuildLayout();
  void ConnectCommands();
  QAbstractButton* Button(int id) const { return buttons_.value(id); }
  QAbstractButton* AddControl(QAbstractButton* control, int id);
  void MembersToControls();
  void ControlsToMembers();
  void SwitchLanguage(int language);
  void ApplyToolkitLanguage();
  bool ExitSteps();

  // File list commands.
  void AddFiles();
  void AddFolder();
  void AppendFiles(const std::vector<std::string>& paths);
  std::vector<std::string> ScanWithProgress(const std::string& folder, const QString& patterns,
                                            bool recursive);
  void DropOnFiles(const QStringList& paths);
  void DropOnDefinitions(const QStringList& paths);
  // The list commands (and, for the file list, the sort tool) as a menu.
  void ShowListMenu(EditableListCtrl* view, const QPoint& at, std::initializer_list<int> commands,
                    bool withSortTool);
  void ViewFiles();
  void ChangeFiles(const std::function<size_t(size_t)>& command);
  // Definition list commands.
  void AddDefinition();
  void EditDefinition();
  void ChangeDefinitions(const std::function<size_t(size_t)>& command);
  void Import();
  void Export();
  // Runs a command's body inside the window's exception boundary.
  void Guarded(const QString& command, const std::function<void()>& body);
  // Batch commands.
  void RunBatchCommand(int command);
  // Computes the replace without writing and opens the preview dialog.
  void PreviewReplace();
  void RunBackupCommand(bool restore);
  void UndoLastRun();
  void TellRunResult(int command, const CommandReport& report);
  void TellFailure(const CommandReport& report);
  // The window's geometry, column widths and dialog folders in the settings.
  void RestoreWindowState();
  void SaveWindowState();
  QString LastFolder(const char* key) const;
  void RememberFolder(const char* key, const QString& fileOrFolder, bool isFile);
  void OpenSortTool();
  void Help();

  Options options_;
  // The interface texts of the window's language; its dialogs, questions
  // and batch host read them here.
  LanguageCatalog texts_;
  QTranslator toolkitTexts_;
  std::string settingsPath_;
  bool exited_ = false;
  // The carried definition file was refused and is still in its place.
  bool carriedBlocked_ = false;
  FileList files_;
  DefinitionList definitions_;
  FileListModel* fileModel_;
  DefinitionListModel* definitionModel_;
  EditableListCtrl* fileView_;
  EditableListCtrl* definitionView_;
  OfficeBridge* office_ = nullptr;
  std::unique_ptr<UndoJournal> ownJournal_;
  UndoJournal* journal_;
  QHash<int, QAbstractButton*> buttons_;
  QButtonGroup* altCodeGroup_;
  QButtonGroup* languageGroup_;
  QComboBox* encodingChoice_;
  QAbstractButton* previewButton_;
  QLabel* status_;
  std::function<std::string()> statusText_;
  HelpWindow* help_ = nullptr;  // made at the first Help, kept open beside the window
  int pendingRow_ = -1;  // the file row to select at the next event pump
  QString lastPatterns_ = QStringLiteral("*.txt");  // of the last Add folder, for drops
  bool lastRecursive_ = false;
  QHash<QString, QString> folders_;  // the folder last used, per file dialog
};

}  // namespace strbatch

#endif  // STRBATCH_UI_MAIN_WINDOW_H_
