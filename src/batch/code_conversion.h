// Chinese code conversion of whole text files: GBK (code page 936) and BIG5
// (code page 950), simplified and traditional characters, and to and from
// UTF-8. For the four Chinese conversions the text up to the first NUL byte
// is converted and the NUL and every byte after it are kept; only
// characters that are simplified (or traditional) forms change, taking the
// forms everyday traditional text and BIG5 use, and a character the target
// code page cannot hold in any form becomes "?" and is counted. The file is
// rewritten all-or-nothing, also when no byte changes; on failure it is left
// as it was.
#ifndef STRBATCH_BATCH_CODE_CONVERSION_H_
#define STRBATCH_BATCH_CODE_CONVERSION_H_

#include <cstddef>
#include <string>

#include "base/safe_file.h"
#include "base/text_encoding.h"
#include "config/options.h"

namespace strbatch {

// What converting one file did.
struct ConversionResult {
  enum Status {
    kConverted,     // rewritten
    kUnchanged,     // nothing to convert (plain ASCII, an empty choice): untouched
    kAlreadyUtf8,   // to UTF-8: the file is UTF-8 text already (or marked so): untouched
    kNotHeld,       // to the code page: a character it cannot hold: untouched
    kInvalidBytes,  // bytes that are not text of the file's encoding: untouched
    kFailed,        // cannot be read or written: untouched
  };
  Status status = kConverted;
  size_t unmapped = 0;       // characters that became "?"
  std::string encodingName;  // the target (unmapped, kNotHeld) or the file's encoding
  std::string character;     // kNotHeld: the first character not held (UTF-8)
  size_t line = 0;           // kNotHeld: its line, from 1
  Message error;             // kFailed: why

  // The file was left as it was although the conversion was asked for.
  bool Failed() const { return status >= kAlreadyUtf8; }
  // Why the file was left as it was (no message when it was not).
  Message Why() const;
};

// Converts one file; setting says how it is read (for the conversion to
// UTF-8).
ConversionResult ConvertCodeFile(const std::string& path, CodeConversion conversion,
                                 EncodingSetting setting, FileRewriter& rewriter);

// GBK simplified -> BIG5 traditional: made traditional within GBK, then
// re-encoded.
bool ConvertGbkToBig5(const std::string& path, Message* error, FileRewriter& rewriter);
// GBK simplified -> GBK traditional.
bool ConvertGbkToTraditional(const std::string& path, Message* error, FileRewriter& rewriter);
// BIG5 traditional -> GBK simplified: re-encoded to GBK, then made simplified.
bool ConvertBig5ToGbk(const std::string& path, Message* error, FileRewriter& rewriter);
// GBK traditional -> GBK simplified.
bool ConvertGbkToSimplified(const std::string& path, Message* error, FileRewriter& rewriter);

// Any encoding -> UTF-8, character for character: the file's encoding is
// the one the setting gives it (detected under "auto"); a byte-order mark
// becomes the UTF-8 mark. A file that is UTF-8 already, or that has a
// byte-order mark the setting does not read, is refused (read as a code page
// it would turn into nonsense), and so is a file with bytes that are not
// valid in its encoding: no character is ever lost.
bool ConvertToUtf8(const std::string& path, EncodingSetting setting, Message* error,
                   FileRewriter& rewriter);

// UTF-8 -> the process code page, the UTF-8 mark dropped. A file that is
// not valid UTF-8, or holds a character the code page cannot hold, is
// refused and left as it was.
bool ConvertUtf8ToCodePage(const std::string& path, Message* error, FileRewriter& rewriter);

}  // namespace strbatch

#endif  // STRBATCH_BATCH_CODE_CONVERSION_H_
