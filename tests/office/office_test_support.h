// Helpers for the office tests: GBK text from UTF-8 literals, and a driver
// that hands a document's occurrences over the way the batch workers do.
#ifndef STRBATCH_TESTS_OFFICE_OFFICE_TEST_SUPPORT_H_
#define STRBATCH_TESTS_OFFICE_OFFICE_TEST_SUPPORT_H_

#include <string>
#include <string_view>

#include "base/code_page.h"
#include "office/office_bridge.h"

namespace strbatch::testing {

inline std::string Gbk(std::string_view utf8) {
  std::string bytes;
  CodePage::Gbk().FromUtf8(utf8, &bytes);
  return bytes;
}

// Replaces every occurrence of find in the document's work text, left to
// right, as a plain definition does: each occurrence is located in the text
// from the cursor and, when edit is set, replaced. Gives the count.
inline int ReplaceAll(OfficeDocument& document, std::string_view find, std::string_view replace,
                      bool edit = true) {
  const std::string text = document.WriteText();
  document.BeginOccurrences(text);
  int count = 0;
  size_t cursor = 0;
  for (size_t at = text.find(find); at != std::string::npos; at = text.find(find, cursor)) {
    count++;
    document.LocateOccurrence(static_cast<int64_t>(at), static_cast<int64_t>(find.size()));
    if (edit) document.EditOccurrence(replace);
    cursor = at + find.size();
  }
  return count;
}

}  // namespace strbatch::testing

#endif  // STRBATCH_TESTS_OFFICE_OFFICE_TEST_SUPPORT_H_
