// What a file was when it was read: its size, its modification time and the
// SHA-256 of its bytes. A command that shows the user a file's future and
// writes it later (a preview, an undo) compares fingerprints first and
// leaves a file alone whose fingerprint moved on.
#ifndef STRBATCH_BASE_FILE_FINGERPRINT_H_
#define STRBATCH_BASE_FILE_FINGERPRINT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "base/message.h"

namespace strbatch {

struct FileFingerprint {
  uint64_t size = 0;
  int64_t mtimeNs = 0;  // nanoseconds since the epoch
  std::string sha256;   // lower-case hex
  bool operator==(const FileFingerprint&) const = default;
};

// The SHA-256 of bytes in lower-case hex (64 characters).
std::string Sha256Hex(std::string_view bytes);

// The SHA-256 of bytes that come in pieces.
class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;
  void Add(std::string_view bytes);
  // The digest of everything added, in lower-case hex; the stream starts
  // over afterwards.
  std::string Finish();

 private:
  void* context_;  // EVP_MD_CTX
};

// Reads the whole file and its fingerprint. The time is taken before the
// bytes are read, so a write in between makes the fingerprint stale rather
// than current. False, with a reason, when the file cannot be read.
bool ReadFingerprinted(const std::string& path, std::string* content, FileFingerprint* print,
                       Message* error, size_t spare = 0);

// The fingerprint of the file as it is now.
bool TakeFingerprint(const std::string& path, FileFingerprint* print, Message* error);

}  // namespace strbatch

#endif  // STRBATCH_BASE_FILE_FINGERPRINT_H_
