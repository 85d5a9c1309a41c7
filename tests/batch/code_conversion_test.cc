#include "batch/code_conversion.h"

#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;
using Conversion = bool (*)(const std::string&, Message*, FileRewriter&);

// Byte forms of the sample text 汉字 (simplified) / 漢字 (traditional).
const std::string kGbkSimplified = "\xBA\xBA\xD7\xD6";
const std::string kGbkTraditional = "\x9D\x68\xD7\xD6";
const std::string kBig5Traditional = "\xBA\x7E\xA6\x72";

struct Row {
  const char* name;
  Conversion convert;
  std::string input, output;
};

std::string Converted(Conversion convert, const std::string& input) {
  ScratchDir dir;
  std::string path = dir.Write("f.txt", input);
  Message error;
  EXPECT_TRUE(convert(path, &error, DefaultFileRewriter())) << error;
  return dir.Read("f.txt");
}

TEST(CodeConversionTest, ConvertsBetweenCodePagesAndCharacterForms) {
  const std::string ascii = "Hello, world!\r\n\t~{}\x7F";
  const std::string nulTail("\0\xBA\xBA\xFF\0x", 6);
  const Row rows[] = {
      {"GBK to BIG5", ConvertGbkToBig5, kGbkSimplified, kBig5Traditional},
      {"BIG5 to GBK", ConvertBig5ToGbk, kBig5Traditional, kGbkSimplified},
      {"GBK to traditional", ConvertGbkToTraditional, kGbkSimplified, kGbkTraditional},
      {"GBK to simplified", ConvertGbkToSimplified, kGbkTraditional, kGbkSimplified},
      // 丂 (GBK 0x8140) has no traditional form and no BIG5 code.
      {"no BIG5 form", ConvertGbkToBig5, "a\x81\x40z", "a?z"},
      {"mixed with ASCII", ConvertGbkToBig5, "x=" + kGbkSimplified + ";\r\n",
       "x=" + kBig5Traditional + ";\r\n"},
      {"text stops at NUL", ConvertGbkToBig5, kGbkSimplified + nulTail,
       kBig5Traditional + nulTail},
      {"NUL first", ConvertBig5ToGbk, nulTail, nulTail},
      {"empty", ConvertGbkToBig5, "", ""},
      {"ASCII GBK to BIG5", ConvertGbkToBig5, ascii, ascii},
      {"ASCII BIG5 to GBK", ConvertBig5ToGbk, ascii, ascii},
      {"ASCII to traditional", ConvertGbkToTraditional, ascii, ascii},
      {"ASCII to simplified", ConvertGbkToSimplified, ascii, ascii},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Converted(row.convert, row.input), row.output) << row.name;
  }
}

TEST(CodeConversionTest, RoundTripThroughBig5) {
  const std::string text = "A " + kGbkSimplified + "\r\n" + kGbkSimplified;
  EXPECT_EQ(Converted(ConvertBig5ToGbk, Converted(ConvertGbkToBig5, text)), text);
}

TEST(CodeConversionTest, FailuresLeaveTheFile) {
  ScratchDir dir;
  Message error;
  EXPECT_FALSE(ConvertGbkToBig5(dir.File("missing.txt"), &error, DefaultFileRewriter()));
  EXPECT_FALSE(error.Empty());

  // A rewrite that fails midway changes nothing.
  testing::FailingRewriter refusing;
  std::string path = dir.Write("f.txt", kGbkSimplified);
  EXPECT_FALSE(ConvertGbkToBig5(path, &error, refusing));
  EXPECT_EQ(dir.Read("f.txt"), kGbkSimplified);
}

}  // namespace
}  // namespace strbatch
