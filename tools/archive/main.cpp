// TEMPORARY: archive tool placeholder.
#include <cstdio>
int main() { std::fprintf(stderr, "marrowdale-archive: not built yet\n"); return 2; }
