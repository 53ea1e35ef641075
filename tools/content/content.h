// The content builder: turns the text sources in content/ into the game's data files.
#pragma once

#include <string>

// Each returns false after printing one line on stderr that names the file at fault.
bool BuildGraphics(const std::string& contentDir, const std::string& outDir);
bool BuildSounds(const std::string& contentDir, const std::string& outDir);
bool WriteContactSheet(const std::string& contentDir, const std::string& pngPath);
