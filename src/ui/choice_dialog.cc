#include "ui/choice_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/ui_text.h"

namespace strbatch {

ChoiceDialog::ChoiceDialog(QWidget* owner, const LanguageCatalog& texts, const QString& title,
                           const QString& prompt,
                           const QString& secondLabel, const QString& initialText,
                           const QStringList& choices)
    : QDialog(owner) {
  setWindowTitle(QStringLiteral("输入"));
  auto* promptLabel = new QLabel(QStringLiteral("请选择:"), this);
  SetResourceId(promptLabel, 1070);
  auto* second = new QLabel(this);
  SetResourceId(second, 1071);
  choice_ = new QComboBox(this);
  SetResourceId(choice_, 1172);
  choice_->setEditable(true);
  choice_->setInsertPolicy(QComboBox::NoInsert);
  choice_->setMinimumWidth(260);
  auto* ok = new QPushButton(QStringLiteral("确定"), this);
  SetResourceId(ok, 1);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("取消"), this);
  SetResourceId(cancel, 2);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QGridLayout(this);
  layout->addWidget(promptLabel, 0, 0);
  layout->addWidget(ok, 0, 1);
  layout->addWidget(second, 1, 0);
  layout->addWidget(cancel, 1, 1);
  layout->addWidget(choice_, 2, 0, 1, 2);

  ApplyCaptions(this, texts, "IDD_LIST");
  promptLabel->setText(prompt);
  second->setText(secondLabel);
  second->setVisible(!secondLabel.isEmpty());
  setWindowTitle(title);
  choice_->addItems(choices);
  choice_->setEditText(initialText);
}

QString ChoiceDialog::Text() const { return choice_->currentText(); }

}  // namespace strbatch
