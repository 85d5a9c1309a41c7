// Chinese code conversion of whole text files: GBK (code page 936) and BIG5
// (code page 950), simplified and traditional characters. The text up to the
// first NUL byte is converted; the NUL and every byte after it are kept as
// they are. A character the target code page cannot hold becomes "?". The
// file is rewritten all-or-nothing, also when no byte changes; on failure
// (false, with a reason) it is left as it was.
#ifndef STRBATCH_BATCH_CODE_CONVERSION_H_
#define STRBATCH_BATCH_CODE_CONVERSION_H_

#include <string>

#include "app/safe_file.h"

namespace strbatch {

// GBK simplified -> BIG5 traditional: made traditional within GBK, then
// re-encoded.
bool ConvertGbkToBig5(const std::string& path, std::string* error,
                      FileRewriter& rewriter = DefaultFileRewriter());
// GBK simplified -> GBK traditional.
bool ConvertGbkToTraditional(const std::string& path, std::string* error,
                             FileRewriter& rewriter = DefaultFileRewriter());
// BIG5 traditional -> GBK simplified: re-encoded to GBK, then made simplified.
bool ConvertBig5ToGbk(const std::string& path, std::string* error,
                      FileRewriter& rewriter = DefaultFileRewriter());
// GBK traditional -> GBK simplified.
bool ConvertGbkToSimplified(const std::string& path, std::string* error,
                            FileRewriter& rewriter = DefaultFileRewriter());

}  // namespace strbatch

#endif  // STRBATCH_BATCH_CODE_CONVERSION_H_
