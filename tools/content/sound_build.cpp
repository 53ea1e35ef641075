// BuildSounds: content/sound/ into Sound/ (four effects and the tune), one line on stderr per
// failure.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/content/content.h"
#include "tools/content/sound.h"

namespace sound {

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw RecipeError{path + ": cannot write"};
}

}  // namespace sound

namespace {

// The game's effect files, each built from the recipe of the same name.
constexpr const char* EffectNames[] = {"select", "fire", "stole", "pick"};

}  // namespace

// Called by the builder's main: writes Sound/*.wav and Sound/music0.mod under outDir.
bool BuildSounds(const std::string& contentDir, const std::string& outDir) {
    std::string source = contentDir + "/sound/";
    std::string target = outDir + "/Sound/";
    std::error_code error;
    std::filesystem::create_directories(target, error);
    if (error) {
        std::fprintf(stderr, "%s: cannot create folder: %s\n", target.c_str(),
                     error.message().c_str());
        return false;
    }
    try {
        for (const char* name : EffectNames) {
            sound::BuildEffect(source + name + ".sfx", target + name + ".wav");
        }
        sound::BuildTune(source + "music0.tune", target + "music0.mod");
    } catch (const sound::RecipeError& fault) {
        std::fprintf(stderr, "%s\n", fault.message.c_str());
        return false;
    }
    return true;
}
