// The progress window of long commands: a message line, a bar, the percent
// text and the interrupt button. While shown it keeps its owner disabled;
// every position update and cancel query pumps the pending events, so the
// windows stay painted and a click on the interrupt button, Escape or the
// close box registers one cancel request. The command decides what
// cancelling means.
#ifndef STRBATCH_UI_PROGRESS_WINDOW_H_
#define STRBATCH_UI_PROGRESS_WINDOW_H_

#include <QDialog>
#include <QPointer>

#include "config/language.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace strbatch {

class ProgressWindow : public QDialog {
  Q_OBJECT

 public:
  // The window stays hidden until ShowProgress. owner may be null.
  ProgressWindow(QWidget* owner, const LanguageCatalog& texts);
  // Enables the owner again if this window disabled it.
  ~ProgressWindow() override;

  // Disables the owner's window and shows this one. False (owner enabled
  // again) when it could not be shown.
  bool ShowProgress();
  void SetMessage(const QString& text);
  // pump false moves the bar without handling the pending events.
  void SetPosition(int position, bool pump = true);
  // Gives the cancel request and clears it.
  bool CheckCancelled(bool pump = true);
  // Hides the window and enables the owner again.
  void Finish();

  QString PercentText() const;
  QString MessageText() const;

 protected:
  void reject() override;  // Escape
  void closeEvent(QCloseEvent* event) override;

 private:
  const LanguageCatalog& texts_;
  void RequestCancel() { cancelRequested_ = true; }
  static void PumpMessages();

  QPointer<QWidget> owner_;
  bool ownerDisabled_ = false;
  bool cancelRequested_ = false;
  int lower_ = 0;
  int upper_ = 100;
  int shownPosition_ = -1;  // the position the bar and percentage show
  QLabel* message_;
  QLabel* percent_;
  QProgressBar* bar_;
  QPushButton* interrupt_;
};

}  // namespace strbatch

#endif  // STRBATCH_UI_PROGRESS_WINDOW_H_
