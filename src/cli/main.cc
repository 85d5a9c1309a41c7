#include <cstdio>
int main() { std::puts("strbatch-cli"); return 0; }
