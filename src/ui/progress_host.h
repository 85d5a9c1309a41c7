// A BatchHost for a window that runs long commands: the confirmation as a
// message box, progress through a ProgressWindow owned by that window, and
// the warnings of the run gathered and shown once when it ends.
#ifndef STRBATCH_UI_PROGRESS_HOST_H_
#define STRBATCH_UI_PROGRESS_HOST_H_

#include <QElapsedTimer>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <string>

#include "base/batch_host.h"
#include "ui/progress_window.h"

namespace strbatch {

class ProgressHost : public BatchHost {
 public:
  // messagesArePaths: the progress messages are file paths (native bytes)
  // rather than code page text.
  // texts: the interface texts of the questions, messages and the
  // progress window; it must outlive this host.
  ProgressHost(QWidget* owner, const LanguageCatalog& texts, bool messagesArePaths = false)
      : owner_(owner), hostTexts_(texts), messagesArePaths_(messagesArePaths) {}
  ~ProgressHost() override;

  bool Ask(Question question) override;
  void ShowProgress() override;
  void SetMessage(const std::string& text) override;
  void SetPosition(int percent) override;
  bool CheckCancelled() override;
  void HideProgress() override;
  void SelectFileRow(size_t) override {}
  void OpenReport(const std::string&) override {}
  void Warn(const std::string& path, const Message& message) override;
  void Notice(const std::string& path, const Message& message) override;
  // Shows the message at once: the command ends without doing anything.
  void RejectDefinition(size_t row, const Message& message) override;
  // A warning whose text the window took from the catalog itself (UTF-8).
  void Warn(const std::string& path, const std::string& reason);

  // The number of different files warned about since the last
  // ReportWarnings (a warning without a path counts as one).
  size_t WarnedFiles() const { return warnedPaths_.size(); }

  // Shows the warnings and notices gathered since the last call in one
  // message box.
  void ReportWarnings();

  // The window of the running command, or null.
  ProgressWindow* Progress() const { return progress_; }

 protected:
  // Runs before every event pump, so the owner can repaint what the
  // command changed (counts, the selected row).
  virtual void BeforePump() {}

 private:
  QWidget* owner_;
  const LanguageCatalog& hostTexts_;
  bool messagesArePaths_;
  QPointer<ProgressWindow> progress_;
  QStringList warnings_;
  QStringList notices_;
  QSet<QString> warnedPaths_;
  // Events are handled at most this often during a command: often enough
  // for a responsive window and a prompt Stop, seldom enough that a run
  // over many small files is not spent redrawing.
  static constexpr int kPumpIntervalMs = 40;
  bool PumpDue();
  void ShowPendingMessage();
  std::string pendingMessage_;
  bool messagePending_ = false;
  QElapsedTimer pumpClock_;
};

}  // namespace strbatch

#endif  // STRBATCH_UI_PROGRESS_HOST_H_
