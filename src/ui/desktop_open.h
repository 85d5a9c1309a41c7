// Handing a file to the desktop's program for it (help pages, office
// documents, files the viewer does not show): xdg-open, run and waited for,
// so that a missing or failing opener is told rather than passed over.
#ifndef STRBATCH_UI_DESKTOP_OPEN_H_
#define STRBATCH_UI_DESKTOP_OPEN_H_

#include <string>

#include "config/language.h"

class QWidget;

namespace strbatch {

// Opens path with the desktop's program; false, after a message naming the
// path, when there is no opener or it failed.
bool OpenWithDesktop(QWidget* owner, const LanguageCatalog& texts, const std::string& path);

}  // namespace strbatch

#endif  // STRBATCH_UI_DESKTOP_OPEN_H_
