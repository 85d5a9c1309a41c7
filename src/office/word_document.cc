#include "office/word_document.h"

#include <algorithm>

#include "office/office_save.h"

namespace strbatch {
namespace {

// Sets range over the located occurrence: from the start of its first
// character to the end of its last, or empty at its place when it has no
// characters. False when the place lies outside the document.
bool SetOccurrenceRange(WordCharacters& characters, WordRange& range,
                        const OfficeLocation& location) {
  const long count = characters.Count();
  const long first = location.start + location.carriedOffset + 1;
  const long last = location.start + location.length + location.carriedOffset;
  if (first < 1) return false;
  if (location.length > 0) {
    if (last > count) return false;
    std::unique_ptr<WordRange> firstCharacter = characters.Item(first);
    std::unique_ptr<WordRange> lastCharacter = characters.Item(last);
    range.SetRange(firstCharacter->Start(), lastCharacter->End());
    return true;
  }
  long at;
  if (first <= count) {
    at = characters.Item(first)->Start();
  } else if (first == count + 1 && count > 0) {
    at = characters.Item(count)->End();
  } else {
    return false;
  }
  range.SetRange(at, at);
  return true;
}

}  // namespace

std::unique_ptr<WordDocument> OpenWordDocument(OfficeApplications& applications,
                                               const std::string& path, std::string* whyNot) {
  WordApplication* word = applications.EnsureWord(whyNot);
  if (word == nullptr) return nullptr;
  return word->Open(path, whyNot);
}

std::string WriteWordText(WordDocument& document, const CodePage& codePage) {
  std::string text;
  try {
    std::unique_ptr<WordCharacters> characters = document.Characters();
    const long n = characters->Count();
    std::unique_ptr<WordRange> window = characters->Item(1);
    for (long j = 1; j <= n;) {
      const long k = std::min(j + (kWordTextWindow - 1), n);
      std::unique_ptr<WordRange> first = characters->Item(j);
      std::unique_ptr<WordRange> last = characters->Item(k);
      window->SetRange(first->Start(), last->End());
      std::string bytes;
      codePage.FromUtf8(window->Text(), &bytes);
      text += bytes;
      j = k + 1;
    }
  } catch (const AutomationError&) {
    // The batch goes on with the text read so far.
  }
  return text;
}

LocateResult LocateInWordText(std::string_view segment, int64_t offset, int64_t length,
                              OfficeLocation& location, const CodePage& codePage) {
  const size_t begin = static_cast<size_t>(offset);
  const size_t end = std::min(begin + static_cast<size_t>(length), segment.size());
  size_t pos = std::min(static_cast<size_t>(location.continuationBytes), segment.size());
  bool afterCr = location.afterCarriageReturn;
  long n = 0;
  bool started = false;
  for (;;) {
    if (pos == begin) {
      location.start = n;
      started = true;
    }
    if (pos >= end) break;
    const size_t next = OfficeUnitEnd(segment, pos, codePage);
    const bool single = next == pos + 1;
    const char byte = segment[pos];
    // The second unit of a CR LF or CR BEL pair is not a character of its
    // own in the document.
    if (!(afterCr && single && (byte == '\n' || byte == '\a'))) n++;
    afterCr = single && byte == '\r';
    pos = next;
  }
  if (started) location.length = n - location.start;

  LocateResult result;
  result.editable = started && pos == end;
  result.after = location;
  result.after.carriedOffset = location.carriedOffset + n;
  result.after.continuationBytes = static_cast<int>(pos - end);
  result.after.afterCarriageReturn = afterCr;
  location.continuationBytes = 0;
  location.afterCarriageReturn = false;
  return result;
}

bool WordOccurrenceFits(WordDocument& document, const OfficeLocation& location,
                        std::string_view occurrence, const CodePage& codePage) {
  std::unique_ptr<WordCharacters> characters = document.Characters();
  if (characters->Count() < 1) return false;
  std::unique_ptr<WordRange> range = characters->Item(1);
  if (!SetOccurrenceRange(*characters, *range, location) || !range->CanEdit()) return false;
  std::string bytes;
  // A character the code page cannot hold reads as "?" in the work text; an
  // occurrence that matched such a stand-in is not the document's text.
  return codePage.FromUtf8(range->Text(), &bytes) && bytes == occurrence;
}

void EditWordOccurrence(WordDocument& document, OfficeLocation& location,
                        std::string_view replacement, const CodePage& codePage) {
  std::unique_ptr<WordCharacters> characters = document.Characters();
  std::unique_ptr<WordRange> working = characters->Item(1);
  if (!SetOccurrenceRange(*characters, *working, location)) {
    throw AutomationError("the occurrence lies outside the document");
  }
  working->Cut();
  std::string utf8;
  codePage.ToUtf8(replacement, &utf8);
  working->InsertAfter(utf8);
  location.carriedOffset = working->End();
  location.continuationBytes = 0;
  location.afterCarriageReturn = false;
}

void CloseWordDocument(WordDocument& document, const std::string& path, bool changesExpected,
                       FileRewriter& rewriter) {
  if (changesExpected && document.Modified()) {
    SaveDocumentInPlace([&document](const std::string& copy) { document.SaveCopyAs(copy); },
                        path, rewriter);
  }
  document.Close();
}

}  // namespace strbatch
