// The program's version, for --version and the About texts.
#ifndef STRBATCH_BASE_VERSION_H_
#define STRBATCH_BASE_VERSION_H_

#include <string>

namespace strbatch {

// "0.1", the release version the packages carry.
const char* ReleaseVersion();
// "NAME 0.1" followed by " (git DESCRIPTION)" when built from a checkout.
std::string VersionLine(const char* programName);

}  // namespace strbatch

#endif  // STRBATCH_BASE_VERSION_H_
