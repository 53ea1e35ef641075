// marrowdale-content: builds Graph/ and Sound/ from content/; same input, same bytes.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/content/content.h"

namespace {

int Usage(FILE* to) {
    std::fprintf(to,
                 "usage: marrowdale-content --content DIR --out DIR\n"
                 "       marrowdale-content --content DIR --contact-sheet FILE.png\n");
    return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string contentDir, outDir, sheet;
    for (int i = 1; i < argc; ++i) {
        bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--help")) return Usage(stdout);
        if (!std::strcmp(argv[i], "--content") && hasValue) {
            contentDir = argv[++i];
        } else if (!std::strcmp(argv[i], "--out") && hasValue) {
            outDir = argv[++i];
        } else if (!std::strcmp(argv[i], "--contact-sheet") && hasValue) {
            sheet = argv[++i];
        } else {
            std::fprintf(stderr, "marrowdale-content: unknown or incomplete option '%s'\n", argv[i]);
            return Usage(stderr);
        }
    }
    if (contentDir.empty() || (outDir.empty() && sheet.empty())) return Usage(stderr);
    if (!sheet.empty()) return WriteContactSheet(contentDir, sheet) ? 0 : 1;
    return BuildGraphics(contentDir, outDir) && BuildSounds(contentDir, outDir) ? 0 : 1;
}
