// This file's external interface is CPattern::Dump and PatternOpName: a
// listing of a compiled program, one instruction per line, for tests and
// debugging.
#include <cstdio>

#include "pattern/pattern.h"

namespace strbatch {
namespace {

// A character value as a reader wants it: the end test, a printable ASCII
// character in quotes, anything else in hex.
std::string DescribeChar(int32_t value) {
  char buffer[32];
  if (value == 0) return "end";
  if (value >= 0x20 && value < 0x7F) {
    std::snprintf(buffer, sizeof buffer, "'%c'", static_cast<char>(value));
  } else {
    std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(value));
  }
  return buffer;
}

std::string DescribeBytes(const std::string& bytes) {
  std::string out;
  for (unsigned char b : bytes) {
    if (b >= 0x20 && b < 0x7F && b != '\\' && b != '"') {
      out.push_back(static_cast<char>(b));
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", b);
      out += buffer;
    }
  }
  return out;
}

}  // namespace

const char* PatternOpName(PatternOp op) {
  switch (op) {
    case OpNop: return "OpNop";
    case OpGroupStart: return "OpGroupStart";
    case OpGroupEnd: return "OpGroupEnd";
    case OpChar: return "OpChar";
    case OpAny: return "OpAny";
    case OpClass: return "OpClass";
    case OpNotClass: return "OpNotClass";
    case OpJump: return "OpJump";
    case OpPushPos: return "OpPushPos";
    case OpPopPos: return "OpPopPos";
    case OpCall: return "OpCall";
    case OpReturn: return "OpReturn";
    case OpPushSlot: return "OpPushSlot";
    case OpPopSlot: return "OpPopSlot";
    case OpSavePos: return "OpSavePos";
    case OpSaveDepth: return "OpSaveDepth";
    case OpLoadPos: return "OpLoadPos";
    case OpLoadDepth: return "OpLoadDepth";
    case OpNoProgress: return "OpNoProgress";
    case OpBackref: return "OpBackref";
    case OpFailAll: return "OpFailAll";
    case OpAdvance: return "OpAdvance";
    case OpAccept: return "OpAccept";
    case OpPushGroup: return "OpPushGroup";
    case OpPopGroup: return "OpPopGroup";
    case OpRepeatSet: return "OpRepeatSet";
    case OpRepeatBack: return "OpRepeatBack";
    case OpRepeatAny: return "OpRepeatAny";
    case OpRepeatClass: return "OpRepeatClass";
    case OpRepeatChar: return "OpRepeatChar";
  }
  return "Op?";
}

std::string CPattern::Dump() const {
  std::string out;
  char line[96];
  std::snprintf(line, sizeof line, "error %d groups %d slots %d %s%s\n",
                static_cast<int>(lastError_), groupCount_, slotCount_,
                caseSensitive_ ? "case-sensitive" : "case-insensitive",
                anchored_ ? " anchored" : "");
  out += line;
  switch (prefilter_.kind) {
    case Prefilter::kNone: break;
    case Prefilter::kByte:
    case Prefilter::kLiteral:
      out += "starts with \"" + DescribeBytes(prefilter_.literal) + "\"\n";
      break;
    case Prefilter::kByteSet:
      out += "starts with one of " + std::to_string(prefilter_.firstBytes.Count()) + " bytes\n";
      break;
  }
  for (size_t i = 0; i < program_.size(); ++i) {
    const PatternInstr& in = program_[i];
    std::string operand;
    switch (in.op) {
      case OpChar:
      case OpRepeatChar:
        operand = DescribeChar(in.operand);
        break;
      case OpNop:
        // Inside a class the pairs of OpNop hold range bounds.
        operand = in.operand != 0 ? DescribeChar(in.operand) : "";
        break;
      case OpAny: case OpReturn: case OpPushPos: case OpPopPos:
      case OpFailAll: case OpAdvance: case OpAccept: case OpRepeatAny:
        break;
      default:
        operand = std::to_string(in.operand);
        break;
    }
    if (operand.empty()) {
      std::snprintf(line, sizeof line, "%4zu  %s\n", i, PatternOpName(in.op));
    } else {
      // Operands line up after the names, with at least one blank between.
      std::snprintf(line, sizeof line, "%4zu  %-12s %s\n", i, PatternOpName(in.op), operand.c_str());
    }
    out += line;
  }
  return out;
}

}  // namespace strbatch
