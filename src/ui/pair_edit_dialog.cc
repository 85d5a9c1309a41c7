#include "ui/pair_edit_dialog.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "config/text_keys.h"
#include "ui/ui_text.h"

namespace strbatch {
namespace {

// Definitions hold "\r\n" line breaks like the files they are matched
// against; the field shows plain line breaks.
QString ForDisplay(const std::string& bytes) {
  QString text = FromCodePage(bytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

std::string FromField(const QPlainTextEdit* field, const std::string& original) {
  QString text = field->toPlainText();
  // An untouched field keeps its bytes, lone "\n" or bytes the code page
  // cannot show included.
  if (text == ForDisplay(original)) return original;
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return ToCodePage(text);
}

}  // namespace

PairEditDialog::PairEditDialog(QWidget* owner, const LanguageCatalog& texts,
                               const std::string& find, const std::string& replace)
    : QDialog(owner), texts_(texts), find_(find), replace_(replace) {
  setWindowTitle(QStringLiteral("编辑"));
  auto* findLabel = new QLabel(QStringLiteral("查找串"), this);
  SetResourceId(findLabel, 1060);
  findEdit_ = new QPlainTextEdit(ForDisplay(find), this);
  SetResourceId(findEdit_, 1014);
  auto* replaceLabel = new QLabel(QStringLiteral("替换串"), this);
  SetResourceId(replaceLabel, 1061);
  replaceEdit_ = new QPlainTextEdit(ForDisplay(replace), this);
  SetResourceId(replaceEdit_, 1016);
  for (QPlainTextEdit* edit : {findEdit_, replaceEdit_}) {
    RefuseCharactersNotHeld(edit, texts_);
    edit->setTabChangesFocus(true);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  }
  auto* ok = new QPushButton(QStringLiteral("确定"), this);
  SetResourceId(ok, 1);
  ok->setDefault(true);
  ok->setAutoDefault(false);
  auto* cancel = new QPushButton(QStringLiteral("取消"), this);
  SetResourceId(cancel, 2);
  cancel->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &PairEditDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(findLabel);
  layout->addWidget(findEdit_);
  layout->addWidget(replaceLabel);
  layout->addWidget(replaceEdit_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addSpacing(40);
  buttons->addWidget(cancel);
  buttons->addStretch();
  layout->addLayout(buttons);
  resize(560, 380);
  ApplyCaptions(this, texts_, "IDD_DLGSTR");
}

void PairEditDialog::accept() {
  std::string find = FromField(findEdit_, find_);
  std::string replace = FromField(replaceEdit_, replace_);
  if (find.size() > kMaxBytes || replace.size() > kMaxBytes) {
    QString limit = QString::number(kMaxBytes);
    QMessageBox box(QMessageBox::Warning, Text(texts_, key::kErrorCaption),
                    Text(texts_, key::kInputTooLong).arg(limit), QMessageBox::Ok, this);
    box.exec();
    findEdit_->setFocus();
    return;
  }
  find_ = std::move(find);
  replace_ = std::move(replace);
  QDialog::accept();
}

}  // namespace strbatch
