// A private scratch folder for a fuzz target's files, in memory where the system allows.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// A fresh folder ending in '/'; exits when none can be had.
inline std::string MakeFuzzFolder() {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/marrowdale-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return std::string(name.data()) + "/";
}

inline void WriteWhole(const std::string& path, const uint8_t* bytes, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size) std::fwrite(bytes, 1, size, file);
    std::fclose(file);
}

inline std::u16string WideAscii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}
