#include "ui/ui_text.h"

#include <QAbstractButton>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <QTimer>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>

#include "base/code_page.h"
#include "config/language.h"
#include "config/text_keys.h"

namespace strbatch {

QString FromCodePage(const std::string& bytes) {
  std::string utf8;
  CodePage::Process().ToUtf8(bytes, &utf8);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToCodePage(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  std::string bytes;
  CodePage::Process().FromUtf8(std::string_view(utf8.constData(), utf8.size()), &bytes);
  return bytes;
}

QString PathToQString(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::string PathFromQString(const QString& path) {
  QByteArray bytes = QFile::encodeName(path);
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString Text(const LanguageCatalog& texts, const char* key) {
  return FromCodePage(texts.Text(key));
}

void SetResourceId(QWidget* control, int id) {
  control->setProperty(kResourceIdProperty, id);
  control->setObjectName(QString::number(id));
}

int ResourceIdOf(const QWidget* control) {
  QVariant id = control->property(kResourceIdProperty);
  return id.isValid() ? id.toInt() : 0;
}

void SetControlCaption(QWidget* control, const QString& caption) {
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(caption);
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(caption);
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    group->setTitle(caption);
  }
}

namespace {

// The text a control shows, as a screen reader should say it: one line,
// without the mnemonic marks.
QString SpokenCaption(const QWidget* control) {
  QString text;
  if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
    text = button->text();
  } else if (const auto* label = qobject_cast<const QLabel*>(control)) {
    text = label->text();
  } else if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
    text = group->title();
  }
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  text.remove(QLatin1Char('&'));
  return text.simplified();
}

// Descriptions are long sentences; captions are cut shorter.
constexpr size_t kDescriptionLimit = 1024;

}  // namespace

void ApplyCaptions(QWidget* dialog, const LanguageCatalog& texts, const char* section) {
  QString title = FromCodePage(texts.DialogCaption(section));
  if (!title.isEmpty()) dialog->setWindowTitle(title);
  // What screen readers and automation read: the caption as name (a control
  // without one of its own, such as a list, takes its key's text) and a
  // sentence from the section's "_description" twin.
  const std::string descriptions = std::string(section) + "_description";
  // Controls sit inside layouts and group boxes; windows that the dialog
  // owns (a progress window, a message box) caption themselves.
  std::function<void(QWidget*)> walk = [&](QWidget* parent) {
    for (QObject* child : parent->children()) {
      auto* widget = qobject_cast<QWidget*>(child);
      if (!widget || widget->isWindow()) continue;
      if (int id = ResourceIdOf(widget); id != 0) {
        QString caption = FromCodePage(texts.ControlCaption(section, id));
        if (!caption.isEmpty()) SetControlCaption(widget, caption);
        QString name = SpokenCaption(widget);
        if (name.isEmpty()) name = caption.simplified();
        if (!name.isEmpty()) widget->setAccessibleName(name);
        widget->setAccessibleDescription(
            FromCodePage(texts.Value(descriptions, std::to_string(id), kDescriptionLimit)));
      }
      walk(widget);
    }
  };
  walk(dialog);
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, const LanguageCatalog& texts,
                                        const char* textKey, const char* captionKey,
                                        QMessageBox::StandardButtons buttons,
                                        const QString& detail, QMessageBox::Icon icon,
                                        QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, Text(texts, captionKey), Text(texts, textKey) + detail, buttons, parent);
  if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

namespace {

// The first character of text the process code page cannot hold, if any.
bool CharacterNotHeld(const QString& text, QString* character) {
  const QByteArray utf8 = text.toUtf8();
  std::string bad;
  if (!CodePage::Process().FirstCharacterNotHeld(std::string_view(utf8.constData(), utf8.size()),
                                                 &bad)) {
    return false;
  }
  *character = QString::fromUtf8(bad.data(), static_cast<qsizetype>(bad.size()));
  return true;
}

// Tells, once the edit that brought it in is over, which character was
// refused.
void TellRefused(QWidget* field, const LanguageCatalog& texts, const QString& character) {
  const QByteArray utf8 = character.toUtf8();
  const QString text = QString::fromUtf8(
      texts
          .Message(key::kCharacterNotHeldInField,
                   {std::string(utf8.constData(), utf8.size()),
                    CodePointName(std::string_view(utf8.constData(), utf8.size())),
                    CodePage::Process().Name()})
          .c_str());
  QPointer<QWidget> owner(field);
  QTimer::singleShot(0, field, [owner, &texts, text] {
    if (owner) ShowMessageText(owner, texts, text, key::kErrorCaption, QMessageBox::Warning);
  });
}

}  // namespace

void RefuseCharactersNotHeld(QLineEdit* field, const LanguageCatalog& texts) {
  field->setProperty("heldText", field->text());
  QObject::connect(field, &QLineEdit::textChanged, field, [field, &texts](const QString& text) {
    QString character;
    if (!CharacterNotHeld(text, &character)) {
      field->setProperty("heldText", text);
      return;
    }
    const QString held = field->property("heldText").toString();
    const int cursor = std::max(0, field->cursorPosition() - int(text.size() - held.size()));
    field->setText(held);
    field->setCursorPosition(std::min(cursor, int(held.size())));
    TellRefused(field, texts, character);
  });
}

void RefuseCharactersNotHeld(QPlainTextEdit* field, const LanguageCatalog& texts) {
  field->setProperty("heldText", field->toPlainText());
  QObject::connect(field, &QPlainTextEdit::textChanged, field, [field, &texts] {
    const QString text = field->toPlainText();
    const QString held = field->property("heldText").toString();
    if (text == held) return;
    QString character;
    if (!CharacterNotHeld(text, &character)) {
      field->setProperty("heldText", text);
      return;
    }
    const int cursor = std::max(0, field->textCursor().position() - int(text.size() - held.size()));
    field->setPlainText(held);
    QTextCursor restored = field->textCursor();
    restored.setPosition(std::min(cursor, int(held.size())));
    field->setTextCursor(restored);
    TellRefused(field, texts, character);
  });
}

void ShowMessageText(QWidget* parent, const LanguageCatalog& texts, const QString& text,
                     const char* captionKey, QMessageBox::Icon icon) {
  QMessageBox box(icon, Text(texts, captionKey), text, QMessageBox::Ok, parent);
  box.exec();
}

QString FileDialogFilterFromText(const QString& text) {
  QStringList parts = text.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    QString patterns = parts[i + 1];
    if (description.isEmpty() && patterns.isEmpty()) break;  // the closing "||"
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // The dialog reads the patterns from the last parentheses; the
    // description keeps its own wording (HideNameFilterDetails hides ours).
    filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

QString FileDialogFilter(const LanguageCatalog& texts, const char* key) {
  return FileDialogFilterFromText(Text(texts, key));
}

}  // namespace strbatch
