// The settings dialog of the line sort tool: two table files (kept in the
// settings), five options, and the start button that sorts the lines of the
// checked files of the file list in place, with the progress window.
#ifndef STRBATCH_UI_SORT_DIALOG_H_
#define STRBATCH_UI_SORT_DIALOG_H_

#include <QDialog>
#include <string>
#include <vector>

#include "config/language.h"
#include "journal/undo_journal.h"
#include "sorttool/line_sort.h"

class QCheckBox;
class QLineEdit;

namespace strbatch {

class SortDialog : public QDialog {
  Q_OBJECT

 public:
  // rows: the file list as the tool sees it; settingsPath: where the two
  // table paths are kept; encoding: how the files are read.
  // journal: where the sort's changes are kept for undo (null: nowhere).
  // autoBackup: each file's backup is made before it is sorted.
  SortDialog(QWidget* owner, const LanguageCatalog& texts, std::vector<CheckedPath> rows,
             std::string settingsPath, EncodingSetting encoding = EncodingSetting::Gbk,
             UndoJournal* journal = nullptr, bool autoBackup = false);

  SortOptions Options() const;
  // The number of files the last start sorted.
  size_t SortedCount() const { return sorted_; }

 public slots:
  void reject() override;  // Exit: stores the two paths

 private:
  void Start();
  // A table that cannot be read would sort every file by the wrong rules:
  // for each, the user may clear its path (stored at once) and go on. False
  // when they would rather not.
  bool TablesReadable();
  void StoreTablePaths();
  void ChooseFile(QLineEdit* target);

  const LanguageCatalog& texts_;
  std::vector<CheckedPath> rows_;
  std::string settingsPath_;
  EncodingSetting encoding_;
  UndoJournal* journal_;
  bool autoBackup_;
  QLineEdit* equalValueTable_;
  QLineEdit* noSortTable_;
  QCheckBox* caseSensitive_;
  QCheckBox* widthSensitive_;
  QCheckBox* countSpaces_;
  QCheckBox* reverseOutput_;
  QCheckBox* filterDuplicates_;
  size_t sorted_ = 0;
};

}  // namespace strbatch

#endif  // STRBATCH_UI_SORT_DIALOG_H_
