#include "office/zip_package.h"

#include <zip.h>

#include <cstdlib>
#include <cstring>

namespace strbatch {
namespace {

std::string ErrorText(zip_error_t* error) {
  const char* text = zip_error_strerror(error);
  return text ? text : "unknown zip error";
}

std::string ArchiveError(::zip* archive) { return ErrorText(zip_get_error(archive)); }

}  // namespace

ZipPackage::~ZipPackage() {
  if (archive_) zip_discard(archive_);
}

std::unique_ptr<ZipPackage> ZipPackage::Open(std::string bytes, std::string* error) {
  std::unique_ptr<ZipPackage> package(new ZipPackage);
  package->bytes_ = std::move(bytes);
  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_source_t* source =
      zip_source_buffer_create(package->bytes_.data(), package->bytes_.size(), 0, &zipError);
  if (source == nullptr) {
    *error = ErrorText(&zipError);
    zip_error_fini(&zipError);
    return nullptr;
  }
  package->archive_ = zip_open_from_source(source, ZIP_RDONLY, &zipError);
  if (package->archive_ == nullptr) {
    *error = "not a zip archive that can be read: " + ErrorText(&zipError);
    zip_source_free(source);
    zip_error_fini(&zipError);
    return nullptr;
  }
  zip_error_fini(&zipError);
  const zip_int64_t count = zip_get_num_entries(package->archive_, 0);
  for (zip_int64_t i = 0; i < count; i++) {
    const char* name = zip_get_name(package->archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name == nullptr) {
      *error = ArchiveError(package->archive_);
      return nullptr;
    }
    package->names_.emplace_back(name);
    // Readers disagree on which of two entries of one name is the part:
    // editing one while another program shows the other is no edit.
    if (!package->index_.emplace(name, static_cast<uint64_t>(i)).second) {
      *error = std::string("the package holds two entries named ") + name +
               ", so which one is the document cannot be told";
      return nullptr;
    }
  }
  return package;
}

bool ZipPackage::Read(const std::string& name, std::string* content, std::string* error) const {
  auto found = index_.find(name);
  if (found == index_.end()) {
    *error = name + " is missing from the package";
    return false;
  }
  zip_stat_t stat;
  if (zip_stat_index(archive_, found->second, 0, &stat) != 0) {
    *error = name + ": " + ArchiveError(archive_);
    return false;
  }
  if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
    *error = name + " is encrypted";
    return false;
  }
  // A part larger than this is no document text this program edits in memory.
  constexpr zip_uint64_t kLargest = zip_uint64_t{1} << 31;
  if (!(stat.valid & ZIP_STAT_SIZE) || stat.size > kLargest) {
    *error = name + " is too large";
    return false;
  }
  zip_file_t* file = zip_fopen_index(archive_, found->second, 0);
  if (file == nullptr) {
    *error = name + ": " + ArchiveError(archive_);
    return false;
  }
  content->assign(stat.size, '\0');
  zip_uint64_t done = 0;
  while (done < stat.size) {
    const zip_int64_t n = zip_fread(file, content->data() + done, stat.size - done);
    if (n <= 0) break;
    done += static_cast<zip_uint64_t>(n);
  }
  // Reading to the end checks the CRC.
  char extra;
  const bool ended = done == stat.size && zip_fread(file, &extra, 1) == 0;
  if (!ended) *error = name + ": " + ErrorText(zip_file_get_error(file));
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
