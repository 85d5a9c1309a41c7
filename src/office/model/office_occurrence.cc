#include "office/model/office_occurrence.h"

namespace strbatch {
namespace {

long LevelOf(const OfficeLocation& location, long OfficeLocation::*field) {
  return field != nullptr ? location.*field : 0;
}

void SetLevels(OfficeLocation& location, const OfficeLayout& layout,
               const LayoutPosition& position) {
  location.story = position.story;
  if (layout.outer != nullptr) location.*layout.outer = position.outer;
  if (layout.middle != nullptr) location.*layout.middle = position.middle;
  if (layout.inner != nullptr) location.*layout.inner = position.inner;
}

}  // namespace

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): offset then length, as found
LocateResult LocateInLayout(std::string_view segment, int64_t offset, int64_t length,
                            OfficeLocation& location, const OfficeLayout& layout,
                            const CodePage& codePage) {
  const LayoutPosition from{location.story, LevelOf(location, layout.outer),
                            LevelOf(location, layout.middle), LevelOf(location, layout.inner),
                            location.carriedOffset};
  const size_t begin = static_cast<size_t>(offset);
  const LayoutWalk walk =
      WalkLayout(segment, begin, begin + static_cast<size_t>(length), from,
                 static_cast<size_t>(location.continuationBytes), location.afterCarriageReturn,
                 layout.text, codePage);
  if (walk.started) {
    SetLevels(location, layout, walk.atStart);
    location.start = walk.atStart.characters - (layout.startInSegment ? from.characters : 0);
    location.length = walk.length;
  }
  location.continuationBytes = 0;
  location.afterCarriageReturn = false;

  LocateResult result;
  result.editable = walk.aligned && !walk.crossed;
  result.crossed = walk.crossed;
  result.after = location;
  SetLevels(result.after, layout, walk.atEnd);
  result.after.carriedOffset = walk.atEnd.characters;
  result.after.continuationBytes = static_cast<int>(walk.overshoot);
  result.after.afterCarriageReturn = walk.afterCr;
  return result;
}

}  // namespace strbatch
