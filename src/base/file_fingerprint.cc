#include "base/file_fingerprint.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <cerrno>

#include "base/safe_file.h"

namespace strbatch {

namespace {

// Fetched once: a fetch per digest costs more than hashing a short text.
const EVP_MD* Sha256() {
  static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return sha256;
}

std::string Hex(const unsigned char* digest, unsigned int length) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; i++) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return hex;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, Sha256(), nullptr);
  return Hex(digest, length);
}

Sha256Stream::Sha256Stream() : context_(EVP_MD_CTX_new()) {
  EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(context_), Sha256(), nullptr);
}

Sha256Stream::~Sha256Stream() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context_)); }

void Sha256Stream::Add(std::string_view bytes) {
  EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context_), bytes.data(), bytes.size());
}

std::string Sha256Stream::Finish() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  auto* context = static_cast<EVP_MD_CTX*>(context_);
  EVP_DigestFinal_ex(context, digest, &length);
  EVP_DigestInit_ex(context, Sha256(), nullptr);
  return Hex(digest, length);
}

bool ReadFingerprinted(const std::string& path, std::string* content, FileFingerprint* print,
                       Message* error, size_t spare) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    *error = OsFailure(MessageId::kCannotExamine, {path});
    return false;
  }
  if (!ReadWholeFile(path, content, error, spare)) return false;
  print->size = content->size();
  print->mtimeNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  print->sha256 = Sha256Hex(*content);
  return true;
}

bool TakeFingerprint(const std::string& path, FileFingerprint* print, Message* error) {
  std::string content;
  return ReadFingerprinted(path, &content, print, error);
}

}  // namespace strbatch
