// The dialog that edits one definition's find and replace strings, with
// line breaks and up to 64000 bytes each. Texts go in and out as code page
// bytes; an untouched field gives back exactly the bytes it was given.
#ifndef STRBATCH_UI_PAIR_EDIT_DIALOG_H_
#define STRBATCH_UI_PAIR_EDIT_DIALOG_H_

#include <QDialog>
#include <string>

#include "config/language.h"

class QPlainTextEdit;

namespace strbatch {

class PairEditDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr size_t kMaxBytes = 64000;

  PairEditDialog(QWidget* owner, const LanguageCatalog& texts, const std::string& find,
                 const std::string& replace);

  std::string Find() const { return find_; }
  std::string Replace() const { return replace_; }

 public slots:
  // Refuses texts over the limit with a message and stays open.
  void accept() override;

 private:
  const LanguageCatalog& texts_;
  QPlainTextEdit* findEdit_;
  QPlainTextEdit* replaceEdit_;
  std::string find_;
  std::string replace_;
};

}  // namespace strbatch

#endif  // STRBATCH_UI_PAIR_EDIT_DIALOG_H_
