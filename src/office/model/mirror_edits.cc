#include "office/model/mirror_edits.h"

#include <unicode/utf16.h>

#include <algorithm>

namespace strbatch {
namespace {

using PortionKind = MirrorPortion::Kind;

void AppendCharacter(std::vector<MirrorPiece>& pieces, CharKind kind, char32_t code) {
  if (kind == CharKind::ParagraphBreak || kind == CharKind::LineBreak) {
    pieces.push_back(
        {kind == CharKind::ParagraphBreak ? MirrorPiece::Paragraph : MirrorPiece::Line, {}});
    return;
  }
  if (pieces.empty() || pieces.back().kind != MirrorPiece::Run) {
    pieces.push_back({MirrorPiece::Run, {}});
  }
  char16_t units[U16_MAX_LENGTH];
  int32_t length = 0;
  U16_APPEND_UNSAFE(units, length, static_cast<UChar32>(code));
  pieces.back().text.append(units, static_cast<size_t>(length));
}

}  // namespace

uint32_t MirrorModel::AddPortion(uint32_t entry, MirrorPortion::Kind kind) {
  portions.push_back(
      {entry, entries.at(entry).steps, static_cast<uint32_t>(originals.size()), 0, kind});
  return static_cast<uint32_t>(portions.size() - 1);
}

void MirrorModel::AddOriginal(uint32_t entry, MirrorChar c) {
  c.entry = entry;
  c.origin = static_cast<uint32_t>(originals.size());
  originals.push_back(
      {c.code, c.kind, c.steps, static_cast<uint32_t>(portions.size() - 1), entries[entry].steps});
  portions.back().count++;
  entries[entry].steps += c.steps;
  chars.push_back(c);
}

std::vector<MirrorEdit> PlanMirrorEdits(const MirrorModel& model) {
  // What each text portion holds now: its originals that are left and the
  // characters inserted in its formatting, in order. Inserted characters
  // without a text portion's formatting go in before the next original.
  std::vector<std::vector<size_t>> into(model.portions.size());
  std::vector<bool> kept(model.originals.size(), false);
  std::vector<MirrorEdit> edits;
  const auto at = [&](MirrorEdit& edit, uint32_t original) {
    const MirrorOriginal& o = model.originals[original];
    const MirrorPortion& portion = model.portions[o.portion];
    edit.portion = o.portion;
    edit.entry = portion.entry;
    edit.offset = o.offset;
    edit.delta = o.offset - portion.offset;
  };
  const auto toText = [&](const MirrorChar& c) {
    return c.format != kNoOriginal &&
           model.portions[model.originals[c.format].portion].kind == PortionKind::Text;
  };
  for (size_t i = 0; i < model.chars.size(); i++) {
    const MirrorChar& c = model.chars[i];
    if (c.origin != kNoOriginal) {
      kept[c.origin] = true;
      const uint32_t portion = model.originals[c.origin].portion;
      if (model.portions[portion].kind == PortionKind::Text) into[portion].push_back(i);
      continue;
    }
    if (toText(c)) {
      into[model.originals[c.format].portion].push_back(i);
      continue;
    }
    MirrorEdit bare;
    bare.bare = true;
    size_t j = i;
    for (;
         j < model.chars.size() && model.chars[j].origin == kNoOriginal && !toText(model.chars[j]);
         j++) {
      AppendCharacter(bare.pieces, model.chars[j].kind, model.chars[j].code);
    }
    size_t next = j;
    while (next < model.chars.size() && model.chars[next].origin == kNoOriginal) next++;
    if (next < model.chars.size()) {
      at(bare, model.chars[next].origin);
    } else if (!model.originals.empty()) {
      at(bare, static_cast<uint32_t>(model.originals.size() - 1));
      bare.offset += model.originals.back().steps;
      bare.delta += model.originals.back().steps;
    }
    edits.push_back(std::move(bare));
    i = j - 1;
  }

  for (uint32_t p = 0; p < model.portions.size(); p++) {
    const MirrorPortion& portion = model.portions[p];
    const uint32_t end = portion.first + portion.count;
    if (portion.kind == PortionKind::Break) {
      if (!kept[portion.first]) {
        MirrorEdit removal;
        at(removal, portion.first);
        removal.deleteSteps = model.originals[portion.first].steps;
        edits.push_back(std::move(removal));
      }
      continue;
    }
    if (portion.kind != PortionKind::Text || portion.count == 0) continue;
    const std::vector<size_t>& now = into[p];
    bool changed = now.size() != portion.count;
    for (size_t j = 0; !changed && j < now.size(); j++) {
      changed = model.chars[now[j]].origin != portion.first + j;
    }
    if (!changed) continue;
    bool plain = portion.uniform;
    for (uint32_t q = portion.first; plain && q < end; q++) {
      plain = model.originals[q].kind == CharKind::Text ||
              model.originals[q].kind == CharKind::LineBreak;
    }
    uint32_t steps = 0;
    for (uint32_t q = portion.first; q < end; q++) steps += model.originals[q].steps;
    if (plain && model.finalMark && steps > kLongPortion) {
      // A long portion of a paragraph is written anew whole: stepping a
      // cursor through it costs far more than writing it.
      MirrorEdit edit;
      at(edit, portion.first);
      edit.whole = true;
      edit.keepSteps = model.originals[portion.first].steps;
      for (size_t k : now) AppendCharacter(edit.pieces, model.chars[k].kind, model.chars[k].code);
      edits.push_back(std::move(edit));
      continue;
    }
    // The runs of change between the originals left.
    struct Run {
      size_t from, to;       // in now
      uint32_t first, last;  // the originals removed: [first, last)
    };
    std::vector<Run> runs;
    size_t j = 0;
    uint32_t o = portion.first;
    for (;;) {
      while (j < now.size() && o < end && model.chars[now[j]].origin == o) {
        j++;
        o++;
      }
      if (j == now.size() && o == end) break;
      size_t k = j;
      while (k < now.size() && model.chars[now[k]].origin == kNoOriginal) k++;
      const uint32_t next = k < now.size() ? model.chars[now[k]].origin : end;
      runs.push_back({j, k, o, next});
      j = k;
      o = next;
    }
    // Runs in a portion of plain text become one rewrite: the text left
    // between them is written again, in the same formatting.
    if (plain && runs.size() > 1) {
      runs = {{runs.front().from, runs.back().to, runs.front().first, runs.back().last}};
    }
    for (const Run& run : runs) {
      MirrorEdit edit;
      if (run.first < end) {
        at(edit, run.first);
      } else {
        at(edit, end - 1);
        edit.offset += model.originals[end - 1].steps;
        edit.delta += model.originals[end - 1].steps;
      }
      for (uint32_t q = run.first; q < run.last; q++) edit.deleteSteps += model.originals[q].steps;
      for (size_t k = run.from; k < run.to; k++) {
        AppendCharacter(edit.pieces, model.chars[now[k]].kind, model.chars[now[k]].code);
      }
      // At the portion's start the character before is of another portion
      // (and in mixed text it may be anywhere): the insertion goes in
      // behind the first character removed, or, when none is, behind the
      // portion's first character, written again.
      if (!portion.uniform && run.first != portion.first && run.last > run.first &&
          !edit.pieces.empty()) {
        edit.keepSteps = model.originals[run.first].steps;
      }
      if (run.first == portion.first && !edit.pieces.empty()) {
        if (run.last == run.first && run.to < now.size() &&
            model.originals[run.first].kind == CharKind::Text) {
          edit.deleteSteps = model.originals[run.first].steps;
          const MirrorChar& first = model.chars[now[run.to]];
          AppendCharacter(edit.pieces, first.kind, first.code);
        }
        if (edit.deleteSteps > 0) edit.keepSteps = model.originals[run.first].steps;
      }
      edits.push_back(std::move(edit));
    }
  }
  // Back to front: an edit changes no position before it. An insertion
  // before an original goes in after that original's edit, except before a
  // paragraph's mark: that is found from the paragraph's end, which a join
  // moves.
  std::stable_sort(edits.begin(), edits.end(), [&](const MirrorEdit& a, const MirrorEdit& b) {
    if (a.entry != b.entry) return a.entry > b.entry;
    if (a.offset != b.offset) return a.offset > b.offset;
    if (a.bare == b.bare) return false;
    const MirrorEdit& other = a.bare ? b : a;
    const bool bareFirst = model.entries[other.entry].paragraph &&
                           model.portions[other.portion].kind == PortionKind::Break;
    return a.bare == bareFirst;
  });
  return edits;
}

}  // namespace strbatch
