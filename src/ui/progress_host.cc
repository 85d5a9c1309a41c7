#include "ui/progress_host.h"

#include <QCoreApplication>

#include "config/message_text.h"
#include "config/text_keys.h"
#include "ui/ui_text.h"

namespace strbatch {
namespace {

// Enough lines to tell the user what went wrong without a box taller than
// the screen.
constexpr int kWarningsShown = 15;

}  // namespace

ProgressHost::~ProgressHost() { delete progress_; }

bool ProgressHost::Ask(Question question) {
  return ShowMessage(owner_, hostTexts_, QuestionKey(question), QuestionCaptionKey(question),
                     QMessageBox::Yes | QMessageBox::No, QString(), QMessageBox::Question,
                     QMessageBox::No) == QMessageBox::Yes;
}

void ProgressHost::ShowProgress() {
  pumpClock_.invalidate();
  messagePending_ = false;
  delete progress_;
  progress_ = new ProgressWindow(owner_, hostTexts_);
  // A window that cannot be shown leaves the calls below pumping events only.
  progress_->ShowProgress();
}

void ProgressHost::SetMessage(const std::string& text) {
  // Shown at the next pump: a run over many small files sets it far more
  // often than anyone can read it.
  pendingMessage_ = text;
  messagePending_ = true;
}

void ProgressHost::ShowPendingMessage() {
  if (!messagePending_) return;
  messagePending_ = false;
  if (progress_) {
    progress_->SetMessage(messagesArePaths_ ? PathToQString(pendingMessage_)
                                            : FromCodePage(pendingMessage_));
  }
}

bool ProgressHost::PumpDue() {
  if (pumpClock_.isValid() && pumpClock_.elapsed() < kPumpIntervalMs) return false;
  pumpClock_.restart();
  return true;
}

void ProgressHost::SetPosition(int percent) {
  const bool pump = PumpDue();
  if (pump) {
    ShowPendingMessage();
    BeforePump();
  }
  if (progress_) {
    progress_->SetPosition(percent, pump);
  } else if (pump) {
    QCoreApplication::processEvents();
  }
}

bool ProgressHost::CheckCancelled() {
  const bool pump = PumpDue();
  if (pump) {
    ShowPendingMessage();
    BeforePump();
  }
  if (progress_) return progress_->CheckCancelled(pump);
  if (pump) QCoreApplication::processEvents();
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
  warnedPaths_.insert(line);
  if (!line.isEmpty()) line += QStringLiteral(": ");
  warnings_ << line + QString::fromUtf8(reason.c_str());
}

void ProgressHost::Warn(const std::string& path, const Message& message) {
  Warn(path, MessageText(hostTexts_, message));
}

void ProgressHost::Notice(const std::string& path, const Message& message) {
  QString line = PathToQString(path);
  if (!line.isEmpty()) line += QStringLiteral(": ");
  // The window names its own option where the command line names a flag.
  Message shown = message;
  if (shown.id == MessageId::kOtherStoriesNotSearched) {
    shown.id = MessageId::kOtherStoriesNotSearchedInWindow;
  } else if (shown.id == MessageId::kStandInsNotSearched) {
    shown.id = MessageId::kStandInsNotSearchedInWindow;
  }
  notices_ << line + QString::fromStdString(MessageText(hostTexts_, shown));
}

void ProgressHost::RejectDefinition(size_t, const Message& message) {
  ShowMessageText(owner_, hostTexts_, QString::fromStdString(MessageText(hostTexts_, message)),
                  key::kErrorCaption, QMessageBox::Warning);
}

namespace {

// The first lines of a list under its heading, and how many were left out.
QString Section(const LanguageCatalog& texts, const char* headingKey, const QStringList& lines) {
  QStringList shown = lines.mid(0, kWarningsShown);
  if (lines.size() > kWarningsShown) {
    shown << QStringLiteral("... (%1)").arg(lines.size() - kWarningsShown);
  }
  return Text(texts, headingKey) + QStringLiteral("\n") + shown.join('\n');
}

}  // namespace

void ProgressHost::ReportWarnings() {
  if (warnings_.isEmpty() && notices_.isEmpty()) return;
  QStringList sections;
  if (!warnings_.isEmpty()) sections << Section(hostTexts_, key::kWarningsHeading, warnings_);
  if (!notices_.isEmpty()) sections << Section(hostTexts_, key::kNoticesHeading, notices_);
  const bool failed = !warnings_.isEmpty();
  warnings_.clear();
  notices_.clear();
  warnedPaths_.clear();
  ShowMessageText(owner_, hostTexts_, sections.join(QStringLiteral("\n\n")),
                  failed ? key::kErrorCaption : key::kConfirmCaption,
                  failed ? QMessageBox::Warning : QMessageBox::Information);
}

}  // namespace strbatch
