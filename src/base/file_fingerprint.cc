#include "base/file_fingerprint.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/safe_file.h"

namespace strbatch {

std::string Sha256Hex(std::string_view bytes) {
  // Fetched once: a fetch per digest costs more than hashing a short text.
  static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, sha256, nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; i++) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return hex;
}

bool ReadFingerprinted(const std::string& path, std::string* content, FileFingerprint* print,
                       std::string* error, size_t spare) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  if (!ReadWholeFile(path, content, error, spare)) return false;
  print->size = content->size();
  print->mtimeNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  print->sha256 = Sha256Hex(*content);
  return true;
}

bool TakeFingerprint(const std::string& path, FileFingerprint* print, std::string* error) {
  std::string content;
  return ReadFingerprinted(path, &content, print, error);
}

}  // namespace strbatch
