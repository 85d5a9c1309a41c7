// The program's window icon, drawn at run time so that no image format
// plugin is needed (the desktop entry uses resources/strbatch.svg).
#ifndef STRBATCH_UI_APP_ICON_H_
#define STRBATCH_UI_APP_ICON_H_

#include <QIcon>

namespace strbatch {

QIcon AppIcon();

}  // namespace strbatch

#endif  // STRBATCH_UI_APP_ICON_H_
