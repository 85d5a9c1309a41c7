// The user guide in a window of the program: the shipped HTML page with its
// links, readable without a browser; the desktop's browser is one click
// away for those who prefer it.
#ifndef STRBATCH_UI_HELP_WINDOW_H_
#define STRBATCH_UI_HELP_WINDOW_H_

#include <QDialog>
#include <string>

#include "config/language.h"

class QTextBrowser;

namespace strbatch {

class HelpWindow : public QDialog {
  Q_OBJECT

 public:
  HelpWindow(QWidget* owner, const LanguageCatalog& texts);

  // Shows the page at path (a local HTML file) from its start.
  void ShowPage(const std::string& path);
  QTextBrowser* Browser() const { return browser_; }

 private:
  const LanguageCatalog& texts_;
  std::string path_;
  QTextBrowser* browser_;
};

}  // namespace strbatch

#endif  // STRBATCH_UI_HELP_WINDOW_H_
