#include "ui/help_window.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "config/text_keys.h"
#include "ui/desktop_open.h"
#include "ui/ui_text.h"

namespace strbatch {

HelpWindow::HelpWindow(QWidget* owner, const LanguageCatalog& texts)
    : QDialog(owner, Qt::Window | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      texts_(texts) {
  setObjectName(QStringLiteral("help"));
  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("helpPage"));
  // Links within the guide are followed here; links to the web go to the
  // desktop's browser.
  browser_->setOpenExternalLinks(true);
  auto* browserButton = new QPushButton(this);
  browserButton->setObjectName(QStringLiteral("openInBrowser"));
  auto* close = new QPushButton(this);
  close->setObjectName(QStringLiteral("closeHelp"));
  connect(browserButton, &QPushButton::clicked, this,
          [this] { OpenWithDesktop(this, texts_, path_); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(browserButton);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(browser_, 1);
  layout->addLayout(buttons);
  setWindowTitle(Text(texts_, key::kHelpWindowTitle));
  browserButton->setText(Text(texts_, key::kOpenInBrowser));
  close->setText(Text(texts_, key::kPreviewClose));
  resize(760, 600);
}

void HelpWindow::ShowPage(const std::string& path) {
  path_ = path;
  setWindowTitle(Text(texts_, key::kHelpWindowTitle));
  browser_->setSource(QUrl::fromLocalFile(PathToQString(path)));
  browser_->moveCursor(QTextCursor::Start);
}

}  // namespace strbatch
