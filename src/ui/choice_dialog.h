// A small input dialog: a prompt, a second label and a drop-down with an
// edit field offering fixed choices. The caller's title and labels win
// over the language file.
#ifndef STRBATCH_UI_CHOICE_DIALOG_H_
#define STRBATCH_UI_CHOICE_DIALOG_H_

#include <QDialog>
#include <QStringList>

#include "config/language.h"

class QComboBox;
class QLabel;

namespace strbatch {

class ChoiceDialog : public QDialog {
  Q_OBJECT

 public:
  ChoiceDialog(QWidget* owner, const LanguageCatalog& texts, const QString& title,
               const QString& prompt,
               const QString& secondLabel, const QString& initialText,
               const QStringList& choices);

  // The text of the drop-down's edit field.
  QString Text() const;

 private:
  QComboBox* choice_;
};

}  // namespace strbatch

#endif  // STRBATCH_UI_CHOICE_DIALOG_H_
