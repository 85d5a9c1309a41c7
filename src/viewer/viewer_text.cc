#include "viewer/viewer_text.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "base/paths.h"
#include "office/office_bridge.h"

namespace strbatch {
namespace {

// The bytes of [from, from + count) that lie inside the file.
std::string_view Slice(std::string_view bytes, long from, long count) {
  const size_t size = bytes.size();
  size_t begin = std::min(static_cast<size_t>(from), size);
  size_t length = std::min(static_cast<size_t>(count), size - begin);
  return bytes.substr(begin, length);
}

bool IsUtf16(FileEncoding encoding) {
  return encoding == FileEncoding::Utf16LE || encoding == FileEncoding::Utf16BE;
}

uint16_t Utf16Unit(std::string_view bytes, size_t at, bool bigEndian) {
  const unsigned char a = static_cast<unsigned char>(bytes[at]);
  const unsigned char b = static_cast<unsigned char>(bytes[at + 1]);
  return bigEndian ? static_cast<uint16_t>(a << 8 | b) : static_cast<uint16_t>(b << 8 | a);
}

// UTF-16 for the screen: an unpaired surrogate or an odd last byte shows
// as U+FFFD instead of ending the text.
std::string Utf16ForDisplay(std::string_view bytes, bool bigEndian) {
  std::string utf8;
  utf8.reserve(bytes.size() * 3 / 2);
  size_t at = 0;
  while (at < bytes.size()) {
    UChar32 c = 0xFFFD;
    if (at + 1 < bytes.size()) {
      c = Utf16Unit(bytes, at, bigEndian);
      at += 2;
      if (U16_IS_LEAD(c) && at + 1 < bytes.size() &&
          U16_IS_TRAIL(Utf16Unit(bytes, at, bigEndian))) {
        c = U16_GET_SUPPLEMENTARY(c, Utf16Unit(bytes, at, bigEndian));
        at += 2;
      } else if (U16_IS_SURROGATE(c)) {
        c = 0xFFFD;
      }
    } else {
      at++;
    }
    char buffer[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(buffer, length, c);
    utf8.append(buffer, static_cast<size_t>(length));
  }
  return utf8;
}

}  // namespace

ViewerFile::ViewerFile(std::string bytes, EncodingSetting setting)
    : bytes_(std::move(bytes)), detected_(DetectFileEncoding(bytes_, setting)) {
  // UTF-16 holds its CR and LF in two bytes; the other encodings as ASCII.
  lineEnd_ = IsUtf16(detected_.encoding) ? FirstLineEnd(Decode(Body())) : FirstLineEnd(Body());
}

long ViewerFile::BodyOffset(long fileOffset, bool roundUp) const {
  const long mark = static_cast<long>(detected_.bomLength);
  if (fileOffset <= mark) return 0;
  const std::string_view body = Body();
  const size_t at = static_cast<size_t>(fileOffset - mark);
  if (at >= body.size()) return static_cast<long>(at);
  // The start of the character the offset falls in, and its end.
  size_t start = at, end = at;
  if (IsUtf16(detected_.encoding)) {
    const bool bigEndian = detected_.encoding == FileEncoding::Utf16BE;
    start = at & ~static_cast<size_t>(1);
    if (start >= 2 && start + 1 < body.size() && U16_IS_TRAIL(Utf16Unit(body, start, bigEndian)) &&
        U16_IS_LEAD(Utf16Unit(body, start - 2, bigEndian))) {
      start -= 2;
    }
    end = start + 2;
    if (start + 3 < body.size() && U16_IS_LEAD(Utf16Unit(body, start, bigEndian)) &&
        U16_IS_TRAIL(Utf16Unit(body, start + 2, bigEndian))) {
      end += 2;
    }
  } else if (detected_.encoding == FileEncoding::Utf8) {
    // The nearest lead byte at most three bytes back, if its character
    // reaches over this offset.
    size_t lead = at;
    while (lead > 0 && at - lead < 3 && (static_cast<unsigned char>(body[lead]) & 0xC0) == 0x80) {
      lead--;
    }
    const size_t next = CodePage::Utf8().NextChar(body, lead);
    if (next > at) {
      start = lead;
      end = next;
    }
  }
  return static_cast<long>(start == at || !roundUp ? start : end);
}

std::string ViewerFile::Decode(std::string_view piece) const {
  if (IsUtf16(detected_.encoding)) {
    return Utf16ForDisplay(piece, detected_.encoding == FileEncoding::Utf16BE);
  }
  std::string utf8;
  WorkCodePage(detected_.encoding).ToUtf8(piece, &utf8);
  return utf8;
}

bool ViewerFile::Encode(std::string_view utf8, std::string* bytes) const {
  std::string body;
  if (IsUtf16(detected_.encoding)) {
    if (!Utf8ToUtf16(utf8, detected_.encoding == FileEncoding::Utf16BE, &body)) return false;
  } else {
    // A character the encoding cannot hold becomes "?", as anywhere the
    // user types text for a code page.
    WorkCodePage(detected_.encoding).FromUtf8(utf8, &body);
  }
  *bytes = bytes_.substr(0, detected_.bomLength) + body;
  return true;
}

bool ViewerFile::ShowsFaithfully(const std::vector<std::string>& lines) const {
  const std::string_view body = Body();
  std::string text, back;
  if (IsUtf16(detected_.encoding)) {
    // Decoding fails on anything that would not come back as it was.
    if (!Utf16ToUtf8(body, detected_.encoding == FileEncoding::Utf16BE, &text)) return false;
  } else {
    const CodePage& codePage = WorkCodePage(detected_.encoding);
    if (!codePage.ToUtf8(body, &text) || !codePage.FromUtf8(text, &back) || back != body) {
      return false;
    }
  }
  return JoinViewerLines(lines, lineEnd_) == NormalizeLineEnds(text, lineEnd_);
}

std::vector<ViewerSpan> ViewerSpans(const std::vector<MatchSpan>& matches) {
  std::vector<ViewerSpan> spans;
  spans.reserve(matches.size());
  auto clamp = [](int64_t value) {
    return static_cast<long>(std::clamp<int64_t>(value, 0, LONG_MAX));
  };
  for (const MatchSpan& match : matches) spans.push_back({clamp(match.offset), clamp(match.length)});
  return spans;
}

bool ViewerShowsFile(const std::string& path, const std::vector<MatchSpan>& matches) {
  if (matches.empty()) return false;
  // The batch's own predicate: what it opens as an office document must
  // never be shown (and saved) as text.
  return OfficeKindOf(SplitPath(path).extension) == OfficeKind::None;
}

void LoadViewerText(const ViewerFile& file, std::vector<ViewerSpan>* spans,
                    ViewerTextSink* sink) {
  const std::string_view body = file.Body();
  sink->Clear();
  long consumed = 0;
  for (ViewerSpan& span : *spans) {
    // A span that reaches into a character takes all of it.
    const long offset = file.BodyOffset(span.start, false);
    const long end = file.BodyOffset(
        span.end > LONG_MAX - span.start ? LONG_MAX : span.start + span.end, true);
    const long length = end - offset;
    if (offset < consumed) {
      sink->Clear();
      consumed = 0;
    }
    if (consumed < offset) sink->Append(file.Decode(Slice(body, consumed, offset - consumed)));
    const long start = sink->EndPosition();
    sink->Append(file.Decode(Slice(body, offset, length)));
    span.start = start;
    span.end = sink->EndPosition();
    consumed = end;
  }
  if (static_cast<size_t>(consumed) < body.size()) {
    sink->Append(file.Decode(body.substr(static_cast<size_t>(consumed))));
  }
}

bool ClampSpanIndex(long k, size_t spanCount, long* index) {
  if (spanCount < 1) return false;
  *index = std::clamp(k, 0L, static_cast<long>(spanCount) - 1);
  return true;
}

std::string JoinViewerLines(const std::vector<std::string>& lines, std::string_view lineEnd) {
  std::string out;
  for (size_t i = 0; i < lines.size(); i++) {
    if (i > 0) out += lineEnd;
    out += lines[i];
  }
  return out;
}

std::string NormalizeLineEnds(std::string_view bytes, std::string_view lineEnd) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); i++) {
    char c = bytes[i];
    if (c == '\r' || c == '\n') {
      out += lineEnd;
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') i++;
    } else {
      out += c;
    }
  }
  return out;
}

bool SaveViewerText(FileRewriter& rewriter, const std::string& path, const ViewerFile& file,
                    const std::vector<std::string>& lines, Message* error) {
  std::string bytes;
  if (!file.Encode(JoinViewerLines(lines, file.LineEnd()), &bytes)) {
    *error = Message(MessageId::kTextNotWritableAs, {FileEncodingName(file.Encoding())});
    return false;
  }
  return RewriteFile(rewriter, path, bytes, error);
}

bool SaveViewerText(FileRewriter& rewriter, const std::string& path,
                    const std::vector<std::string>& lines, Message* error) {
  return RewriteFile(rewriter, path, JoinViewerLines(lines), error);
}

}  // namespace strbatch
