#include "ui/progress_host.h"

#include <QCoreApplication>

#include "ui/ui_text.h"

namespace strbatch {
namespace {

// Enough lines to tell the user what went wrong without a box taller than
// the screen.
constexpr int kWarningsShown = 15;

}  // namespace

ProgressHost::~ProgressHost() { delete progress_; }

bool ProgressHost::Confirm(const std::string& textKey, const std::string& captionKey) {
  return ShowMessage(owner_, textKey.c_str(), captionKey.c_str(),
                     QMessageBox::Yes | QMessageBox::No, QString(),
                     QMessageBox::Question) == QMessageBox::Yes;
}

void ProgressHost::ShowProgress() {
  delete progress_;
  progress_ = new ProgressWindow(owner_);
  // A window that cannot be shown leaves the calls below pumping events only.
  progress_->ShowProgress();
}

void ProgressHost::SetMessage(const std::string& text) {
  if (progress_) progress_->SetMessage(messagesArePaths_ ? PathToQString(text) : FromCodePage(text));
}

void ProgressHost::SetPosition(int percent) {
  BeforePump();
  if (progress_) {
    progress_->SetPosition(percent);
  } else {
    QCoreApplication::processEvents();
  }
}

bool ProgressHost::CheckCancelled() {
  BeforePump();
  if (progress_) return progress_->CheckCancelled();
  QCoreApplication::processEvents();
  return false;
}

void ProgressHost::HideProgress() {
  if (!progress_) return;
  progress_->Finish();
  // deleteLater: this may run from inside an event the window dispatched.
  progress_->deleteLater();
  progress_ = nullptr;
}

void ProgressHost::Warn(const std::string& path, const std::string& reason) {
  QString line = PathToQString(path);
  if (!line.isEmpty()) line += QStringLiteral(": ");
  warnings_ << line + QString::fromUtf8(reason.c_str());
}

void ProgressHost::ReportWarnings() {
  if (warnings_.isEmpty()) return;
  QStringList shown = warnings_.mid(0, kWarningsShown);
  if (warnings_.size() > kWarningsShown) {
    shown << QStringLiteral("... (%1)").arg(warnings_.size() - kWarningsShown);
  }
  warnings_.clear();
  ShowMessage(owner_, "1106", "1102", QMessageBox::Ok, QStringLiteral("\n") + shown.join('\n'),
              QMessageBox::Warning);
}

}  // namespace strbatch
