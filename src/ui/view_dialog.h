// The file viewer: a found file shown with every occurrence of the last
// batch find coloured blue, next/previous string, and saving the edited
// text all-or-nothing in the file's own encoding. A file whose bytes the
// text control cannot show faithfully is saved only when the user agrees.
#ifndef STRBATCH_UI_VIEW_DIALOG_H_
#define STRBATCH_UI_VIEW_DIALOG_H_

#include <QDialog>
#include <QTextCharFormat>
#include <string>
#include <vector>

#include "config/language.h"
#include "base/safe_file.h"
#include "base/text_encoding.h"
#include "viewer/viewer_text.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace strbatch {

class CDlgView : public QDialog {
  Q_OBJECT

 public:
  // matches: the row's occurrences (byte offsets in the file); encoding:
  // how the file is read and saved.
  CDlgView(QWidget* owner, const LanguageCatalog& texts, const std::string& path,
           const std::vector<MatchSpan>& matches,
           EncodingSetting encoding = EncodingSetting::Gbk);

  // Reads the file and fills the text control; false when the file could
  // not be read (the viewer then shows nothing and does not save).
  bool LoadViewerText();

  // Selects span k, clamped to the spans there are.
  void ShowMatch(long k);
  // Writes the text back; false when nothing was written.
  bool SaveViewerText();
  // Shows the file without a way to change it (the find report).
  void SetReadOnly();
  // Opens at the size the viewer was last closed at, and keeps its size
  // there when closed.
  void KeepSizeIn(const std::string& settingsPath);
  // The text beside the buttons that says which occurrence is shown.
  QString PositionText() const;
  bool ReadOnly() const { return readOnly_; }

  void SetFileRewriter(FileRewriter* rewriter) { rewriter_ = rewriter; }

  const std::vector<ViewerSpan>& Spans() const { return spans_; }
  long CurrentIndex() const { return currentIndex_; }
  QPlainTextEdit* TextControl() const { return text_; }
  // True when saving the unedited text would write the file's own bytes
  // (line ends aside).
  bool ShowsFileFaithfully() const { return faithful_; }
  // The encoding the file was read in.
  FileEncoding Encoding() const { return file_.Encoding(); }

 protected:
  void done(int result) override;

 private:
  void ShowPosition();
  // The control's lines as UTF-8.
  std::vector<std::string> CurrentLines() const;

  const LanguageCatalog& texts_;
  std::string path_;
  EncodingSetting encoding_;
  ViewerFile file_;
  std::vector<ViewerSpan> spans_;
  long currentIndex_ = -1;
  int mode_ = 0;  // 1 when the control holds the file's text
  bool faithful_ = true;
  QPlainTextEdit* text_;
  QPushButton* save_;
  QLabel* position_;
  bool readOnly_ = false;
  std::string settingsPath_;
  QTextCharFormat highlightFormat_;
  FileRewriter* rewriter_ = &DefaultFileRewriter();
};

// The view command for one file row: the viewer for a text file with a
// match list, the desktop's opener for everything else.
void ViewFile(QWidget* owner, const LanguageCatalog& texts, const std::string& path,
              const std::vector<MatchSpan>& matches, EncodingSetting encoding,
              const std::string& settingsPath);

}  // namespace strbatch

#endif  // STRBATCH_UI_VIEW_DIALOG_H_
