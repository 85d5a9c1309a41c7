#include "batch/code_conversion.h"

#include <opencc/opencc.h>

#include <cstdlib>
#include <exception>
#include <string_view>

#include "base/code_page.h"

namespace strbatch {
namespace {

enum class Mapping { kToTraditional, kToSimplified };

// One OpenCC converter per direction, opened on first use and kept for the
// life of the process: loading its dictionaries costs far more than
// converting a typical file.
class ChineseMapper {
 public:
  explicit ChineseMapper(const char* config) {
    try {
      handle_ = opencc_open(config);
    } catch (const std::exception& e) {
      handle_ = kFailed;
      error_ = e.what();
    }
    if (handle_ == kFailed) {
      if (error_.empty()) {
        const char* why = opencc_error();
        error_ = why != nullptr ? why : "unknown error";
      }
      error_ = std::string("cannot open the Chinese character mapping ") + config + ": " + error_;
    }
  }
  ~ChineseMapper() {
    if (handle_ != kFailed) opencc_close(handle_);
  }
  ChineseMapper(const ChineseMapper&) = delete;
  ChineseMapper& operator=(const ChineseMapper&) = delete;

  // Maps the text piece by piece: OpenCC holds many times its input while it
  // works (a string per segment), so a whole large file at once would need
  // memory out of all proportion to the file. Pieces end after a line feed,
  // which no dictionary phrase spans; only a line longer than a piece is cut
  // inside, at a character boundary.
  bool Map(std::string_view utf8, std::string* out, std::string* error) const {
    if (handle_ == kFailed) {
      *error = error_;
      return false;
    }
    out->clear();
    out->reserve(utf8.size() + utf8.size() / 8);
    for (size_t start = 0; start < utf8.size();) {
      size_t end = utf8.size();
      if (end - start > kPieceBytes) {
        end = start + kPieceBytes;
        size_t feed = utf8.rfind('\n', end - 1);
        if (feed != std::string_view::npos && feed >= start) {
          end = feed + 1;
        } else {
          while (end > start + 1 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) end--;
        }
      }
      if (!MapPiece(utf8.substr(start, end - start), out, error)) return false;
      start = end;
    }
    return true;
  }

 private:
  static constexpr size_t kPieceBytes = size_t{1} << 20;
  // What opencc_open gives when it fails.
  static inline const opencc_t kFailed =
      reinterpret_cast<opencc_t>(-1);  // NOLINT(performance-no-int-to-ptr): the library's value

  bool MapPiece(std::string_view utf8, std::string* out, std::string* error) const {
    char* mapped = nullptr;
    try {
      mapped = opencc_convert_utf8(handle_, utf8.data(), utf8.size());
    } catch (const std::exception& e) {
      *error = std::string("Chinese character mapping failed: ") + e.what();
      return false;
    }
    if (mapped == nullptr) {
      *error = "Chinese character mapping failed";
      return false;
    }
    out->append(mapped);
    opencc_convert_utf8_free(mapped);
    return true;
  }

  opencc_t handle_ = kFailed;
  std::string error_;
};

const ChineseMapper& MapperFor(Mapping mapping) {
  if (mapping == Mapping::kToTraditional) {
    static const ChineseMapper toTraditional(OPENCC_DEFAULT_CONFIG_SIMP_TO_TRAD);
    return toTraditional;
  }
  static const ChineseMapper toSimplified(OPENCC_DEFAULT_CONFIG_TRAD_TO_SIMP);
  return toSimplified;
}

// The code-page module reports false both for a lossy conversion (the text
// then carries "?" or U+FFFD, which is what the user gets) and for a
// converter that failed outright (no text at all). Only the latter is an
// error here.
bool ConversionFailed(bool ok, std::string_view in, const std::string& out) {
  return !ok && !in.empty() && out.empty();
}

bool Reencode(int fromCodePage, int toCodePage, std::string_view text, std::string* out,
              std::string* error) {
  std::string utf8;
  bool ok = CodePage(fromCodePage).ToUtf8(text, &utf8);
  if (!ConversionFailed(ok, text, utf8)) {
    ok = CodePage(toCodePage).FromUtf8(utf8, out);
    if (!ConversionFailed(ok, utf8, *out)) return true;
  }
  *error = "cannot convert between code pages " + std::to_string(fromCodePage) + " and " +
           std::to_string(toCodePage);
  return false;
}

// Simplified <-> traditional characters of GBK text; the result is GBK, with
// "?" for a mapped character that GBK cannot hold.
bool MapWithinGbk(Mapping mapping, std::string_view text, std::string* out, std::string* error) {
  const CodePage gbk(CodePage::kGbk);
  std::string utf8, mapped;
  bool ok = gbk.ToUtf8(text, &utf8);
  if (ConversionFailed(ok, text, utf8)) {
    *error = "cannot decode GBK text";
    return false;
  }
  if (!MapperFor(mapping).Map(utf8, &mapped, error)) return false;
  ok = gbk.FromUtf8(mapped, out);
  if (ConversionFailed(ok, mapped, *out)) {
    *error = "cannot encode GBK text";
    return false;
  }
  return true;
}

using Conversion = bool (*)(std::string_view text, std::string* out, std::string* error);

// Reads the file, converts the text before its first NUL and rewrites the
// file with the converted text followed by the untouched tail.
bool ConvertFile(const std::string& path, Conversion convert, std::string* error,
                 FileRewriter& rewriter) {
  std::string content;
  if (!ReadWholeFile(path, &content, error)) return false;
  const size_t end = content.find('\0');
  std::string_view text(content.data(), end == std::string::npos ? content.size() : end);
  std::string converted;
  if (!text.empty() && !convert(text, &converted, error)) {
    *error = path + ": " + *error;
    return false;
  }
  converted.append(content, text.size(), std::string::npos);
  return RewriteFile(rewriter, path, converted, error);
}

}  // namespace

bool ConvertGbkToBig5(const std::string& path, std::string* error, FileRewriter& rewriter) {
  return ConvertFile(
      path,
      [](std::string_view text, std::string* out, std::string* err) {
        std::string traditional;
        return MapWithinGbk(Mapping::kToTraditional, text, &traditional, err) &&
               Reencode(CodePage::kGbk, CodePage::kBig5, traditional, out, err);
      },
      error, rewriter);
}

bool ConvertGbkToTraditional(const std::string& path, std::string* error,
                             FileRewriter& rewriter) {
  return ConvertFile(
      path,
      [](std::string_view text, std::string* out, std::string* err) {
        return MapWithinGbk(Mapping::kToTraditional, text, out, err);
      },
      error, rewriter);
}

bool ConvertBig5ToGbk(const std::string& path, std::string* error, FileRewriter& rewriter) {
  return ConvertFile(
      path,
      [](std::string_view text, std::string* out, std::string* err) {
        std::string gbk;
        return Reencode(CodePage::kBig5, CodePage::kGbk, text, &gbk, err) &&
               MapWithinGbk(Mapping::kToSimplified, gbk, out, err);
      },
      error, rewriter);
}

bool ConvertGbkToSimplified(const std::string& path, std::string* error,
                            FileRewriter& rewriter) {
  return ConvertFile(
      path,
      [](std::string_view text, std::string* out, std::string* err) {
        return MapWithinGbk(Mapping::kToSimplified, text, out, err);
      },
      error, rewriter);
}

bool ConvertToUtf8(const std::string& path, EncodingSetting setting, std::string* error,
                   FileRewriter& rewriter) {
  std::string content;
  if (!ReadWholeFile(path, &content, error)) return false;
  const DetectedEncoding detected = DetectFileEncoding(content, setting);
  const std::string_view body = std::string_view(content).substr(detected.bomLength);
  std::string utf8;
  switch (detected.encoding) {
    case FileEncoding::Utf8:
      return true;
    case FileEncoding::Utf16LE:
    case FileEncoding::Utf16BE:
      if (!Utf16ToUtf8(body, detected.encoding == FileEncoding::Utf16BE, &utf8)) {
        *error = "not valid UTF-16 text; left as it is";
        return false;
      }
      utf8.insert(0, "\xEF\xBB\xBF");
      break;
    case FileEncoding::CodePage:
    case FileEncoding::Big5:
      if (!WorkCodePage(detected.encoding).ToUtf8(body, &utf8)) {
        *error = std::string("holds bytes that are not ") + FileEncodingName(detected.encoding) +
                 " text; left as it is";
        return false;
      }
      if (utf8 == body) return true;  // plain ASCII reads the same
      break;
  }
  return RewriteFile(rewriter, path, utf8, error);
}

bool ConvertUtf8ToCodePage(const std::string& path, std::string* error,
                           FileRewriter& rewriter) {
  std::string content;
  if (!ReadWholeFile(path, &content, error)) return false;
  std::string_view body = content;
  if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  bool multiByte = false;
  if (!IsValidUtf8(body, &multiByte)) {
    *error = "not valid UTF-8 text; left as it is";
    return false;
  }
  if (!multiByte && body.size() == content.size()) return true;  // plain ASCII
  std::string converted;
  // Characters the code page cannot hold become "?", as in every conversion.
  CodePage::Process().FromUtf8(body, &converted);
  return RewriteFile(rewriter, path, converted, error);
}

}  // namespace strbatch
