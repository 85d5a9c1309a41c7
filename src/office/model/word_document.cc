#include "office/model/word_document.h"

#include <algorithm>
#include <string>
#include <vector>

namespace strbatch {
namespace {

// The characters of the location's story.
std::unique_ptr<WordCharacters> StoryCharactersAt(WordDocument& document,
                                                  const OfficeLocation& location) {
  if (location.story == 0) return document.Characters();
  const std::vector<OfficeStory> stories = FurtherStories(OfficeKind::Word);
  if (location.story < 0 || location.story > static_cast<long>(stories.size())) return nullptr;
  return document.StoryCharacters(stories[static_cast<size_t>(location.story - 1)]);
}

OfficeText WriteCharactersText(WordCharacters& characters, const CodePage& codePage) {
  OfficeText text;
  const long n = characters.Count();
  if (n < 1) return text;
  std::unique_ptr<WordRange> window = characters.Item(1);
  for (long j = 1; j <= n;) {
    const long k = std::min(j + (kWordTextWindow - 1), n);
    std::string utf8;
    try {
      std::unique_ptr<WordRange> first = characters.Item(j);
      std::unique_ptr<WordRange> last = characters.Item(k);
      window->SetRange(first->Start(), last->End());
      utf8 = window->Text();
    } catch (const AutomationError& error) {
      if (j == 1) {
        throw AutomationError("the document's text could not be read: " +
                              std::string(error.what()));
      }
      // A find counts what was read; a replace leaves the document alone.
      text.readInPart = true;
      return text;
    }
    text.AppendUtf8(utf8, codePage);
    j = k + 1;
  }
  return text;
}

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

OfficeText WriteWordText(WordDocument& document, const CodePage& codePage) {
  return WriteCharactersText(*document.Characters(), codePage);
}

OfficeText WriteWordStory(WordDocument& document, OfficeStory story, const CodePage& codePage) {
  return WriteCharactersText(*document.StoryCharacters(story), codePage);
}

std::unique_ptr<WordRange> WordSteps::OccurrenceCharacters(WordDocument& document,
                                                           const OfficeLocation& location) {
  std::unique_ptr<WordCharacters> characters = StoryCharactersAt(document, location);
  if (!characters || characters->Count() < 1) return nullptr;
  std::unique_ptr<WordRange> range = characters->Item(1);
  if (!SetOccurrenceRange(*characters, *range, location)) return nullptr;
  return range;
}

long WordSteps::ReplaceCharacters(WordDocument& document, const OfficeLocation& location,
                                  std::string_view utf8) {
  std::unique_ptr<WordCharacters> characters = StoryCharactersAt(document, location);
  if (!characters || characters->Count() < 1) {
    throw AutomationError("the occurrence lies outside the document");
  }
  std::unique_ptr<WordRange> working = characters->Item(1);
  if (!SetOccurrenceRange(*characters, *working, location)) {
    throw AutomationError("the occurrence lies outside the document");
  }
  working->Cut();
  working->InsertAfter(utf8);
  return working->End();
}

}  // namespace strbatch
