#include "office/package/package_text.h"

#include <algorithm>

#include "office/package/xml_scan.h"

namespace strbatch {
namespace {


// The next code point of valid UTF-8 at pos (the work text's replacement,
// carried into UTF-8 by the code page).
char32_t NextCode(std::string_view utf8, size_t* pos) {
  const unsigned char b = static_cast<unsigned char>(utf8[*pos]);
  size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  if (*pos + n > utf8.size()) n = 1;
  char32_t code = n == 1 ? b : b & (0xFF >> (n + 1));
  for (size_t i = 1; i < n; i++) code = (code << 6) | (utf8[*pos + i] & 0x3F);
  *pos += n;
  return code;
}

// Appends what item reads as in the layout; gives its code points.
int AppendItem(std::string& out, const PackageItem& item, OfficeKind kind) {
  if (item.kind == ItemKind::kMark) {
    if (item.code == kCellMark) {
      out += kCellEndMark;
      return 2;
    }
    out.push_back(static_cast<char>(item.code));
    return 1;
  }
  const char32_t code = item.kind == ItemKind::kObject ? 0xFFFC : item.code;
  AppendUtf8(out, InCellCharacter(WorkTextLayout(kind), code));
  return 1;
}

bool IsOdfBlank(const PackageItem& item) { return item.kind == ItemKind::kChar && item.code == ' '; }

// What the replacement becomes in the node's XML. showsSpace tells that the
// character before lets a following space show (OpenDocument); it is left
// telling the same of the end of the insertion. False when the text cannot
// be written there.
bool Encode(const PackageNode& node, std::string_view utf8, bool* showsSpace, std::string* out) {
  const bool odf = node.format == PackageFormat::kOpenDocument;
  bool inText = node.inText;
  auto element = [&](const std::string& xml) {
    if (inText && !node.textClose.empty()) {
      *out += node.textClose;
      inText = false;
    }
    *out += xml;
    *showsSpace = false;
  };
  for (size_t pos = 0; pos < utf8.size();) {
    const char32_t code = NextCode(utf8, &pos);
    if (code == '\r' || code == '\n') {
      // CR LF, and CR BEL (a cell mark read back), make one break.
      if (code == '\r' && pos < utf8.size() && (utf8[pos] == '\n' || utf8[pos] == '\a')) pos++;
      if (node.paragraph.empty()) return false;
      element(node.paragraph);
      continue;
    }
    if (code == 0x0B || code == '\t') {
      const std::string& xml = code == '\t' ? node.tab : node.lineBreak;
      if (xml.empty()) return false;
      element(xml);
      continue;
    }
    // Other control characters have no place in XML; the applications
    // drop them too.
    if (code < 0x20) continue;
    if (!inText) {
      *out += node.textOpen;
      inText = true;
    }
    if (odf && code == ' ' && !*showsSpace) {
      *out += node.space;
      continue;
    }
    std::string character;
    AppendUtf8(character, code);
    *out += EscapeXml(character);
    *showsSpace = code != ' ';
  }
  if (node.inText && !inText) {
    *out += node.textOpen;
  } else if (!node.inText && inText) {
    *out += node.textClose;
  }
  return true;
}

}  // namespace

uint32_t PackageText::PartIndex(const std::string& name) const {
  for (size_t i = 0; i < parts.size(); i++) {
    if (parts[i].name == name) return static_cast<uint32_t>(i);
  }
  return UINT32_MAX;
}

PackageWorkText LayOutPackageText(const PackageText& text, OfficeKind kind,
                                  const CodePage& codePage, size_t begin, size_t end,
                                  const std::function<bool()>& shouldStop) {
  // A layout of a very large part takes seconds: a stop is answered
  // between its steps.
  constexpr size_t kStopEvery = size_t{1} << 22;
  const auto stop = [&shouldStop](size_t i) {
    return shouldStop && (i + 1) % kStopEvery == 0 && shouldStop();
  };
  end = std::min(end, text.items.size());
  begin = std::min(begin, end);
  const size_t count = end - begin;
  PackageWorkText work;
  // Per item of a large part, every byte counts: an item gives at most two
  // code points, and at least one byte.
  std::string utf8;
  utf8.reserve(count);
  std::vector<uint8_t> codes;
  codes.reserve(count);
  for (size_t i = begin; i < end; i++) {
    codes.push_back(static_cast<uint8_t>(AppendItem(utf8, text.items[i], kind)));
    if (stop(i)) {
      work.stopped = true;
      return work;
    }
  }
  work.offsets.reserve(count + 1);
  work.lossy.assign(count, false);
  std::string bytes;
  if (codePage.IsUtf8()) {
    bytes = std::move(utf8);
  } else {
    if (shouldStop && shouldStop()) {
      work.stopped = true;
      return work;
    }
    codePage.FromUtf8(utf8, &bytes);
    utf8.clear();
    utf8.shrink_to_fit();
  }
  // Each code point is one character of the code page (itself or a "?"),
  // so the converted text is split back into the items by characters.
  size_t pos = 0;
  bool matched = true;
  for (size_t i = 0; i < count && matched; i++) {
    if (stop(i)) {
      work.stopped = true;
      return work;
    }
    work.offsets.push_back(static_cast<uint32_t>(pos));
    const size_t from = pos;
    for (int c = 0; c < codes[i]; c++) {
      if (pos >= bytes.size()) {
        matched = false;
        break;
      }
      pos = codePage.NextChar(bytes, pos);
    }
    const PackageItem& item = text.items[begin + i];
    if (pos - from == 1 && bytes[from] == '?' && item.code != '?' &&
        item.kind != ItemKind::kMark) {
      work.lossy[i] = true;
    }
  }
  if (matched && pos == bytes.size()) {
    work.offsets.push_back(static_cast<uint32_t>(pos));
    work.text = std::move(bytes);
    return work;
  }
  // A converter that did not keep to one character per code point: each
  // item is converted by itself.
  work.offsets.clear();
  work.text.clear();
  for (size_t i = 0; i < count; i++) {
    work.offsets.push_back(static_cast<uint32_t>(work.text.size()));
    std::string one, converted;
    AppendItem(one, text.items[begin + i], kind);
    work.lossy[i] = !codePage.FromUtf8(one, &converted);
    work.text += converted;
  }
  work.offsets.push_back(static_cast<uint32_t>(work.text.size()));
  return work;
}

bool PackageEdits::Edit(size_t start, size_t length, std::string_view replacement,
                        NotAppliedReason* reason) {
  const std::vector<uint32_t>& offsets = work_.offsets;
  auto first = std::lower_bound(offsets.begin(), offsets.end(), start);
  auto last = std::lower_bound(first, offsets.end(), start + length);
  if (first == offsets.end() || *first != start || last == offsets.end() ||
      *last != start + length) {
    *reason = NotAppliedReason::kNotMatchable;
    return false;
  }
  std::string utf8;
  codePage_.ToUtf8(replacement, &utf8);
  const size_t i = static_cast<size_t>(first - offsets.begin());
  const size_t j = static_cast<size_t>(last - offsets.begin());
  if (i == j) return Insert(i, utf8, reason);
  return Plan(i, j, utf8, reason);
}

bool PackageEdits::ShowsNextSpace(size_t at) const {
  if (at == lastEnd_) return lastShowsSpace_;
  const std::vector<PackageItem>& items = text_.items;
  if (at == 0 || at > items.size()) return false;
  const PackageItem& before = items[at - 1];
  if (at < items.size() && before.region != items[at].region) return false;
  return before.kind == ItemKind::kChar && before.code != ' ' && !before.hiddenAfter;
}

bool PackageEdits::Insert(size_t at, std::string_view utf8, NotAppliedReason* reason) {
  const std::vector<PackageItem>& items = text_.items;
  // An empty occurrence puts its replacement before the character it
  // stands at, or after the last one of a paragraph, cell or shape.
  size_t host = at;
  uint32_t position = 0;
  if (at < items.size() && (items[at].kind == ItemKind::kChar || items[at].kind == ItemKind::kElement)) {
    position = items[at].begin;
  } else if (at > 0 && items[at - 1].kind == ItemKind::kChar) {
    host = at - 1;
    position = items[host].end;
  } else {
    *reason = NotAppliedReason::kNotInPlace;
    return false;
  }
  const PackageItem& item = items[host];
  if (item.lock != 0) {
    *reason = static_cast<NotAppliedReason>(item.lock - 1);
    return false;
  }
  if (utf8.empty()) return true;
  const PackageNode& node = text_.nodes[item.node];
  if (!node.insertable) {
    *reason = NotAppliedReason::kNotInPlace;
    return false;
  }
  bool showsSpace = ShowsNextSpace(at);
  std::string xml;
  if (Overlaps(item.region, item.part, position, position) || !CopiesFree(item.region) ||
      !Encode(node, utf8, &showsSpace, &xml)) {
    *reason = NotAppliedReason::kNotInPlace;
    return false;
  }
  if (text_.format == PackageFormat::kOpenDocument && at < items.size() && IsOdfBlank(items[at]) &&
      !showsSpace) {
    // The space after the insertion would now be taken as one of a run of
    // blanks.
    *reason = NotAppliedReason::kNotInPlace;
    return false;
  }
  AddSplice(item.region, item.part, position, position, std::move(xml));
  KeepBlanks(item.region, item.node);
  DropCopies(item.region);
  return true;
}

bool PackageEdits::Plan(size_t first, size_t last, std::string_view utf8,
                        NotAppliedReason* reason) {
  const std::vector<PackageItem>& items = text_.items;
  const uint32_t region = items[first].region;
  for (size_t k = first; k < last; k++) {
    if (items[k].region != region || items[k].kind == ItemKind::kMark) {
      *reason = NotAppliedReason::kSpansParts;
      return false;
    }
  }
  // The most telling reason first: protection, then objects, then results.
  static constexpr NotAppliedReason kOrder[] = {NotAppliedReason::kSheetName,
                                                NotAppliedReason::kProtected,
                                                NotAppliedReason::kObjectAnchor,
                                                NotAppliedReason::kFormulaResult,
                                                NotAppliedReason::kNotMatchable,
                                                NotAppliedReason::kNotInPlace};
  for (NotAppliedReason candidate : kOrder) {
    for (size_t k = first; k < last; k++) {
      if (items[k].lock == static_cast<uint8_t>(candidate) + 1) {
        *reason = candidate;
        return false;
      }
    }
  }
  auto anchor = std::upper_bound(text_.anchors.begin(), text_.anchors.end(), first);
  if (anchor != text_.anchors.end() && *anchor < last) {
    *reason = NotAppliedReason::kObjectAnchor;
    return false;
  }
  for (size_t k = first; k < last; k++) {
    if (work_.lossy[k]) {
      *reason = NotAppliedReason::kNotMatchable;
      return false;
    }
  }
  const PackageItem& home = items[first];
  const PackageNode& node = text_.nodes[home.node];
  // Blanks that read as nothing would show once the characters around
  // them change.
  bool hidden = false;
  for (size_t k = first; k < last; k++) hidden = hidden || items[k].hiddenAfter;
  if ((!node.insertable && !utf8.empty()) || hidden) {
    *reason = NotAppliedReason::kNotInPlace;
    return false;
  }
  // A <text:s text:c="n"/> only partly covered is rewritten whole: the
  // spaces it keeps go before and after the replacement.
  std::string insertion;
  if (home.kind == ItemKind::kSpace) insertion.append(home.spaceIndex, ' ');
  insertion += utf8;
  const bool odf = text_.format == PackageFormat::kOpenDocument;
  const PackageItem& tail = items[last - 1];
  if (tail.kind == ItemKind::kSpace) {
    size_t end = last;
    while (end < items.size() && items[end].kind == ItemKind::kSpace &&
           items[end].begin == tail.begin && items[end].part == tail.part) {
      end++;
    }
    insertion.append(end - last, ' ');
  }
  bool showsSpace = ShowsNextSpace(first);
  const bool showedSpace = showsSpace;
  std::string xml;
  if (!Encode(node, insertion, &showsSpace, &xml)) {
    *reason = NotAppliedReason::kNotInPlace;
    return false;
  }
  if (insertion.empty()) showsSpace = showedSpace;

  // The bytes that go: every character, element and run of spaces of the
  // occurrence, joined where they touch.
  struct Range {
    uint32_t part, begin, end;
  };
  std::vector<Range> ranges;
  for (size_t k = first; k < last; k++) {
    const PackageItem& item = items[k];
    if (!ranges.empty() && ranges.back().part == item.part && ranges.back().end == item.end &&
        item.kind == ItemKind::kSpace) {
      continue;
    }
    if (!ranges.empty() && ranges.back().part == item.part && ranges.back().end == item.begin) {
      ranges.back().end = item.end;
    } else {
      ranges.push_back({item.part, item.begin, item.end});
    }
  }
  // An earlier edit of this pass that made the first space after it an
  // element is undone when this occurrence takes that space away.
  if (converted_ != SIZE_MAX && converted_ >= first && converted_ < last) {
    const Splice& undone = splices_[convertedSplice_];

    taken_.erase({undone.part, undone.begin});
    splices_.erase(splices_.begin() + static_cast<long>(convertedSplice_));
    converted_ = SIZE_MAX;
  }
  for (const Range& range : ranges) {
    if (Overlaps(region, range.part, range.begin, range.end)) {
      *reason = NotAppliedReason::kNotInPlace;
      return false;
    }
  }
  if (!CopiesFree(region)) {
    *reason = NotAppliedReason::kNotInPlace;
    return false;
  }
  // The new text goes into the first range; the others are emptied.
  for (size_t r = 0; r < ranges.size(); r++) {
    AddSplice(region, ranges[r].part, ranges[r].begin, ranges[r].end,
              r == 0 ? xml : std::string());
  }
  for (size_t k = first; k < last; k++) KeepBlanks(region, items[k].node);
  DropCopies(region);
  if (odf) {
    // A space right after the occurrence shows only after a character that
    // is not blank; otherwise it is made an element of its own.
    if (last < items.size() && items[last].region == region && IsOdfBlank(items[last]) &&
        !showsSpace) {
      converted_ = last;
      convertedSplice_ = splices_.size();
      AddSplice(region, items[last].part, items[last].begin, items[last].end,
                text_.nodes[items[last].node].space);
    }
    lastEnd_ = last;
    lastShowsSpace_ = showsSpace;
  }
  return true;
}

bool PackageEdits::Overlaps(uint32_t region, uint32_t part, uint32_t begin, uint32_t end) const {
  auto own = own_.find(region);
  if (own != own_.end() || text_.sharedCells.count(region) != 0) {
    if (own == own_.end()) return false;
    for (const Splice& splice : own->second) {
      if (splice.part == part && splice.begin < end && begin < splice.end) return true;
    }
    return false;
  }
  auto next = taken_.lower_bound({part, begin});
  if (next != taken_.end() && next->first.first == part && next->first.second < end) return true;
  if (next == taken_.begin()) return false;
  auto before = std::prev(next);
  return before->first.first == part && before->second > begin;
}

void PackageEdits::AddSplice(uint32_t region, uint32_t part, uint32_t begin, uint32_t end,
                             std::string bytes) {
  auto shared = text_.sharedCells.find(region);
  if (shared != text_.sharedCells.end() && part == shared->second.stringsPart) {
    std::vector<Splice>& own = own_[region];
    own.push_back({part, begin, end, std::move(bytes), static_cast<uint32_t>(own.size())});
    return;
  }
  if (end > begin) taken_[{part, begin}] = end;
  splices_.push_back({part, begin, end, std::move(bytes), static_cast<uint32_t>(splices_.size())});
}

void PackageEdits::KeepBlanks(uint32_t region, uint32_t node) {
  const PackageNode& n = text_.nodes[node];
  if (!n.inText || n.preserve || n.textTagEnd == 0 ||
      n.format == PackageFormat::kPresentation || n.format == PackageFormat::kOpenDocument) {
    return;
  }
  // A cell's own copy of a shared string is edited apart from the others.
  if (text_.sharedCells.count(region) == 0) region = UINT32_MAX;
  const std::pair<uint32_t, uint32_t> key(region, node);
  if (!preserved_.insert(key).second) return;
  // Blanks at either end of a text element are kept only when it says so.
  AddSplice(region, n.part, n.textTagEnd - 1, n.textTagEnd - 1, " xml:space=\"preserve\"");
}

std::vector<size_t> PackageEdits::CopiesToDrop(uint32_t region) const {
  std::vector<size_t> found;
  for (size_t c = 0; c < text_.copies.size(); c++) {
    const PackageCopy& copy = text_.copies[c];
    if (region >= copy.firstRegion && region <= copy.lastRegion &&
        std::find(dropped_.begin(), dropped_.end(), c) == dropped_.end()) {
      found.push_back(c);
    }
  }
  return found;
}

bool PackageEdits::CopiesFree(uint32_t region) const {
  for (size_t c : CopiesToDrop(region)) {
    const PackageCopy& copy = text_.copies[c];
    if (Overlaps(UINT32_MAX, copy.part, copy.begin, copy.end)) return false;
  }
  return true;
}

void PackageEdits::DropCopies(uint32_t region) {
  for (size_t c : CopiesToDrop(region)) {
    const PackageCopy& copy = text_.copies[c];
    dropped_.push_back(c);
    AddSplice(UINT32_MAX, copy.part, copy.begin, copy.end, std::string());
  }
}

void PackageEdits::AddOwnStrings() {
  if (own_.empty()) return;
  const SharedStrings& strings = text_.sharedStrings;
  // Each edited cell's string as its edits leave it, by the string it uses;
  // a cell whose edits give back the same bytes is no change.
  struct Edited {
    uint32_t region;
    std::string bytes;
  };
  std::map<uint32_t, std::vector<Edited>> byString;
  for (auto& [region, splices] : own_) {
    const SharedCell& cell = text_.sharedCells.at(region);
    const std::string& bytes = text_.parts[cell.stringsPart].bytes;
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice& a, const Splice& b) { return a.begin < b.begin; });
    std::string edited;
    uint32_t copied = cell.stringBegin;
    for (const Splice& splice : splices) {
      edited.append(bytes, copied, splice.begin - copied);
      edited += splice.bytes;
      copied = splice.end;
    }
    edited.append(bytes, copied, cell.stringEnd - copied);
    if (bytes.compare(cell.stringBegin, cell.stringEnd - cell.stringBegin, edited) == 0) continue;
    byString[cell.index].push_back({region, std::move(edited)});
  }
  own_.clear();
  std::string added;
  std::map<std::string, uint32_t> addedIndex;  // a text given to several cells is added once
  uint32_t next = strings.strings;
  for (const auto& string : byString) {
    const std::vector<Edited>& cells = string.second;
    const SharedCell& shared = text_.sharedCells.at(cells.front().region);
    const bool everyUser = cells.size() == shared.users;
    const bool alike = std::all_of(cells.begin(), cells.end(), [&](const Edited& e) {
      return e.bytes == cells.front().bytes;
    });
    if (everyUser && alike) {
      AddSplice(UINT32_MAX, shared.stringsPart, shared.stringBegin, shared.stringEnd,
                cells.front().bytes);
      continue;
    }
    for (const Edited& edited : cells) {
      auto [at, isNew] = addedIndex.emplace(edited.bytes, next);
      if (isNew) {
        added += edited.bytes;
        next++;
      }
      const SharedCell& cell = text_.sharedCells.at(edited.region);
      AddSplice(UINT32_MAX, cell.sheetPart, cell.valueBegin, cell.valueEnd,
                std::to_string(at->second));
    }
    // A string no cell uses any more is emptied, so that its old text does
    // not stay in the file; its slot stays, so that no index moves.
    if (everyUser && shared.contentEnd > shared.contentBegin) {
      const std::string& bytes = text_.parts[shared.stringsPart].bytes;
      const size_t name = bytes.find_first_of(" \t\r\n/>", shared.stringBegin + 1);
      const std::string qname = bytes.substr(shared.stringBegin + 1, name - shared.stringBegin - 1);
      const size_t colon = qname.find(':');
      const std::string prefix = colon == std::string::npos ? "" : qname.substr(0, colon + 1);
      AddSplice(UINT32_MAX, shared.stringsPart, shared.contentBegin, shared.contentEnd,
                "<" + prefix + "t/>");
    }
  }
  if (added.empty()) return;
  AddSplice(UINT32_MAX, strings.part, strings.appendAt, strings.appendAt, std::move(added));
  if (strings.countEnd > strings.countBegin) {
    AddSplice(UINT32_MAX, strings.part, strings.countBegin, strings.countEnd, std::to_string(next));
  }
}

bool PackageEdits::Apply() {
  AddOwnStrings();
  std::vector<Splice> sorted = std::move(splices_);
  splices_.clear();
  taken_.clear();
  preserved_.clear();
  dropped_.clear();
  lastEnd_ = SIZE_MAX;
  converted_ = SIZE_MAX;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Splice& a, const Splice& b) {
    if (a.part != b.part) return a.part < b.part;
    return a.begin < b.begin;
  });
  for (size_t s = 1; s < sorted.size(); s++) {
    if (sorted[s].part == sorted[s - 1].part && sorted[s].begin < sorted[s - 1].end) return false;
  }
  for (size_t s = 0; s < sorted.size();) {
    PackagePart& part = text_.parts[sorted[s].part];
    std::string bytes;
    bytes.reserve(part.bytes.size() + 64);
    uint32_t copied = 0;
    const uint32_t index = sorted[s].part;
    for (; s < sorted.size() && sorted[s].part == index; s++) {
      bytes.append(part.bytes, copied, sorted[s].begin - copied);
      bytes += sorted[s].bytes;
      copied = sorted[s].end;
    }
    bytes.append(part.bytes, copied, std::string::npos);
    part.bytes = std::move(bytes);
    part.changed = true;
  }
  return true;
}

}  // namespace strbatch
