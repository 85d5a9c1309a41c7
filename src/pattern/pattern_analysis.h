// What the compiler works out about a parsed expression beside its code:
// the bytes a match of each node can begin with, what can follow a piece of
// the program (for the follow sets of counting repeats), and the prefilter a
// search uses to skip to where a match can begin. Only the compiler uses it.
#ifndef STRBATCH_PATTERN_PATTERN_ANALYSIS_H_
#define STRBATCH_PATTERN_PATTERN_ANALYSIS_H_

#include <vector>

#include "base/code_page.h"
#include "pattern/pattern_program.h"
#include "pattern/pattern_tree.h"

namespace strbatch::pattern_internal {

// What a match of a node can begin with: the set of possible first bytes,
// and whether it can match without consuming anything. The second is
// sound: "!x", "$", back-references and empty groups count as able to.
struct FirstBytes {
  ByteSet set;
  bool canBeEmpty = true;
};

// The FirstBytes of every node. The parser adds children before their
// parents, so one pass in index order finds them all.
std::vector<FirstBytes> AnalyseFirstBytes(const Tree& tree);

// What comes after a piece of the program: the bytes the rest of the
// expression can begin with, or any when the rest can match without
// consuming (then nothing can be ruled out).
struct Follow {
  ByteSet set;
  bool any = true;
};

// What follows a piece that first comes before after.
Follow Before(const FirstBytes& first, const Follow& after);

// What follows a piece that first or after can come after.
Follow Either(const FirstBytes& first, const Follow& after);

// How a search finds where a match of the tree at root (negative for an
// empty program) can begin: kNone when a match can consume nothing or can
// begin with too many bytes for a filter to save time.
// *exact: a hit is a match (see CPattern::prefilterExact_) as far as the
// program's text goes.
Prefilter ChoosePrefilter(const Tree& tree, const std::vector<FirstBytes>& firstBytes, int root,
                          const CodePage& codePage, bool* exact);

}  // namespace strbatch::pattern_internal

#endif  // STRBATCH_PATTERN_PATTERN_ANALYSIS_H_
