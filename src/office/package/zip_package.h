// A zipped package (Office Open XML or OpenDocument) held in memory: its
// entries read by name, and a new package made with some entries given new
// content while every other entry is copied as it was stored (name, order,
// compression method, compressed bytes and CRC).
#ifndef STRBATCH_OFFICE_PACKAGE_ZIP_PACKAGE_H_
#define STRBATCH_OFFICE_PACKAGE_ZIP_PACKAGE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/message.h"
#include "office/office_bridge.h"

struct zip;

namespace strbatch {

class ZipPackage {
 public:
  ~ZipPackage();
  ZipPackage(const ZipPackage&) = delete;
  ZipPackage& operator=(const ZipPackage&) = delete;

  // Opens the package held in bytes (kept by the package), whose parts are
  // read within limits. Null, with a reason, when bytes are not a zip
  // archive libzip can read.
  static std::unique_ptr<ZipPackage> Open(std::string bytes, Message* error,
                                          OfficeReadLimits limits = {});

  // The entries' names in the order the archive stores them.
  const std::vector<std::string>& Names() const { return names_; }
  bool Has(const std::string& name) const { return index_.count(name) != 0; }
  // Why a part was not read: a fault of the package, a part inflating to
  // more than the limit, or the run's stop request.
  enum class ReadFailure { kFault, kTooLarge, kStopped };
  // The uncompressed content of an entry; false, with a reason (and, when
  // failure is given, its kind), when it is missing, encrypted, larger than
  // the limit or cannot be read, or when the run is stopped meanwhile.
  bool Read(const std::string& name, std::string* content, Message* error,
            ReadFailure* failure = nullptr) const;
  // The compression method of an entry (ZIP_CM_STORE, ZIP_CM_DEFLATE, ...),
  // -1 when it is missing.
  int Method(const std::string& name) const;
  const OfficeReadLimits& Limits() const { return limits_; }

  // The bytes of a new package: the entries named in replaced hold their new
  // content (compressed with deflate, or stored when they were stored),
  // every other entry is copied raw. False, with a reason, when libzip
  // fails.
  bool Rewrite(const std::map<std::string, std::string>& replaced, std::string* out,
               std::string* error) const;

 private:
  ZipPackage() = default;

  std::string bytes_;
  OfficeReadLimits limits_;
  ::zip* archive_ = nullptr;
  std::vector<std::string> names_;
  std::map<std::string, uint64_t> index_;
};

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_PACKAGE_ZIP_PACKAGE_H_
