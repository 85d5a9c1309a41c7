#include "batch/file_text.h"

#include <cstdlib>
#include <memory>

namespace strbatch {
namespace {

bool IsUtf16(FileEncoding encoding) {
  return encoding == FileEncoding::Utf16LE || encoding == FileEncoding::Utf16BE;
}

// UTF-16 code units of the UTF-8 text in [from, to).
size_t Utf16Units(const std::string& utf8, size_t from, size_t to) {
  size_t units = 0;
  for (size_t i = from; i < to && i < utf8.size(); i++) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80 || b >= 0xC0) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

}  // namespace

bool FileText::Open(std::string* bytes, EncodingSetting setting, std::string* error) {
  detected_ = DetectFileEncoding(*bytes, setting);
  mark_ = bytes->substr(0, detected_.bomLength);
  if (IsUtf16(detected_.encoding)) {
    std::string utf8;
    std::string_view body = std::string_view(*bytes).substr(detected_.bomLength);
    if (!Utf16ToUtf8(body, detected_.encoding == FileEncoding::Utf16BE, &utf8)) {
      *error = "not valid UTF-16 text; left as it is";
      return false;
    }
    bytes->swap(utf8);
  } else if (detected_.bomLength > 0) {
    bytes->erase(0, detected_.bomLength);
  }
  return true;
}

bool FileText::Save(FileRewriter& rewriter, const std::string& path, const std::string& work,
                    std::string* error) const {
  std::string encoded;
  const std::string* body = &work;
  if (IsUtf16(detected_.encoding)) {
    if (!Utf8ToUtf16(work, detected_.encoding == FileEncoding::Utf16BE, &encoded)) {
      *error = "the new text cannot be written as UTF-16; left as it was";
      return false;
    }
    body = &encoded;
  }
  std::unique_ptr<RewriteSession> session = rewriter.Begin(path, error);
  if (!session) return false;
  session->Write(mark_);
  session->Write(*body);
  return session->Commit(error);
}

std::string FileText::MapMatchList(const std::string& records, const std::string& work) const {
  if (records.empty() || (detected_.bomLength == 0 && !IsUtf16(detected_.encoding))) {
    return records;
  }
  std::string mapped;
  // Records of one definition come in increasing order: count on from the
  // previous one, and start over only where the next definition begins.
  size_t countedTo = 0, countedUnits = 0;
  size_t at = 0;
  while (at < records.size()) {
    size_t end = records.find(';', at);
    if (end == std::string::npos) end = records.size();
    char* rest = nullptr;
    const unsigned long long offset = std::strtoull(records.c_str() + at, &rest, 10);
    const unsigned long long length = std::strtoull(rest + 1, nullptr, 10);
    unsigned long long fileOffset = offset, fileLength = length;
    if (IsUtf16(detected_.encoding)) {
      if (offset < countedTo) countedTo = countedUnits = 0;
      countedUnits += Utf16Units(work, countedTo, offset);
      countedTo = offset;
      fileOffset = 2 * countedUnits;
      fileLength = 2 * Utf16Units(work, offset, offset + length);
    }
    fileOffset += detected_.bomLength;
    if (!mapped.empty()) mapped.push_back(';');
    mapped += std::to_string(fileOffset) + ":" + std::to_string(fileLength);
    at = end + 1;
  }
  return mapped;
}

}  // namespace strbatch
