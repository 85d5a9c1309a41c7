#include "ui/progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ui_text.h"

namespace strbatch {

ProgressWindow::ProgressWindow(QWidget* owner, const LanguageCatalog& texts)
    : QDialog(owner ? owner->window() : nullptr,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowCloseButtonHint),
      texts_(texts),
      owner_(owner ? owner->window() : nullptr) {
  setModal(false);
  setWindowTitle(QStringLiteral("进度"));
  message_ = new QLabel(this);
  SetResourceId(message_, 1008);
  message_->setMinimumWidth(320);
  percent_ = new QLabel(QStringLiteral(" 0 %"), this);
  SetResourceId(percent_, 1006);
  percent_->setAlignment(Qt::AlignCenter);
  bar_ = new QProgressBar(this);
  SetResourceId(bar_, 1004);
  bar_->setTextVisible(false);
  bar_->setRange(lower_, upper_);
  bar_->setValue(lower_);
  interrupt_ = new QPushButton(QStringLiteral("中断"), this);
  SetResourceId(interrupt_, 2);
  interrupt_->setDefault(true);
  connect(interrupt_, &QPushButton::clicked, this, &ProgressWindow::RequestCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message_);
  layout->addWidget(percent_);
  layout->addWidget(bar_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(interrupt_);
  buttons->addStretch();
  layout->addLayout(buttons);
}

ProgressWindow::~ProgressWindow() { Finish(); }

bool ProgressWindow::ShowProgress() {
  if (owner_ && owner_->isEnabled()) {
    owner_->setEnabled(false);
    ownerDisabled_ = true;
  }
  // The progress window is a child window of its owner and would be
  // disabled with it; it must stay usable to take the interrupt.
  setEnabled(true);
  ApplyCaptions(this, texts_, "IDD_PROGRESS");
  show();
  raise();
  if (!isVisible()) {
    Finish();
    return false;
  }
  PumpMessages();
  return true;
}

void ProgressWindow::SetMessage(const QString& text) { message_->setText(text); }

void ProgressWindow::SetPosition(int position, bool pump) {
  if (pump) PumpMessages();
  // Called for every file and definition: only a new position costs work.
  if (position == shownPosition_) return;
  shownPosition_ = position;
  bar_->setValue(position);
  const int percent = upper_ == lower_ ? 0 : (position - lower_) * 100 / (upper_ - lower_);
  const QString text = QString::asprintf("%d%c", percent, '%');
  if (percent_->text() != text) percent_->setText(text);
}

bool ProgressWindow::CheckCancelled(bool pump) {
  if (pump) PumpMessages();
  const bool requested = cancelRequested_;
  cancelRequested_ = false;
  return requested;
}

void ProgressWindow::Finish() {
  hide();
  if (ownerDisabled_ && owner_) owner_->setEnabled(true);
  ownerDisabled_ = false;
}

QString ProgressWindow::PercentText() const { return percent_->text(); }
QString ProgressWindow::MessageText() const { return message_->text(); }

void ProgressWindow::reject() { RequestCancel(); }

void ProgressWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  RequestCancel();
}

void ProgressWindow::PumpMessages() {
  // Never waits: only what is already queued is handled.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace strbatch
