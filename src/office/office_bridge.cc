#include "office/office_bridge.h"

#include <algorithm>
#include <vector>

namespace strbatch {

std::vector<OfficeStory> FurtherStories(OfficeKind kind) {
  switch (kind) {
    case OfficeKind::Word:
      return {OfficeStory::kHeadersFooters, OfficeStory::kFootnotes, OfficeStory::kEndnotes,
              OfficeStory::kComments, OfficeStory::kTextBoxes};
    case OfficeKind::Excel:
      return {OfficeStory::kCellComments, OfficeStory::kSheetNames};
    case OfficeKind::PowerPoint:
      return {OfficeStory::kSlideNotes};
    case OfficeKind::None:
      break;
  }
  return {};
}

const char* StoryName(OfficeStory story) {
  switch (story) {
    case OfficeStory::kBody: return "body";
    case OfficeStory::kHeadersFooters: return "headers and footers";
    case OfficeStory::kFootnotes: return "footnotes";
    case OfficeStory::kEndnotes: return "endnotes";
    case OfficeStory::kComments: return "comments";
    case OfficeStory::kTextBoxes: return "text boxes";
    case OfficeStory::kCellComments: return "cell comments";
    case OfficeStory::kSheetNames: return "sheet names";
    case OfficeStory::kSlideNotes: return "slide notes";
  }
  return "body";
}

}  // namespace strbatch
