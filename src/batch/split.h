// Cutting a byte string at separator bytes (",;" throughout the program).
#ifndef STRBATCH_BATCH_SPLIT_H_
#define STRBATCH_BATCH_SPLIT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace strbatch {

// Appends the pieces of text between bytes that occur in separators to *out
// and gives its new length. Empty pieces are kept only with keepEmpty, and a
// final empty piece never. The search is bytewise, which is safe for
// separators below 0x40: no double-byte character contains one.
size_t SplitAtSeparators(std::string_view text, std::string_view separators, bool keepEmpty,
                         std::vector<std::string>* out);

}  // namespace strbatch

#endif  // STRBATCH_BATCH_SPLIT_H_
