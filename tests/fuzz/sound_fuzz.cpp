// Fuzz target: the sound loading over any file, taken at once as an effect (select.wav) and as
// the tune (music0.mod). What the checks accept libmikmod loads, plays and frees without a fault;
// what they refuse stays silent.
#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"
#include "tests/fuzz/fuzz_folder.h"

namespace {

std::string Folder;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Folder = MakeFuzzFolder();
    StartHeadlessHost(HeadlessOptions{});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > UINT32_MAX) return 0;
    WriteWhole(Folder + "select.wav", bytes, size);
    WriteWhole(Folder + "music0.mod", bytes, size);
    std::vector<uint8_t> copy(bytes, bytes + size);
    SoundImage image{};
    bool wave = !CheckWave(copy.data(), static_cast<uint32_t>(size), &image);
    bool module = !CheckModule(bytes, static_cast<uint32_t>(size), &image);

    SetAudioDriver("nosound");
    InitAudio(Folder.c_str());
    if (wave != (EffectSlots[SoundSelect] != nullptr)) __builtin_trap();
    PlayMusic(0);
    if (module != (MusicModule != nullptr)) __builtin_trap();
    PlaySound(SoundSelect);
    UpdateAudio();
    UpdateAudio();
    ShutdownAudio();
    return 0;
}
