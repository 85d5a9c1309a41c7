// The command-line front end: strbatch-cli COMMAND [options] FILE...
// Runs the same batch driver as the window, over file and definition lists
// built from the command line.
#ifndef STRBATCH_CLI_CLI_H_
#define STRBATCH_CLI_CLI_H_

#include <cstdio>

namespace strbatch {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;   // some file could not be processed
inline constexpr int kExitUsage = 2;     // bad command line
inline constexpr int kExitRefused = 3;   // the confirmation was not given

// Runs the command line; stdin is read only for the confirmation question.
int RunCli(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace strbatch

#endif  // STRBATCH_CLI_CLI_H_
