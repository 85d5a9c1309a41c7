// The preview of a batch replace: the files with changes on the left, the
// changes of the selected file on the right, each with a check box, and a
// line counting files, changes and checked changes. A file's box follows its
// changes' (partly checked when some are; an office document's changes are
// checked all or none) and checks or unchecks them all when clicked. "Apply
// checked" writes each checked file with only its checked changes through
// the all-or-nothing rewrite (a file changed on disk since the preview is
// refused and listed among the warnings); "Close" writes nothing.
#ifndef STRBATCH_UI_PREVIEW_DIALOG_H_
#define STRBATCH_UI_PREVIEW_DIALOG_H_

#include <QDialog>
#include <cstdint>
#include <vector>

#include "base/safe_file.h"
#include "batch/replace_preview.h"
#include "config/language.h"
#include "journal/undo_journal.h"
#include "ui/preview_models.h"
#include "ui/progress_host.h"

class QLabel;
class QPushButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace strbatch {

class PreviewDialog : public QDialog {
  Q_OBJECT

 public:
  // preview and host must outlive the dialog; host takes the warnings of
  // the writing. autoBackup: a backup is made before each file is written.
  PreviewDialog(QWidget* owner, const LanguageCatalog& texts, const ReplacePreview& preview,
                ProgressHost& host, bool autoBackup);

  // Writes the checked changes of the checked files, then shows what was
  // written in the count column and the refusals in the warnings box.
  void ApplyChecked();
  // Per file of the preview: the changes written, or -1 where none were.
  const std::vector<int64_t>& Applied() const { return applied_; }

  // The change check boxes of file f (the one shown when f is selected).
  // A document's changes are set all together.
  void SetAccepted(size_t f, size_t k, bool accepted);
  bool Accepted(size_t f, size_t k) const { return accepted_[f][k]; }
  void SelectFile(size_t f);
  // Moves to the next (delta 1) or previous (-1) change, on into the next
  // or previous file; the change list then has the focus.
  void StepChange(int delta);
  void SetAllInFile(bool accepted);

  QTreeWidget* FileView() const { return fileView_; }
  QTreeView* ChangeView() const { return changeView_; }
  QPushButton* ApplyButton() const { return applyButton_; }
  QLabel* Summary() const { return summary_; }

  void SetFileRewriter(FileRewriter* rewriter) { rewriter_ = rewriter; }
  // Where the writing of the checked changes is journalled for undo (it
  // then writes through the journal).
  void SetJournal(UndoJournal* journal) {
    journal_ = journal;
    rewriter_ = journal;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowChanges(size_t f);
  // Sets changes first to last (inclusive) of file f, then what shows them.
  void SetRange(size_t f, size_t first, size_t last, bool accepted);
  void FileBoxToggled(QTreeWidgetItem* item);
  void ShowFileBox(size_t f);
  void ShowSummary();

  const LanguageCatalog& texts_;
  const ReplacePreview& preview_;
  ProgressHost& host_;
  bool autoBackup_;
  FileRewriter* rewriter_ = &DefaultFileRewriter();
  UndoJournal* journal_ = nullptr;
  std::vector<std::vector<bool>> accepted_;
  std::vector<size_t> checkedCount_;  // per file: its accepted changes
  size_t changeCount_ = 0;
  size_t checkedTotal_ = 0;
  std::vector<int64_t> applied_;
  QTreeWidget* fileView_;
  QTreeView* changeView_;
  ChangeListModel* changeModel_;
  QLabel* summary_;
  QPushButton* applyButton_;
  size_t shown_ = static_cast<size_t>(-1);  // the file whose changes are listed
  bool filling_ = false;                    // item changes are ours, not the user's
};

}  // namespace strbatch

#endif  // STRBATCH_UI_PREVIEW_DIALOG_H_
