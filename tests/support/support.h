// Shared test helpers: a private game folder for headless runs, frame checksums, PNG dumps.
#pragma once

#include <cstdint>
#include <string>

// A fresh temporary folder holding links to the built Graph/ and Sound/ folders; ends in '/'.
// Pass FolderModulePath(folder) as HeadlessOptions.modulePath so the game finds its data
// there and writes its high score file there.
std::string MakeGameFolder();
std::string FolderModulePath(const std::string& folder);
void RemoveGameFolder(const std::string& folder);

// FNV-1a over the back buffer's 153600 bytes (or any pixels).
uint64_t FrameChecksum(const uint16_t* pixels, int count);
uint64_t BackBufferChecksum();

// Writes the back buffer as MARROWDALE_BUILD_DIR/test-frames/NAME.png; returns the path.
std::string DumpBackBufferPng(const std::string& name);
