#include "base/version.h"

#include "strbatch_version.h"

namespace strbatch {

const char* ReleaseVersion() { return STRBATCH_VERSION; }

std::string VersionLine(const char* programName) {
  std::string line = std::string(programName) + " " + STRBATCH_VERSION;
  const std::string description = STRBATCH_GIT_DESCRIPTION;
  if (!description.empty()) line += " (git " + description + ")";
  return line;
}

}  // namespace strbatch
