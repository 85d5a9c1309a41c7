#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) { return strbatch::RunCli(argc, argv, stdin, stdout, stderr); }
