#include "batch/find_report.h"

namespace strbatch {

FindReport::~FindReport() { Close(); }

bool FindReport::Open(const std::string& path) {
  Close();
  failed_ = false;
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

void FindReport::WriteLine(std::string_view text) {
  if (file_ == nullptr) return;
  std::string carried;
  if (source_ != nullptr) {
    source_->ToUtf8(text, &carried);
    text = carried;
  }
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
      std::fwrite("\r\n", 1, 2, file_) != 2) {
    failed_ = true;
  }
}

bool FindReport::Close() {
  if (file_ == nullptr) return !failed_;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace strbatch
