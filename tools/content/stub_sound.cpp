// TEMPORARY: empty sound builder while the real one is written.
#include "tools/content/content.h"
#include <filesystem>
#include <fstream>
bool BuildSounds(const std::string&, const std::string& out) {
    std::filesystem::create_directories(out + "/Sound");
    for (const char* n : {"select.wav", "fire.wav", "stole.wav", "pick.wav", "music0.mod"})
        std::ofstream(out + "/Sound/" + n, std::ios::binary);
    return true;
}
