// The boundary between the core's byte strings and Qt's QString, and the
// interface texts of the language files as the windows use them: captions
// applied by resource id, message boxes by text and caption key, file
// dialog filters.
#ifndef STRBATCH_UI_UI_TEXT_H_
#define STRBATCH_UI_UI_TEXT_H_

#include <QMessageBox>
#include <QString>
#include <string>

#include "config/language.h"

class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace strbatch {

// Code page bytes (definitions, language texts) to and from Qt text. A
// character the code page cannot hold becomes "?".
QString FromCodePage(const std::string& bytes);
std::string ToCodePage(const QString& text);

// File paths are native bytes (UTF-8 normally), not code page text.
QString PathToQString(const std::string& path);
std::string PathFromQString(const QString& path);

// The text of a key of section "string" as Qt text.
QString Text(const LanguageCatalog& texts, const char* key);

// Every control carries its numeric resource id in this property.
inline constexpr const char* kResourceIdProperty = "resourceId";
void SetResourceId(QWidget* control, int id);
int ResourceIdOf(const QWidget* control);  // 0 when it has none

// Sets the caption of a button, label, check box, radio button or group box.
void SetControlCaption(QWidget* control, const QString& caption);

// "caption" of the section becomes the window title, and each control of the
// dialog (not of other windows it owns) takes its caption from its id's key.
// Empty values leave what is there.
void ApplyCaptions(QWidget* dialog, const LanguageCatalog& texts, const char* section);

// A message box whose text and caption come from the language file; detail
// is appended to the text (a path, a number). Gives the button pressed.
// A question that overwrites the user's data passes QMessageBox::No as
// defaultButton, so that Enter never destroys anything.
QMessageBox::StandardButton ShowMessage(
    QWidget* parent, const LanguageCatalog& texts, const char* textKey, const char* captionKey,
    QMessageBox::StandardButtons buttons = QMessageBox::Ok, const QString& detail = QString(),
    QMessageBox::Icon icon = QMessageBox::Information,
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// Keeps a text field to characters the process code page holds: an edit
// that brings in one it cannot hold is undone (the field keeps what it had
// before) and a message names the character. texts must outlive the field.
void RefuseCharactersNotHeld(QLineEdit* field, const LanguageCatalog& texts);
void RefuseCharactersNotHeld(QPlainTextEdit* field, const LanguageCatalog& texts);

// A message box with a text made by the caller and a caption key.
void ShowMessageText(QWidget* parent, const LanguageCatalog& texts, const QString& text,
                     const char* captionKey, QMessageBox::Icon icon);

// A language text in the "description|pattern|...||" notation turned into a
// QFileDialog filter ("description (patterns);;...").
QString FileDialogFilter(const LanguageCatalog& texts, const char* key);
QString FileDialogFilterFromText(const QString& text);

}  // namespace strbatch

#endif  // STRBATCH_UI_UI_TEXT_H_
