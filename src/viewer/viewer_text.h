// The file viewer without its window: which rows it shows, the match list
// parsed into spans, the file decoded in its own encoding, the loading
// procedure that turns byte spans into character positions measured by the
// text control, and the all-or-nothing save that joins the control's lines
// with the file's line end and writes them back in the file's encoding.
#ifndef STRBATCH_VIEWER_VIEWER_TEXT_H_
#define STRBATCH_VIEWER_VIEWER_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "base/safe_file.h"
#include "base/text_encoding.h"
#include "lists/file_list.h"

namespace strbatch {

// One occurrence as the viewer shows it. Made from a match it holds a byte
// offset (start) and a byte length (end); once loaded, the character
// position of its first character in the text control and the position
// just after it.
struct ViewerSpan {
  long start = 0;
  long end = 0;
};

// The spans of a row's matches; a negative value counts as 0 and one too
// large for the control as the largest it takes.
std::vector<ViewerSpan> ViewerSpans(const std::vector<MatchSpan>& matches);

// True when the viewer shows this row: it has matches and the file is not
// an office document (those go to the desktop's opener).
bool ViewerShowsFile(const std::string& path, const std::vector<MatchSpan>& matches);

// The text control as the loader fills it. Positions are in the control's
// own characters, whatever it makes of line ends.
class ViewerTextSink {
 public:
  virtual ~ViewerTextSink() = default;
  virtual void Clear() = 0;
  // Appends text (UTF-8).
  virtual void Append(std::string_view utf8) = 0;
  // The position just after the last character.
  virtual long EndPosition() const = 0;
};

// One file as the viewer reads and writes it under an encoding setting:
// under "gbk" every file is code page text; otherwise the file's own
// encoding decides, and a byte-order mark is shown nowhere and written back
// first. Match-list offsets stay byte offsets in the file.
class ViewerFile {
 public:
  ViewerFile() = default;
  ViewerFile(std::string bytes, EncodingSetting setting);

  FileEncoding Encoding() const { return detected_.encoding; }
  // The bytes after the mark.
  std::string_view Body() const { return std::string_view(bytes_).substr(detected_.bomLength); }

  // A file byte offset as an offset into the body. An offset inside the mark
  // becomes 0; in UTF-8 and UTF-16 an offset inside a character moves to its
  // start, or with roundUp to its end, so that a match list made under
  // another setting cannot cut characters apart.
  long BodyOffset(long fileOffset, bool roundUp) const;

  // What a save writes between lines: the file's first line end as loaded
  // ("\n" or "\r\n"), "\r\n" when it has none.
  std::string_view LineEnd() const { return lineEnd_; }

  // Body bytes as text (UTF-8); what does not decode becomes U+FFFD.
  std::string Decode(std::string_view piece) const;

  // What a save writes for the text (UTF-8): the mark, then the text in the
  // file's encoding, a character the encoding cannot hold written as "?".
  // False when no bytes can be made of the text.
  bool Encode(std::string_view utf8, std::string* bytes) const;

  // True when saving the shown lines (UTF-8) writes the file's own bytes,
  // line ends aside: the body decodes without loss and encodes back to
  // itself, and the lines hold exactly its text.
  bool ShowsFaithfully(const std::vector<std::string>& lines) const;

 private:
  std::string bytes_;
  DetectedEncoding detected_;
  std::string_view lineEnd_ = "\r\n";  // a literal, never into bytes_
};

// Fills sink with the file's text: the text before each span, the span
// itself, and after the last span the rest. A span that starts before the
// text already shown (spans of several definitions overlap or go back)
// rebuilds the text from the start. Every span is turned into the control
// positions measured around its append; spans past the end of the file are
// cut at the end.
void LoadViewerText(const ViewerFile& file, std::vector<ViewerSpan>* spans,
                    ViewerTextSink* sink);

// The clamped index of a next/previous step to span k; false when there is
// no span.
bool ClampSpanIndex(long k, size_t spanCount, long* index);

// What a save writes: the lines joined by lineEnd, nothing after the last.
std::string JoinViewerLines(const std::vector<std::string>& lines,
                            std::string_view lineEnd = "\r\n");

// The text with every line end ("\r\n", a lone "\r" or "\n") written as
// lineEnd: what a save of the unedited text gives for a file whose text the
// control shows faithfully.
std::string NormalizeLineEnds(std::string_view bytes, std::string_view lineEnd = "\r\n");

// Writes the lines (UTF-8), joined by the file's line end, over path in the
// file's encoding, all-or-nothing. False, with a reason and the file as it was, when that
// fails.
bool SaveViewerText(FileRewriter& rewriter, const std::string& path, const ViewerFile& file,
                    const std::vector<std::string>& lines, Message* error);
// The same for lines that are already the file's bytes (code page text).
bool SaveViewerText(FileRewriter& rewriter, const std::string& path,
                    const std::vector<std::string>& lines, Message* error);

}  // namespace strbatch

#endif  // STRBATCH_VIEWER_VIEWER_TEXT_H_
