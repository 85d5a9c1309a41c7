// The options of the main window, which every command copies at its start,
// and which the settings file keeps from one run to the next.
#ifndef STRBATCH_CONFIG_OPTIONS_H_
#define STRBATCH_CONFIG_OPTIONS_H_

#include "base/text_encoding.h"

namespace strbatch {

// The Chinese code conversions ("AltCode"). The settings file stores them
// as the numbers 0 to 6 in this order (see AltCodeNumber).
enum class CodeConversion {
  None,              // no conversion: the convert command runs a batch replace
  GbkToBig5,         // GBK simplified to BIG5 traditional
  GbkToTraditional,  // GBK simplified to GBK traditional
  Big5ToGbk,         // BIG5 traditional to GBK simplified
  GbkToSimplified,   // GBK traditional to GBK simplified
  ToUtf8,            // any encoding to UTF-8
  Utf8ToCodePage,    // UTF-8 to the process code page
};

// The language of every interface text ("Language": 0 Chinese, 1 English).
enum class Language { Chinese = 0, English = 1 };

struct Options {
  bool Case = true;      // matching is case-sensitive
  bool Advance = false;  // find strings are advanced expressions, replace strings templates
  CodeConversion AltCode = CodeConversion::None;
  Language language = Language::Chinese;
  bool reportOutput = false;  // batch find writes the find report
  bool autoBackup = false;    // files are backed up before a command changes them
  // How files are read: "gbk" reads every file in the process code page.
  EncodingSetting encoding = EncodingSetting::Gbk;
  // The largest part of a zipped office document read into memory, in
  // mebibytes ("PartLimitMegabytes" of the settings' section "office").
  int partLimitMegabytes = 1024;
  // Office documents are searched in every story (headers, footers, notes,
  // comments, text boxes, slide notes, cell comments, sheet names), not in
  // their body alone ("AllParts").
  bool allParts = false;
};

}  // namespace strbatch

#endif  // STRBATCH_CONFIG_OPTIONS_H_
