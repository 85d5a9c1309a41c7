#include "batch/code_conversion.h"

#include <opencc/opencc.h>

#include <cstdlib>
#include <exception>
#include <span>
#include <string_view>
#include <unordered_map>

#include "base/code_page.h"

namespace strbatch {
namespace {

// One OpenCC converter per direction, opened on first use and kept for the
// life of the process: loading its dictionaries costs far more than
// converting a typical file.
class ChineseMapper {
 public:
  explicit ChineseMapper(const char* config) {
    std::string why;
    try {
      handle_ = opencc_open(config);
    } catch (const std::exception& e) {
      handle_ = kFailed;
      why = e.what();
    }
    if (handle_ == kFailed) {
      if (why.empty() && opencc_error() != nullptr) why = opencc_error();
      failure_ = Message(MessageId::kCannotOpenMapping, {config});
      if (!why.empty()) failure_ = failure_.Because(LibraryText(why));
    }
  }
  ~ChineseMapper() {
    if (handle_ != kFailed) opencc_close(handle_);
  }
  ChineseMapper(const ChineseMapper&) = delete;
  ChineseMapper& operator=(const ChineseMapper&) = delete;

  // Maps the text piece by piece (see PieceEnd): OpenCC holds many times its
  // input while it works (a string per segment), so a whole large file at
  // once would need memory out of all proportion to the file.
  bool Map(std::string_view utf8, std::string* out, Message* error) const {
    if (handle_ == kFailed) {
      *error = failure_;
      return false;
    }
    out->clear();
    out->reserve(utf8.size() + utf8.size() / 8);
    for (size_t start = 0; start < utf8.size();) {
      const size_t end = PieceEnd(utf8, start);
      if (!MapPiece(utf8.substr(start, end - start), out, error)) return false;
      start = end;
    }
    return true;
  }

  // Where the piece of utf8 that starts at start ends: after a line feed,
  // which no dictionary phrase spans, within kPieceBytes; only a line
  // longer than a piece is cut inside, at a character boundary.
  static size_t PieceEnd(std::string_view utf8, size_t start,
                         size_t pieceBytes = kPieceBytes) {
    size_t end = utf8.size();
    if (end - start > pieceBytes) {
      end = start + pieceBytes;
      size_t feed = utf8.rfind('\n', end - 1);
      if (feed != std::string_view::npos && feed >= start) {
        end = feed + 1;
      } else {
        while (end > start + 1 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) end--;
      }
    }
    return end;
  }

 private:
  static constexpr size_t kPieceBytes = size_t{1} << 20;
  // What opencc_open gives when it fails.
  static inline const opencc_t kFailed =
      reinterpret_cast<opencc_t>(-1);  // NOLINT(performance-no-int-to-ptr): the library's value

  bool MapPiece(std::string_view utf8, std::string* out, Message* error) const {
    char* mapped = nullptr;
    try {
      mapped = opencc_convert_utf8(handle_, utf8.data(), utf8.size());
    } catch (const std::exception& e) {
      *error = Message(MessageId::kMappingFailed).Because(LibraryText(e.what()));
      return false;
    }
    if (mapped == nullptr) {
      *error = Message(MessageId::kMappingFailed);
      return false;
    }
    out->append(mapped);
    opencc_convert_utf8_free(mapped);
    return true;
  }

  opencc_t handle_ = kFailed;
  Message failure_;
};

// The OpenCC configurations the conversions use: the generic traditional
// forms tell which characters are simplified forms at all; the Taiwan
// standard forms are those BIG5 and everyday traditional text hold.
const ChineseMapper& Mapper(const char* config) {
  static const ChineseMapper generic("s2t.json");
  static const ChineseMapper taiwan("s2tw.json");
  static const ChineseMapper simplified("t2s.json");
  const std::string_view name(config);
  if (name == "s2tw.json") return taiwan;
  if (name == "t2s.json") return simplified;
  return generic;
}

// Whether a code page holds a character (UTF-8), remembered per character.
class HeldCharacters {
 public:
  explicit HeldCharacters(const CodePage& codePage) : codePage_(codePage) {}
  bool Holds(std::string_view character) {
    auto [entry, added] = held_.try_emplace(std::string(character), false);
    if (added) {
      std::string bytes;
      entry->second = character != "\xEF\xBF\xBD" && codePage_.FromUtf8(character, &bytes);
    }
    return entry->second;
  }

 private:
  const CodePage& codePage_;
  std::unordered_map<std::string, bool> held_;
};

// The next UTF-8 character of text at *at, moving past it.
std::string_view NextCharacter(std::string_view text, size_t* at) {
  const size_t start = *at;
  *at = CodePage::Utf8().NextChar(text, start);
  return text.substr(start, *at - start);
}

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (size_t at = 0; at < text.size(); count++) NextCharacter(text, &at);
  return count;
}

// Maps the Chinese characters of UTF-8 text one by one and guards the
// result, so that no other character changes and nothing the target code
// page cannot hold slips in:
// - a character that the generic mapping changes takes the preferred form
//   (or, where the target lacks it, the generic one, then the character
//   itself);
// - every other character stays as it is where the target holds it, else
//   takes the preferred form;
// - what the target holds in no form becomes "?", counted in *unmapped.
// OpenCC keeps the number of characters, so its outputs align with the
// input; a piece where they do not is mapped character by character.
class GuardedMapping {
 public:
  GuardedMapping(const char* generic, const char* preferred, const CodePage& target)
      : generic_(Mapper(generic)), preferred_(Mapper(preferred)), held_(target) {}

  bool Map(std::string_view utf8, std::string* out, size_t* unmapped, Message* error) {
    out->reserve(utf8.size());
    for (size_t start = 0; start < utf8.size();) {
      // Smaller pieces than one mapping alone takes: two mappings of each are
      // held at once.
      const size_t end = ChineseMapper::PieceEnd(utf8, start, size_t{1} << 18);
      if (!MapPiece(utf8.substr(start, end - start), out, unmapped, error)) return false;
      start = end;
    }
    return true;
  }

 private:
  bool MapPiece(std::string_view utf8, std::string* out, size_t* unmapped, Message* error) {
    std::string generic, preferred;
    if (!generic_.Map(utf8, &generic, error) || !preferred_.Map(utf8, &preferred, error)) {
      return false;
    }
    const size_t count = CharacterCount(utf8);
    if (CharacterCount(generic) == count && CharacterCount(preferred) == count) {
      size_t at = 0, g = 0, p = 0;
      while (at < utf8.size()) {
        Choose(NextCharacter(utf8, &at), NextCharacter(generic, &g), NextCharacter(preferred, &p),
               out, unmapped);
      }
      return true;
    }
    for (size_t at = 0; at < utf8.size();) {
      const std::string_view character = NextCharacter(utf8, &at);
      if (!generic_.Map(character, &generic, error) ||
          !preferred_.Map(character, &preferred, error)) {
        return false;
      }
      Choose(character, generic, preferred, out, unmapped);
    }
    return true;
  }

  void Choose(std::string_view original, std::string_view generic, std::string_view preferred,
              std::string* out, size_t* unmapped) {
    const bool simplifiedForm = generic != original;
    const std::string_view mappedOrder[] = {preferred, generic, original};
    const std::string_view keptOrder[] = {original, preferred};
    for (std::string_view candidate : simplifiedForm
                                          ? std::span<const std::string_view>(mappedOrder)
                                          : std::span<const std::string_view>(keptOrder)) {
      if (held_.Holds(candidate)) {
        out->append(candidate);
        return;
      }
    }
    out->push_back('?');
    (*unmapped)++;
  }

  const ChineseMapper& generic_;
  const ChineseMapper& preferred_;
  HeldCharacters held_;
};

// The code page text as UTF-8; what does not decode becomes U+FFFD, which
// no target holds, so it is counted where it turns into "?".
std::string Decode(const CodePage& codePage, std::string_view text) {
  std::string utf8;
  codePage.ToUtf8(text, &utf8);
  return utf8;
}

// One of the four Chinese conversions over the text before the first NUL.
bool ConvertChinese(CodeConversion conversion, std::string_view text, std::string* out,
                    size_t* unmapped, Message* error) {
  const bool fromBig5 = conversion == CodeConversion::Big5ToGbk;
  const bool toBig5 = conversion == CodeConversion::GbkToBig5;
  const bool toTraditional = toBig5 || conversion == CodeConversion::GbkToTraditional;
  const CodePage& source = fromBig5 ? CodePage::Big5() : CodePage::Gbk();
  const CodePage& target = toBig5 ? CodePage::Big5() : CodePage::Gbk();
  GuardedMapping mapping(toTraditional ? "s2t.json" : "t2s.json",
                         toTraditional ? "s2tw.json" : "t2s.json", target);
  std::string mapped;
  if (!mapping.Map(Decode(source, text), &mapped, unmapped, error)) return false;
  // Every character of mapped is one the target holds.
  if (!target.FromUtf8(mapped, out)) {
    *error = Message(MessageId::kCannotEncode, {target.Name()});
    return false;
  }
  return true;
}

// The line (from 1) of the byte at offset.
size_t LineOf(std::string_view text, size_t offset) {
  size_t line = 1;
  for (size_t i = 0; i < offset && i < text.size(); i++) line += text[i] == '\n';
  return line;
}

ConversionResult ToUtf8(std::string_view content, EncodingSetting setting, std::string* out) {
  ConversionResult result;
  const DetectedEncoding detected = DetectFileEncoding(content, setting);
  const std::string_view body = content.substr(detected.bomLength);
  bool multiByte = false;
  switch (detected.encoding) {
    case FileEncoding::Utf8:
      if (!IsValidUtf8(body, &multiByte)) {
        result.status = ConversionResult::kInvalidBytes;
        result.encodingName = "UTF-8";
        return result;
      }
      result.status = multiByte || detected.bomLength > 0 ? ConversionResult::kAlreadyUtf8
                                                          : ConversionResult::kUnchanged;
      return result;
    case FileEncoding::Utf16LE:
    case FileEncoding::Utf16BE:
      if (!Utf16ToUtf8(body, detected.encoding == FileEncoding::Utf16BE, out)) {
        result.status = ConversionResult::kInvalidBytes;
        result.encodingName = "UTF-16";
        return result;
      }
      out->insert(0, "\xEF\xBB\xBF");
      return result;
    case FileEncoding::CodePage:
    case FileEncoding::Big5:
      break;
  }
  // Read as a code page, a file that is already UTF-8 (or UTF-16, or marked
  // as UTF-8) would turn into nonsense: it is left alone.
  const bool marked = content.substr(0, 3) == "\xEF\xBB\xBF" ||
                      content.substr(0, 2) == "\xFF\xFE" || content.substr(0, 2) == "\xFE\xFF";
  if (marked || (IsValidUtf8(content, &multiByte) && multiByte)) {
    result.status = ConversionResult::kAlreadyUtf8;
    return result;
  }
  const CodePage& codePage = WorkCodePage(detected.encoding);
  if (!codePage.ToUtf8(body, out)) {
    result.status = ConversionResult::kInvalidBytes;
    result.encodingName = codePage.Name();
    return result;
  }
  if (*out == body) result.status = ConversionResult::kUnchanged;  // plain ASCII reads the same
  return result;
}

ConversionResult Utf8ToCodePage(std::string_view content, std::string* out) {
  ConversionResult result;
  std::string_view body = content;
  if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  bool multiByte = false;
  if (!IsValidUtf8(body, &multiByte)) {
    result.status = ConversionResult::kInvalidBytes;
    result.encodingName = "UTF-8";
    return result;
  }
  if (!multiByte && body.size() == content.size()) {
    result.status = ConversionResult::kUnchanged;  // plain ASCII
    return result;
  }
  const CodePage& codePage = CodePage::Process();
  size_t offset = 0;
  if (codePage.FirstCharacterNotHeld(body, &result.character, &offset)) {
    result.status = ConversionResult::kNotHeld;
    result.line = LineOf(body, offset);
    result.encodingName = codePage.Name();
    return result;
  }
  codePage.FromUtf8(body, out);
  return result;
}

}  // namespace

ConversionResult ConvertCodeFile(const std::string& path, CodeConversion conversion,
                                 EncodingSetting setting, FileRewriter& rewriter) {
  ConversionResult result;
  std::string content;
  if (!ReadWholeFile(path, &content, &result.error)) {
    result.status = ConversionResult::kFailed;
    return result;
  }
  std::string converted;
  switch (conversion) {
    case CodeConversion::None:
      result.status = ConversionResult::kUnchanged;
      return result;
    case CodeConversion::ToUtf8:
      result = ToUtf8(content, setting, &converted);
      break;
    case CodeConversion::Utf8ToCodePage:
      result = Utf8ToCodePage(content, &converted);
      break;
    case CodeConversion::GbkToBig5:
    case CodeConversion::GbkToTraditional:
    case CodeConversion::Big5ToGbk:
    case CodeConversion::GbkToSimplified: {
      // The text before the first NUL is converted; the NUL and every byte
      // after it are kept as they are.
      const size_t end = std::min(content.find('\0'), content.size());
      if (end > 0 && !ConvertChinese(conversion, std::string_view(content).substr(0, end),
                                     &converted, &result.unmapped, &result.error)) {
        result.status = ConversionResult::kFailed;
        return result;
      }
      converted.append(content, end, std::string::npos);
      result.encodingName = conversion == CodeConversion::GbkToBig5 ? CodePage::Big5().Name()
                                                                    : CodePage::Gbk().Name();
      break;
    }
  }
  if (result.status != ConversionResult::kConverted) return result;
  if (!RewriteFile(rewriter, path, converted, &result.error)) {
    result.status = ConversionResult::kFailed;
  }
  return result;
}

Message ConversionResult::Why() const {
  switch (status) {
    case kConverted:
    case kUnchanged:
      return Message();
    case kAlreadyUtf8:
      return Message(MessageId::kAlreadyUtf8);
    case kNotHeld:
      return Message(MessageId::kCharacterNotHeld, {character, CodePointName(character),
                                                    std::to_string(line), encodingName});
    case kInvalidBytes:
      return Message(MessageId::kInvalidBytes, {encodingName});
    case kFailed:
      return error;
  }
  return error;
}

namespace {

bool Converted(const std::string& path, CodeConversion conversion, EncodingSetting setting,
               Message* error, FileRewriter& rewriter) {
  const ConversionResult result = ConvertCodeFile(path, conversion, setting, rewriter);
  if (result.Failed()) *error = result.Why();
  return !result.Failed();
}

}  // namespace

bool ConvertGbkToBig5(const std::string& path, Message* error, FileRewriter& rewriter) {
  return Converted(path, CodeConversion::GbkToBig5, EncodingSetting::Gbk, error, rewriter);
}

bool ConvertGbkToTraditional(const std::string& path, Message* error, FileRewriter& rewriter) {
  return Converted(path, CodeConversion::GbkToTraditional, EncodingSetting::Gbk, error, rewriter);
}

bool ConvertBig5ToGbk(const std::string& path, Message* error, FileRewriter& rewriter) {
  return Converted(path, CodeConversion::Big5ToGbk, EncodingSetting::Gbk, error, rewriter);
}

bool ConvertGbkToSimplified(const std::string& path, Message* error, FileRewriter& rewriter) {
  return Converted(path, CodeConversion::GbkToSimplified, EncodingSetting::Gbk, error, rewriter);
}

bool ConvertToUtf8(const std::string& path, EncodingSetting setting, Message* error,
                   FileRewriter& rewriter) {
  return Converted(path, CodeConversion::ToUtf8, setting, error, rewriter);
}

bool ConvertUtf8ToCodePage(const std::string& path, Message* error, FileRewriter& rewriter) {
  return Converted(path, CodeConversion::Utf8ToCodePage, EncodingSetting::Gbk, error, rewriter);
}

}  // namespace strbatch
