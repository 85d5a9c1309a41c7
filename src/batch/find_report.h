// The find report: the replacement text of every occurrence of a batch
// find, one per line, each line ending in "\r\n".
#ifndef STRBATCH_BATCH_FIND_REPORT_H_
#define STRBATCH_BATCH_FIND_REPORT_H_

#include <cstdio>
#include <string>
#include <string_view>

#include "base/code_page.h"

namespace strbatch {

class FindReport {
 public:
  FindReport() = default;
  ~FindReport();
  FindReport(const FindReport&) = delete;
  FindReport& operator=(const FindReport&) = delete;

  // Creates (truncates) the report file; false when it cannot be created.
  bool Open(const std::string& path);
  // Writes the text and "\r\n". A failed write is remembered.
  void WriteLine(std::string_view text);
  // Lines that follow are carried from this code page into UTF-8 before
  // they are written; null writes them as they are.
  void SetSourceCodePage(const CodePage* codePage) { source_ = codePage; }
  // Closes the file; false when any write or the close failed.
  bool Close();

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  const CodePage* source_ = nullptr;
};

}  // namespace strbatch

#endif  // STRBATCH_BATCH_FIND_REPORT_H_
