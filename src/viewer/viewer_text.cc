#include "viewer/viewer_text.h"

#include <algorithm>
#include <climits>

#include "app/paths.h"

namespace strbatch {
namespace {

// Reads a decimal number the way "%d" does (blanks, optional sign, digits)
// from text at *pos; no digits leaves value at 0. Values beyond the long
// range saturate so that a hostile entry cannot overflow.
long ReadNumber(std::string_view text, size_t* pos) {
  size_t p = *pos;
  while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) p++;
  bool negative = false;
  if (p < text.size() && (text[p] == '-' || text[p] == '+')) negative = text[p++] == '-';
  long value = 0;
  bool digits = false;
  while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
    digits = true;
    int d = text[p++] - '0';
    value = value > (LONG_MAX - d) / 10 ? LONG_MAX : value * 10 + d;
  }
  if (!digits) return 0;
  *pos = p;
  return negative ? 0 : value;
}

// The bytes of [from, from + count) that lie inside the file.
std::string_view Slice(std::string_view bytes, long from, long count) {
  const size_t size = bytes.size();
  size_t begin = std::min(static_cast<size_t>(from), size);
  size_t length = std::min(static_cast<size_t>(count), size - begin);
  return bytes.substr(begin, length);
}

}  // namespace

std::vector<MatchSpan> ParseMatchList(std::string_view entry) {
  std::vector<MatchSpan> spans;
  size_t pieceStart = 0;
  while (pieceStart <= entry.size()) {
    size_t pieceEnd = entry.find_first_of(",;", pieceStart);
    if (pieceEnd == std::string_view::npos) pieceEnd = entry.size();
    std::string_view piece = entry.substr(pieceStart, pieceEnd - pieceStart);
    if (!piece.empty()) {
      MatchSpan span;
      size_t pos = 0;
      span.start = ReadNumber(piece, &pos);
      if (pos > 0 && pos < piece.size() && piece[pos] == ':') {
        pos++;
        span.end = ReadNumber(piece, &pos);
      }
      spans.push_back(span);
    }
    pieceStart = pieceEnd + 1;
  }
  return spans;
}

bool ViewerShowsFile(const std::string& path, const std::string& matchList) {
  if (matchList.empty()) return false;
  const std::string extension = SplitPath(path).extension;
  for (const char* office : {".doc", ".rtf", ".xls", ".ppt"}) {
    if (ExtensionIs(extension, office)) return false;
  }
  return true;
}

void LoadViewerText(std::string_view fileBytes, std::vector<MatchSpan>* spans,
                    ViewerTextSink* sink) {
  sink->Clear();
  long consumed = 0;
  for (MatchSpan& span : *spans) {
    const long offset = span.start;
    const long length = span.end;
    if (offset < consumed) {
      sink->Clear();
      consumed = 0;
    }
    if (consumed < offset) sink->Append(Slice(fileBytes, consumed, offset - consumed));
    const long start = sink->EndPosition();
    sink->Append(Slice(fileBytes, offset, length));
    span.start = start;
    span.end = sink->EndPosition();
    consumed = length > LONG_MAX - offset ? LONG_MAX : offset + length;
  }
  if (static_cast<size_t>(consumed) < fileBytes.size()) {
    sink->Append(fileBytes.substr(static_cast<size_t>(consumed)));
  }
}

bool ClampSpanIndex(long k, size_t spanCount, long* index) {
  if (spanCount < 1) return false;
  *index = std::clamp(k, 0L, static_cast<long>(spanCount) - 1);
  return true;
}

std::string JoinViewerLines(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); i++) {
    if (i > 0) out += "\r\n";
    out += lines[i];
  }
  return out;
}

std::string NormalizeLineEnds(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); i++) {
    char c = bytes[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') i++;
    } else {
      out += c;
    }
  }
  return out;
}

bool BytesSurviveCodePage(std::string_view bytes, const CodePage& codePage) {
  std::string utf8, back;
  if (!codePage.ToUtf8(bytes, &utf8)) return false;
  if (!codePage.FromUtf8(utf8, &back)) return false;
  return back == bytes;
}

bool SaveViewerText(FileRewriter& rewriter, const std::string& path,
                    const std::vector<std::string>& lines, std::string* error) {
  return RewriteFile(rewriter, path, JoinViewerLines(lines), error);
}

}  // namespace strbatch
