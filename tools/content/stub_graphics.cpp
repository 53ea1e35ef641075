// TEMPORARY: empty graphics builder while the real one is written.
#include "tools/content/content.h"
#include <filesystem>
#include <fstream>
bool BuildGraphics(const std::string&, const std::string& out) {
    std::filesystem::create_directories(out + "/Graph");
    std::ofstream(out + "/Graph/marrowdale.idx", std::ios::binary);
    std::ofstream(out + "/Graph/marrowdale.dat", std::ios::binary);
    return true;
}
bool WriteContactSheet(const std::string&, const std::string&) { return false; }
