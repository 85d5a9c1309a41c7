// Chinese code conversion of whole text files: GBK (code page 936) and BIG5
// (code page 950), simplified and traditional characters. The text up to the
// first NUL byte is converted; the NUL and every byte after it are kept as
// they are. A character the target code page cannot hold becomes "?". The
// file is rewritten all-or-nothing, also when no byte changes; on failure
// (false, with a reason) it is left as it was.
#ifndef STRBATCH_BATCH_CODE_CONVERSION_H_
#define STRBATCH_BATCH_CODE_CONVERSION_H_

#include <string>

#include "base/safe_file.h"
#include "base/text_encoding.h"

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

// Any encoding -> UTF-8, character for character: the file's encoding is
// the one the setting gives it (detected under "auto"); a byte-order mark
// becomes the UTF-8 mark. A UTF-8 file is left as it is. A file with bytes
// that are not valid in its encoding is refused and left as it was, so no
// character is ever lost.
bool ConvertToUtf8(const std::string& path, EncodingSetting setting, std::string* error,
                   FileRewriter& rewriter = DefaultFileRewriter());

// UTF-8 -> the process code page ("?" for what it cannot hold), the
// UTF-8 mark dropped. A file that is not valid UTF-8 is refused.
bool ConvertUtf8ToCodePage(const std::string& path, std::string* error,
                            FileRewriter& rewriter = DefaultFileRewriter());

}  // namespace strbatch

#endif  // STRBATCH_BATCH_CODE_CONVERSION_H_
