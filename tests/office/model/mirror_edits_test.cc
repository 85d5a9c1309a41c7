// The edits planned for a mirrored text, without LibreOffice: each row builds
// a text as the plugin reads one, edits its characters as the mirror does,
// and lists the plan in the order it is applied, one edit a line:
//   e<entry> p<portion> @<offset>+<delta> -<deleteSteps> k<keepSteps> "<pieces>"
// with " whole" and " bare" when set; ¶ is a paragraph break in the pieces.
#include "office/model/mirror_edits.h"

#include <gtest/gtest.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace strbatch {
namespace {

// A Writer text: a paragraph per entry, stepped in code points, a final mark.
// An edit-engine text (a cell, a shape): one entry, stepped in UTF-16 units.
enum class Steps { kWriter, kEditEngine };

class TestText {
 public:
  explicit TestText(Steps steps) : utf16Steps_(steps == Steps::kEditEngine) {
    model_.finalMark = steps == Steps::kWriter;
  }

  // ---- Building, in the last entry ----
  void Entry() { model_.entries.push_back({!utf16Steps_}); }
  void Text(std::u32string_view text, bool uniform = true) {
    model_.AddPortion(Last(), MirrorPortion::Kind::Text);
    model_.portions.back().uniform = uniform;
    for (char32_t code : text) model_.AddOriginal(Last(), Char(code));
  }
  // A field shown as its text, the steps it takes on its first character.
  void Field(std::u32string_view shown, uint8_t steps) {
    model_.AddPortion(Last(), MirrorPortion::Kind::Locked);
    for (char32_t code : shown) {
      MirrorChar c{.code = code, .steps = steps, .lock = EditLock::kObject};
      model_.AddOriginal(Last(), c);
      steps = 0;
    }
  }
  void Mark() {
    model_.AddPortion(Last(), MirrorPortion::Kind::Break);
    model_.AddOriginal(Last(), {.kind = CharKind::ParagraphBreak});
  }

  // ---- Editing ----
  // Text typed in place of [from, to) takes the first removed character's
  // formatting.
  void Replace(size_t from, size_t to, std::u32string_view text) {
    const MirrorChar& first = model_.chars.at(from);
    const uint32_t format = first.origin != kNoOriginal ? first.origin : first.format;
    model_.chars.erase(model_.chars.begin() + static_cast<long>(from),
                       model_.chars.begin() + static_cast<long>(to));
    Insert(from, text, format);
  }
  void Insert(size_t at, std::u32string_view text, uint32_t format) {
    std::vector<MirrorChar> inserted;
    for (char32_t code : text) {
      MirrorChar c = Char(code);
      c.format = format;
      if (code == '\n') c = {.format = format, .kind = CharKind::ParagraphBreak};
      inserted.push_back(c);
    }
    model_.chars.insert(model_.chars.begin() + static_cast<long>(at), inserted.begin(),
                        inserted.end());
  }

  std::vector<std::string> Plan() const {
    std::vector<std::string> lines;
    for (const MirrorEdit& edit : PlanMirrorEdits(model_)) lines.push_back(Describe(edit));
    return lines;
  }

 private:
  uint32_t Last() const { return static_cast<uint32_t>(model_.entries.size() - 1); }
  MirrorChar Char(char32_t code) const {
    return {.code = code, .steps = static_cast<uint8_t>(utf16Steps_ && code > 0xFFFF ? 2 : 1)};
  }

  static std::string Describe(const MirrorEdit& edit) {
    std::string line = "e" + std::to_string(edit.entry) + " p" + std::to_string(edit.portion) +
                       " @" + std::to_string(edit.offset) + "+" + std::to_string(edit.delta) +
                       " -" + std::to_string(edit.deleteSteps) + " k" +
                       std::to_string(edit.keepSteps) + " \"";
    for (const MirrorPiece& piece : edit.pieces) {
      if (piece.kind == MirrorPiece::Paragraph) line += "¶";
      if (piece.kind == MirrorPiece::Line) line += "↵";
      for (size_t i = 0; i < piece.text.size();) {
        UChar32 code = 0;
        U16_NEXT(piece.text.data(), i, piece.text.size(), code);
        char bytes[U8_MAX_LENGTH];
        int32_t length = 0;
        U8_APPEND_UNSAFE(bytes, length, code);
        line.append(bytes, static_cast<size_t>(length));
      }
    }
    line += "\"";
    if (edit.whole) line += " whole";
    if (edit.bare) line += " bare";
    return line;
  }

  bool utf16Steps_;
  MirrorModel model_;
};

TEST(MirrorEditsTest, PlansTheEditsBackToFront) {
  const std::u32string longText(kLongPortion + 1, U'a');
  const std::string longAfter = std::string(1000, 'a') + "b" + std::string(kLongPortion - 1000, 'a');
  struct Row {
    const char* name;
    Steps steps;
    std::function<void(TestText&)> build;
    std::vector<std::string> plan;
  } rows[] = {
      {"runs in a portion of one format become one rewrite", Steps::kWriter,
       [](TestText& t) {
         t.Entry(); t.Text(U"one two three"); t.Mark();
         t.Replace(8, 13, U"3");
         t.Replace(0, 3, U"1");
       },
       {"e0 p0 @0+0 -13 k1 \"1 two 3\""}},
      {"runs in mixed text stay apart, each behind a character it keeps", Steps::kEditEngine,
       [](TestText& t) {
         t.Entry(); t.Text(U"one two three", false);
         t.Replace(8, 13, U"3");
         t.Insert(3, U"!", 2);
       },
       {"e0 p0 @8+8 -5 k1 \"3\"", "e0 p0 @3+3 -0 k0 \"!\""}},
      {"an insertion at a portion's start rewrites its first character", Steps::kWriter,
       [](TestText& t) {
         t.Entry(); t.Text(U"ab"); t.Text(U"cd"); t.Mark();
         t.Insert(2, U"Y", 2);
         t.Insert(2, U"X", 1);
       },
       {"e0 p0 @2+2 -0 k0 \"X\"", "e0 p1 @2+0 -1 k1 \"Yc\""}},
      {"a long portion of a paragraph is written anew whole", Steps::kWriter,
       [&](TestText& t) {
         t.Entry(); t.Text(longText); t.Mark();
         t.Replace(1000, 1001, U"b");
       },
       {"e0 p0 @0+0 -0 k1 \"" + longAfter + "\" whole"}},
      {"a long edit-engine text is edited where it changed", Steps::kEditEngine,
       [&](TestText& t) {
         t.Entry(); t.Text(longText);
         t.Replace(1000, 1001, U"b");
       },
       {"e0 p0 @1000+1000 -1 k0 \"b\""}},
      {"a removed paragraph mark joins two paragraphs", Steps::kWriter,
       [](TestText& t) {
         t.Entry(); t.Text(U"ab"); t.Mark();
         t.Entry(); t.Text(U"cd"); t.Mark();
         t.Replace(1, 4, U"X");
       },
       {"e1 p2 @0+0 -1 k0 \"\"", "e0 p1 @2+0 -1 k0 \"\"", "e0 p0 @1+1 -1 k0 \"X\""}},
      {"text typed into an empty paragraph goes in bare before its mark", Steps::kWriter,
       [](TestText& t) {
         t.Entry(); t.Text(U"ab"); t.Mark();
         t.Entry(); t.Mark();
         t.Entry(); t.Text(U"cd"); t.Mark();
         t.Insert(3, U"new", kNoOriginal);
       },
       {"e1 p2 @0+0 -0 k0 \"new\" bare"}},
      // The rewrite of c goes first: applied after the bare text, it would
      // count its steps from a place the bare text took.
      {"a mark replaced by text: bare text after the next portion's edit", Steps::kEditEngine,
       [](TestText& t) {
         t.Entry(); t.Text(U"ab"); t.Mark(); t.Text(U"cd");
         t.Replace(2, 3, U"Y\n");
         t.Insert(4, U"Z", 3);
       },
       {"e0 p2 @3+0 -1 k1 \"Zc\"", "e0 p2 @3+0 -0 k0 \"Y¶\" bare", "e0 p1 @2+0 -1 k0 \"\""}},
      {"after a field the steps count, not the characters shown", Steps::kWriter,
       [](TestText& t) {
         t.Entry(); t.Text(U"ab"); t.Field(U"12:00", 1); t.Text(U"cd"); t.Mark();
         t.Replace(7, 8, U"x");
       },
       {"e0 p2 @3+0 -1 k1 \"x\""}},
      {"a character outside the BMP takes two edit-engine steps", Steps::kEditEngine,
       [](TestText& t) {
         t.Entry(); t.Text(U"😀a😀b");
         t.Replace(2, 3, U"x😀");
       },
       {"e0 p0 @3+3 -2 k0 \"x😀\""}},
      {"text typed into an empty cell", Steps::kEditEngine,
       [](TestText& t) {
         t.Entry();
         t.Insert(0, U"x", kNoOriginal);
       },
       {"e0 p0 @0+0 -0 k0 \"x\" bare"}},
      {"text typed after a cell's last, empty paragraph", Steps::kEditEngine,
       [](TestText& t) {
         t.Entry(); t.Text(U"ab"); t.Mark();
         t.Insert(3, U"x", kNoOriginal);
       },
       {"e0 p1 @3+1 -0 k0 \"x\" bare"}},
  };
  for (const Row& row : rows) {
    TestText text(row.steps);
    row.build(text);
    EXPECT_EQ(text.Plan(), row.plan) << row.name;
  }
}

}  // namespace
}  // namespace strbatch
