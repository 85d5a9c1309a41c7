// The preview of a batch replace: the files with changes on the left, the
// changes of the selected file on the right, each with a check box. "Apply
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
#include "ui/progress_host.h"

class QPushButton;
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
  void SetAccepted(size_t f, size_t k, bool accepted);
  bool Accepted(size_t f, size_t k) const { return accepted_[f][k]; }
  void SelectFile(size_t f);
  // Moves to the next (delta 1) or previous (-1) change, on into the next
  // or previous file.
  void StepChange(int delta);
  void SetAllInFile(bool accepted);

  QTreeWidget* FileView() const { return fileView_; }
  QTreeWidget* ChangeView() const { return changeView_; }
  QPushButton* ApplyButton() const { return applyButton_; }

  void SetFileRewriter(FileRewriter* rewriter) { rewriter_ = rewriter; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowChanges(size_t f);
  void ChangeToggled(QTreeWidgetItem* item);
  size_t CurrentFile() const;

  const LanguageCatalog& texts_;
  const ReplacePreview& preview_;
  ProgressHost& host_;
  bool autoBackup_;
  FileRewriter* rewriter_ = &DefaultFileRewriter();
  std::vector<std::vector<bool>> accepted_;
  std::vector<int64_t> applied_;
  QTreeWidget* fileView_;
  QTreeWidget* changeView_;
  QPushButton* applyButton_;
  size_t shown_ = static_cast<size_t>(-1);  // the file whose changes are listed
  bool filling_ = false;                    // item changes are ours, not the user's
};

}  // namespace strbatch

#endif  // STRBATCH_UI_PREVIEW_DIALOG_H_
