#include "office/package/zip_package.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

namespace strbatch {
namespace {

std::string ErrorText(zip_error_t* error) {
  const char* text = zip_error_strerror(error);
  return text ? text : "unknown zip error";
}

std::string ArchiveError(::zip* archive) { return ErrorText(zip_get_error(archive)); }

// A size as a user reads it: "1.8 GB", "340 kB".
std::string DecimalSize(uint64_t bytes) {
  static const char* const kUnits[] = {"bytes", "kB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while (value >= 1000 && unit + 1 < std::size(kUnits)) {
    value /= 1000;
    unit++;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 || value >= 100 ? "%.0f %s" : "%.1f %s", value,
                kUnits[unit]);
  return text;
}

// The limit as the settings give it, in whole mebibytes: "1 GiB", "64 MiB".
std::string BinarySize(uint64_t bytes) {
  if (bytes >= (uint64_t{1} << 30) && bytes % (uint64_t{1} << 30) == 0) {
    return std::to_string(bytes >> 30) + " GiB";
  }
  if (bytes >= (uint64_t{1} << 20)) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

// How much is inflated between two looks at the stop request.
constexpr zip_uint64_t kChunk = zip_uint64_t{1} << 20;
constexpr zip_uint64_t kChunksBetweenPolls = 4;

}  // namespace

ZipPackage::~ZipPackage() {
  if (archive_) zip_discard(archive_);
}

std::unique_ptr<ZipPackage> ZipPackage::Open(std::string bytes, Message* error,
                                             OfficeReadLimits limits) {
  std::unique_ptr<ZipPackage> package(new ZipPackage);
  package->bytes_ = std::move(bytes);
  package->limits_ = std::move(limits);
  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_source_t* source =
      zip_source_buffer_create(package->bytes_.data(), package->bytes_.size(), 0, &zipError);
  if (source == nullptr) {
    *error = Message(MessageId::kNotAZip, {ErrorText(&zipError)});
    zip_error_fini(&zipError);
    return nullptr;
  }
  package->archive_ = zip_open_from_source(source, ZIP_RDONLY, &zipError);
  if (package->archive_ == nullptr) {
    *error = Message(MessageId::kNotAZip, {ErrorText(&zipError)});
    zip_source_free(source);
    zip_error_fini(&zipError);
    return nullptr;
  }
  zip_error_fini(&zipError);
  const zip_int64_t count = zip_get_num_entries(package->archive_, 0);
  for (zip_int64_t i = 0; i < count; i++) {
    const char* name = zip_get_name(package->archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name == nullptr) {
      *error = Message(MessageId::kNotAZip, {ArchiveError(package->archive_)});
      return nullptr;
    }
    package->names_.emplace_back(name);
    // Readers disagree on which of two entries of one name is the part:
    // editing one while another program shows the other is no edit.
    if (!package->index_.emplace(name, static_cast<uint64_t>(i)).second) {
      *error = Message(MessageId::kTwoEntriesNamed, {name});
      return nullptr;
    }
  }
  return package;
}

bool ZipPackage::Read(const std::string& name, std::string* content, Message* error,
                      ReadFailure* failure) const {
  ReadFailure unused;
  ReadFailure& why = failure ? *failure : unused;
  why = ReadFailure::kFault;
  auto found = index_.find(name);
  if (found == index_.end()) {
    *error = Message(MessageId::kPartMissing, {name});
    return false;
  }
  zip_stat_t stat;
  if (zip_stat_index(archive_, found->second, 0, &stat) != 0) {
    *error = Message(MessageId::kPartUnreadable, {name, ArchiveError(archive_)});
    return false;
  }
  if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
    *error = Message(MessageId::kPartEncrypted, {name});
    return false;
  }
  if (!(stat.valid & ZIP_STAT_SIZE)) {
    *error = Message(MessageId::kPartSizeUnsaid, {name});
    return false;
  }
  // The XML scan takes a part of at most 2 GiB whatever the settings say.
  const zip_uint64_t limit =
      std::min<zip_uint64_t>(limits_.partLimit, std::numeric_limits<int>::max());
  const auto tooLarge = [&](uint64_t size) {
    why = ReadFailure::kTooLarge;
    *error = Message(MessageId::kPartOverLimit, {name, DecimalSize(size), BinarySize(limit)});
    return false;
  };
  // The size the package declares is checked first; the count of bytes
  // inflated then stops a part that inflates to more than it declares (the
  // read would fail at its end anyway).
  if (stat.size > limit) return tooLarge(stat.size);
  zip_file_t* file = zip_fopen_index(archive_, found->second, 0);
  if (file == nullptr) {
    *error = Message(MessageId::kPartUnreadable, {name, ArchiveError(archive_)});
    return false;
  }
  content->clear();
  content->shrink_to_fit();
  content->reserve(stat.size + 1);
  zip_uint64_t done = 0;
  zip_int64_t n = 0;
  for (zip_uint64_t chunks = 1;; chunks++) {
    if (limits_.shouldStop && chunks % kChunksBetweenPolls == 0 && limits_.shouldStop()) {
      zip_fclose(file);
      content->clear();
      why = ReadFailure::kStopped;
      *error = Message(MessageId::kPartReadStopped, {name});
      return false;
    }
    // One byte past the declared size is enough to know it is false.
    const zip_uint64_t room = std::min(kChunk, stat.size + 1 - done);
    content->resize(done + room);
    n = zip_fread(file, content->data() + done, room);
    if (n <= 0) break;
    done += static_cast<zip_uint64_t>(n);
    if (done > stat.size) {
      zip_fclose(file);
      content->clear();
      content->shrink_to_fit();
      why = ReadFailure::kTooLarge;
      *error = Message(MessageId::kPartPastDeclared, {name, DecimalSize(stat.size)});
      return false;
    }
  }
  content->resize(done);
  // Reading to the end checks the CRC, and that the size was the one
  // declared.
  const bool ended = n == 0 && done == stat.size;
  if (!ended) {
    *error = Message(MessageId::kPartUnreadable,
                     {name, n < 0 ? ErrorText(zip_file_get_error(file))
                                  : std::string("its inflated size differs from the size the "
                                                "package gives")});
  }
  zip_fclose(file);
  return ended;
}

int ZipPackage::Method(const std::string& name) const {
  auto found = index_.find(name);
  if (found == index_.end()) return -1;
  zip_stat_t stat;
  if (zip_stat_index(archive_, found->second, 0, &stat) != 0) return -1;
  return (stat.valid & ZIP_STAT_COMP_METHOD) ? stat.comp_method : -1;
}

bool ZipPackage::Rewrite(const std::map<std::string, std::string>& replaced, std::string* out,
                         std::string* error) const {
  zip_error_t zipError;
  zip_error_init(&zipError);
  // The new archive is made in a buffer source of its own, over a copy that
  // libzip owns (it frees the data it held when the new archive replaces
  // it): on close it writes the result there, copying every entry that was
  // not replaced as it was stored.
  void* copy = std::malloc(bytes_.size() ? bytes_.size() : 1);
  if (copy == nullptr) {
    *error = "out of memory";
    return false;
  }
  std::memcpy(copy, bytes_.data(), bytes_.size());
  zip_source_t* target = zip_source_buffer_create(copy, bytes_.size(), 1, &zipError);
  if (target == nullptr) {
    std::free(copy);
    *error = ErrorText(&zipError);
    zip_error_fini(&zipError);
    return false;
  }
  zip_source_keep(target);
  ::zip* archive = zip_open_from_source(target, 0, &zipError);
  auto fail = [&](const std::string& why) {
    *error = why;
    if (archive) zip_discard(archive);
    zip_source_free(target);
    zip_error_fini(&zipError);
    return false;
  };
  if (archive == nullptr) return fail(ErrorText(&zipError));
  for (const auto& [name, content] : replaced) {
    auto found = index_.find(name);
    if (found == index_.end()) return fail(name + " is missing from the package");
    zip_source_t* data = zip_source_buffer(archive, content.data(), content.size(), 0);
    if (data == nullptr) return fail(ArchiveError(archive));
    if (zip_file_replace(archive, found->second, data, ZIP_FL_ENC_RAW) != 0) {
      zip_source_free(data);
      return fail(ArchiveError(archive));
    }
    const zip_int32_t method = Method(name) == ZIP_CM_STORE ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    if (zip_set_file_compression(archive, found->second, method, 0) != 0) {
      return fail(ArchiveError(archive));
    }
  }
  if (zip_close(archive) != 0) return fail(ArchiveError(archive));
  archive = nullptr;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_source_stat(target, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
      zip_source_open(target) != 0) {
    return fail(ErrorText(zip_source_error(target)));
  }
  out->assign(stat.size, '\0');
  zip_uint64_t done = 0;
  while (done < stat.size) {
    const zip_int64_t n = zip_source_read(target, out->data() + done, stat.size - done);
    if (n <= 0) break;
    done += static_cast<zip_uint64_t>(n);
  }
  zip_source_close(target);
  if (done != stat.size) return fail("the new package could not be read back");
  zip_source_free(target);
  zip_error_fini(&zipError);
  return true;
}

}  // namespace strbatch
