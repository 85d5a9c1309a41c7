#include "batch/split.h"

namespace strbatch {

size_t SplitAtSeparators(std::string_view text, std::string_view separators, bool keepEmpty,
                         std::vector<std::string>* out) {
  size_t start = 0;
  for (;;) {
    const size_t cut = text.find_first_of(separators, start);
    if (cut == std::string_view::npos) break;
    if (cut > start || keepEmpty) out->emplace_back(text.substr(start, cut - start));
    start = cut + 1;
  }
  if (start < text.size()) out->emplace_back(text.substr(start));
  return out->size();
}

}  // namespace strbatch
