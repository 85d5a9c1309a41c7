// A text file's bytes as the definitions see them, and back. Under the
// encoding setting "gbk" the work text is the file itself. Otherwise the
// file's encoding decides: a UTF-8 or UTF-16 byte-order mark is set aside
// and put back, UTF-16 is worked on as UTF-8, and match records are mapped
// back to byte offsets in the file.
#ifndef STRBATCH_BATCH_FILE_TEXT_H_
#define STRBATCH_BATCH_FILE_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "base/safe_file.h"
#include "base/text_encoding.h"
#include "lists/file_list.h"

namespace strbatch {

class FileText {
 public:
  // Turns the file's bytes into the work text, in place. False, with a
  // reason, when the bytes cannot be read in the file's encoding.
  bool Open(std::string* bytes, EncodingSetting setting, Message* error);

  FileEncoding Encoding() const { return detected_.encoding; }
  // The bytes of the byte-order mark set aside.
  size_t MarkLength() const { return detected_.bomLength; }
  // The character rules of the work text.
  const CodePage& WorkCodePage() const { return strbatch::WorkCodePage(detected_.encoding); }

  // Writes the work text back in the file's encoding, all-or-nothing.
  bool Save(FileRewriter& rewriter, const std::string& path, std::string_view work,
            Message* error) const;

  // Turns spans of the work text into byte offsets and lengths in the file.
  // Spans of one definition come in increasing order.
  void MapMatches(std::vector<MatchSpan>* spans, std::string_view work) const;

  // A piece of work text as the file holds it (without the byte-order mark).
  // False when it cannot be written in the file's encoding.
  bool Encode(std::string_view work, std::string* bytes) const;

 private:
  DetectedEncoding detected_;
  std::string mark_;  // the byte-order mark set aside
};

}  // namespace strbatch

#endif  // STRBATCH_BATCH_FILE_TEXT_H_
