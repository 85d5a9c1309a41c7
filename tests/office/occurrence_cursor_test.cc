// The occurrence cursor both office paths keep: the sequences of locate and
// edit in which an occurrence could be edited twice, edited without being
// located, taken for replaced when it was left, or read outside its text.
#include "office/occurrence_cursor.h"

#include <cstdint>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace strbatch {
namespace {

// Runs steps separated by ';' over a cursor and tells what each one saw:
//   "B text"  Begin over text: nothing to tell
//   "L s n"   Locate: "walk " when the occurrence before was left unedited,
//             the occurrence, "~" when the range was clamped, "@" where the
//             walk to it begins
//   "E", "X"  take for edit, then edit ("edited") or leave it ("left");
//             "-" when nothing was handed out
// and, last, the leftovers counted.
std::string Walk(const std::string& steps) {
  OccurrenceCursor cursor;
  std::string seen;
  std::istringstream in(steps);
  for (std::string step; std::getline(in, step, ';');) {
    step.erase(0, step.find_first_not_of(' '));
    if (step[0] == 'B') {
      cursor.Begin(step.substr(2));
      seen += ";";
      continue;
    }
    if (step[0] == 'L') {
      std::istringstream numbers(step.substr(1));
      int64_t start = 0, length = 0;
      numbers >> start >> length;
      const bool walk = cursor.Locate(start, length);
      seen += (walk ? "walk " : "") + std::string(cursor.Text()) + (cursor.Clamped() ? "~" : "") +
              "@" + std::to_string(cursor.WalkFrom()) + ";";
      continue;
    }
    if (!cursor.TakeForEdit()) {
      seen += "-;";
    } else if (step[0] == 'E') {
      cursor.Edited();
      seen += "edited;";
    } else {
      cursor.Leave(NotAppliedReason::kProtected);
      seen += "left;";
    }
  }
  return seen + std::to_string(cursor.Leftovers().Total());
}

TEST(OccurrenceCursorTest, Sequences) {
  const struct {
    const char* steps;
    const char* seen;
  } rows[] = {
      // An edited occurrence is no longer in the document: nothing to walk.
      {"B abcdef; L 1 2; E; L 3 1", ";bc@0;edited;d@3;0"},
      // Found but not edited: the next walk passes over it.
      {"B abcdef; L 0 2; L 3 2", ";ab@0;walk de@2;0"},
      {"B abcdef; L 0 2; X; L 3 2", ";ab@0;left;walk de@2;1"},
      // Nothing located, nothing to edit.
      {"B abc; E; X; L 0 1", ";-;-;a@0;0"},
      // One edit per occurrence, whether it was made or left.
      {"B abc; L 0 1; E; E; X", ";a@0;edited;-;-;0"},
      {"B abc; L 0 1; X; X; E; L 1 1", ";a@0;left;-;-;walk b@1;1"},
      // Ranges past the end or before the start are clamped and told, and
      // never edited: the part inside is no occurrence.
      {"B abc; L 2 5; E; L 7 1; L -1 2; X", ";c~@0;-;walk ~@3;walk ab~@0;-;2"},
      {"B abc; L 3 0; L 3 0", ";@0;walk @3;0"},
      // Overlapping ranges: the walk never begins past the occurrence.
      {"B abcdef; L 2 3; L 1 1", ";cde@0;walk b@1;0"},
      // Begin forgets the occurrence and the walk, not the leftovers.
      {"B abc; L 1 1; X; B xyz; E; L 1 1", ";b@0;left;;-;y@0;1"},
      {"B abc; L 1 2; B xyz; L 0 1", ";bc@0;;x@0;0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.steps);
    EXPECT_EQ(Walk(row.steps), row.seen);
  }
}

}  // namespace
}  // namespace strbatch
