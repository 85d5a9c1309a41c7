// The file viewer without its window: which rows it shows, the match list
// parsed into spans, the loading procedure that turns byte spans into
// character positions measured by the text control, and the all-or-nothing
// save that joins the control's lines with "\r\n".
#ifndef STRBATCH_VIEWER_VIEWER_TEXT_H_
#define STRBATCH_VIEWER_VIEWER_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

#include "app/code_page.h"
#include "app/safe_file.h"

namespace strbatch {

// One occurrence. Parsed from the match list it holds a byte offset (start)
// and a byte length (end); once loaded, the character position of its first
// character in the text control and the position just after it.
struct MatchSpan {
  long start = 0;
  long end = 0;
};

// The records "offset:length" of a match-list entry, separated by "," or
// ";", empty pieces dropped. A number that does not parse, or is negative,
// counts as 0.
std::vector<MatchSpan> ParseMatchList(std::string_view entry);

// True when the viewer shows this row: the match list is not empty and the
// file is not an office document (those go to the desktop's opener).
bool ViewerShowsFile(const std::string& path, const std::string& matchList);

// The text control as the loader fills it. Positions are in the control's
// own characters, whatever it makes of double-byte characters and line ends.
class ViewerTextSink {
 public:
  virtual ~ViewerTextSink() = default;
  virtual void Clear() = 0;
  // Appends code page bytes as text.
  virtual void Append(std::string_view bytes) = 0;
  // The position just after the last character.
  virtual long EndPosition() const = 0;
};

// Fills sink with the file's bytes: the text before each span, the span
// itself, and after the last span the rest. A span that starts before the
// text already shown (spans of several definitions overlap or go back)
// rebuilds the text from the start. Every span is turned into the control
// positions measured around its append; spans past the end of the file are
// cut at the end.
void LoadViewerText(std::string_view fileBytes, std::vector<MatchSpan>* spans,
                    ViewerTextSink* sink);

// The clamped index of a next/previous step to span k; false when there is
// no span.
bool ClampSpanIndex(long k, size_t spanCount, long* index);

// What a save writes: the lines joined by "\r\n", nothing after the last.
std::string JoinViewerLines(const std::vector<std::string>& lines);

// The bytes with every line end ("\r\n", a lone "\r" or "\n") written as
// "\r\n": what a save of the unedited text gives for a file whose bytes the
// control shows faithfully.
std::string NormalizeLineEnds(std::string_view bytes);

// True when bytes decode to text of the code page and encode back to
// themselves: no invalid sequence, no unmappable character.
bool BytesSurviveCodePage(std::string_view bytes, const CodePage& codePage);

// Writes the joined lines over path all-or-nothing. False, with a reason and
// the file as it was, when that fails.
bool SaveViewerText(FileRewriter& rewriter, const std::string& path,
                    const std::vector<std::string>& lines, std::string* error);

}  // namespace strbatch

#endif  // STRBATCH_VIEWER_VIEWER_TEXT_H_
