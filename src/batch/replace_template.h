// Replace strings of advanced definitions: literal text, group references
// "{x}" (group x of the match, counting from 1) and the running file number
// "{i;w=width;r=start}".
#ifndef STRBATCH_BATCH_REPLACE_TEMPLATE_H_
#define STRBATCH_BATCH_REPLACE_TEMPLATE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "pattern/pattern.h"

namespace strbatch {

// Kinds of template pieces.
inline constexpr uint32_t kTemplateText = 0;  // literal text, escapes decoded
inline constexpr uint32_t kTemplateItem = 1;  // the text between "{" and "}"

// Widths of the file number beyond this are cut to it.
inline constexpr int kMaxNumberWidth = 255;

// Appends the pieces of text to *texts and their kinds to *kinds, in step;
// no piece is empty. Backslash escapes are decoded ("\{" is a literal brace,
// a final lone backslash is dropped). Characters of more than one byte are
// copied whole: none of their later bytes is read as a backslash or a brace.
void ParseReplaceTemplate(std::string_view text, std::vector<std::string>* texts,
                          std::vector<uint32_t>* kinds,
                          const CodePage& codePage = CodePage::Process());

// Finds the first group reference of the pieces ("{x}") that names no
// group of an expression with groupCount groups (such a reference expands
// to nothing). True, with the number as written in *group, when there is one.
bool FindMissingGroupReference(const std::vector<std::string>& texts,
                               const std::vector<uint32_t>& kinds, int groupCount, int* group);

// The replacement text for one match. Group texts are read out of
// searchedText, the text the match positions refer to; a group that is out
// of range or took no part adds nothing. currentFileNumber is the 1-based
// number of the file row being processed.
std::string ExpandReplaceTemplate(const std::vector<std::string>& texts,
                                  const std::vector<uint32_t>& kinds, const CPatternMatch& match,
                                  std::string_view searchedText, long long currentFileNumber);

}  // namespace strbatch

#endif  // STRBATCH_BATCH_REPLACE_TEMPLATE_H_
