// How the line sort tool orders lines: every line gets a sort key, a byte
// string in which the comparison options and the two rule tables are already
// applied, and lines are ordered by plain byte comparison of their keys with
// a fixed quicksort whose steps decide where lines with equal keys end up.
#ifndef STRBATCH_SORTTOOL_SORT_KEY_H_
#define STRBATCH_SORTTOOL_SORT_KEY_H_

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/code_page.h"

namespace strbatch {

struct SortKeyOptions {
  bool caseSensitive = false;   // off: letters are lower-cased
  bool widthSensitive = false;  // off: full-width forms fold to half-width
  bool countSpaces = false;     // off: a space contributes nothing
};

// The user's rule tables, looked up one character (unit) at a time.
struct SortTables {
  std::map<std::string, std::string, std::less<>> equalValues;  // character -> substitute
  std::set<std::string, std::less<>> noSort;                    // characters left out
};

// Builds keys for one sort run; tables must outlive the builder. The code
// page decides double-byte lower-casing and the byte forms of the full-width
// characters.
class SortKeyBuilder {
 public:
  SortKeyBuilder(const SortKeyOptions& options, const SortTables& tables,
                 const CodePage& codePage = CodePage::Process());

  std::string BuildKey(std::string_view text) const;

 private:
  void LowerCase(std::string* value) const;
  void FoldWidth(std::string* value) const;

  SortKeyOptions options_;
  const SortTables& tables_;
  CodePage codePage_;
  // Per double-byte code (lead byte << 8 | trail byte): its lower-case
  // code, or 0 when lower-casing leaves it alone.
  const std::vector<unsigned short>& lowerCase_;
  // Per double-byte code: the half-width character it folds to, or 0.
  const std::vector<char>& fullWidth_;
};

// Unsigned byte comparison; a key that is a prefix of another comes first.
// Negative, zero or positive.
int CompareSortKeys(std::string_view a, std::string_view b);

struct LineEntry {
  std::string text;
  std::string key;
};

// Puts the entries in ascending key order, in place. Stack use stays small
// whatever the number of entries.
void SortLineEntries(std::vector<LineEntry>& entries);

}  // namespace strbatch

#endif  // STRBATCH_SORTTOOL_SORT_KEY_H_
