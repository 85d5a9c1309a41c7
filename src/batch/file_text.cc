#include "batch/file_text.h"

#include <cstdlib>
#include <memory>

namespace strbatch {
namespace {

bool IsUtf16(FileEncoding encoding) {
  return encoding == FileEncoding::Utf16LE || encoding == FileEncoding::Utf16BE;
}

// UTF-16 code units of the UTF-8 text in [from, to).
size_t Utf16Units(std::string_view utf8, size_t from, size_t to) {
  size_t units = 0;
  for (size_t i = from; i < to && i < utf8.size(); i++) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80 || b >= 0xC0) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

}  // namespace

bool FileText::Open(std::string* bytes, EncodingSetting setting, Message* error) {
  detected_ = DetectFileEncoding(*bytes, setting);
  mark_ = bytes->substr(0, detected_.bomLength);
  if (IsUtf16(detected_.encoding)) {
    std::string utf8;
    std::string_view body = std::string_view(*bytes).substr(detected_.bomLength);
    if (!Utf16ToUtf8(body, detected_.encoding == FileEncoding::Utf16BE, &utf8)) {
      *error = Message(MessageId::kNotValidUtf16);
      return false;
    }
    bytes->swap(utf8);
  } else if (detected_.bomLength > 0) {
    bytes->erase(0, detected_.bomLength);
  }
  return true;
}

bool FileText::Save(FileRewriter& rewriter, const std::string& path, std::string_view work,
                    Message* error) const {
  std::string encoded;
  std::string_view body = work;
  if (IsUtf16(detected_.encoding)) {
    if (!Encode(work, &encoded)) {
      *error = Message(MessageId::kTextNotWritableAs, {"UTF-16"});
      return false;
    }
    body = encoded;
  }
  std::unique_ptr<RewriteSession> session = rewriter.Begin(path, error);
  if (!session) return false;
  session->Write(mark_);
  session->Write(body);
  return session->Commit(error);
}

bool FileText::Encode(std::string_view work, std::string* bytes) const {
  if (IsUtf16(detected_.encoding)) {
    return Utf8ToUtf16(work, detected_.encoding == FileEncoding::Utf16BE, bytes);
  }
  bytes->assign(work);
  return true;
}

void FileText::MapMatches(std::vector<MatchSpan>* spans, std::string_view work) const {
  if (detected_.bomLength == 0 && !IsUtf16(detected_.encoding)) return;
  // Spans of one definition come in increasing order: count on from the
  // previous one, and start over only where the next definition begins.
  size_t countedTo = 0, countedUnits = 0;
  for (MatchSpan& span : *spans) {
    const size_t offset = static_cast<size_t>(span.offset);
    const size_t length = static_cast<size_t>(span.length);
    if (IsUtf16(detected_.encoding)) {
      if (offset < countedTo) countedTo = countedUnits = 0;
      countedUnits += Utf16Units(work, countedTo, offset);
      countedTo = offset;
      span.offset = static_cast<int64_t>(2 * countedUnits);
      span.length = static_cast<int64_t>(2 * Utf16Units(work, offset, offset + length));
    }
    span.offset += static_cast<int64_t>(detected_.bomLength);
  }
}

}  // namespace strbatch
