// Fuzz target: any settings file is read without a fault, and a rewrite after the game changed
// the window's scale changes that one line (or adds it) and keeps every other line as it was.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "handheld/standin.h"
#include "services/settings.h"
#include "tests/fuzz/fuzz_folder.h"

namespace {

std::string Path;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string ReadBack() {
    std::string text;
    FILE* file = std::fopen(Path.c_str(), "rb");
    if (!file) return text;
    char block[4096];
    for (size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) text.append(block, got);
    std::fclose(file);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string folder = MakeFuzzFolder();
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    std::string own = folder + "marrowdale";
    if (std::system(("mkdir -p '" + own + "'").c_str()) != 0) std::abort();
    Path = own + "/marrowdale.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string before(reinterpret_cast<const char*>(bytes), size);
    WriteWhole(Path, bytes, size);
    StandInOptions options;
    LoadSettings(&options);
    int scale = options.scale == 3 ? 5 : 3;
    RememberScale(scale);
    if (!SaveSettings()) __builtin_trap();
    std::vector<std::string> was = Lines(before), now = Lines(ReadBack());
    std::string changed = "scale = " + std::to_string(scale);
    size_t differing = 0;
    for (size_t i = 0; i < was.size() && i < now.size(); ++i) {
        if (was[i] != now[i] && now[i] != changed) __builtin_trap();
        differing += was[i] != now[i];
    }
    bool added = now.size() == was.size() + 1 && now.back() == changed;
    if (!(now.size() == was.size() && differing <= 1) && !(added && differing == 0)) __builtin_trap();
    StandInOptions again;
    LoadSettings(&again);
    if (again.scale != scale) __builtin_trap();
    return 0;
}
