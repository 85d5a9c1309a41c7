#include "office/office_bridge.h"

#include <strings.h>

namespace strbatch {

OfficeKind OfficeKindOf(const std::string& extension) {
  const char* ext = extension.c_str();
  if (strcasecmp(ext, ".doc") == 0 || strcasecmp(ext, ".rtf") == 0) return OfficeKind::Word;
  if (strcasecmp(ext, ".xls") == 0) return OfficeKind::Excel;
  if (strcasecmp(ext, ".ppt") == 0) return OfficeKind::PowerPoint;
  return OfficeKind::None;
}

}  // namespace strbatch
