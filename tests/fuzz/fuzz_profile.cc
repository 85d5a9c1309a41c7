// Feeds arbitrary bytes to the profile reader and writer: lookups never fail,
// and a key that was set reads back as set without disturbing another
// section.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // The last few bytes, without line breaks, serve as a value to store.
  std::string value(input.substr(size > 12 ? size - 12 : 0));
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = '.';
  }
  for (size_t limit : {size_t{0}, size_t{1}, size_t{7}, size_t{1022}}) {
    strbatch::GetProfileStringFromText(input, "option", "Case", "1", limit);
    strbatch::GetProfileStringFromText(input, "string", "1012", "", limit);
  }
  std::string other =
      strbatch::GetProfileStringFromText(input, "Sort3", "ByFile", "<none>", size + 1);
  std::string content(input);
  if (!strbatch::SetProfileValue(&content, "option", "language", value)) abort();
  if (strbatch::GetProfileStringFromText(content, "OPTION", "Language", "<none>", size + 64) !=
      value) {
    abort();
  }
  if (strbatch::GetProfileStringFromText(content, "Sort3", "ByFile", "<none>", size + 1) != other) {
    abort();
  }
  return 0;
}
