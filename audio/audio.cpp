// Audio: the game's thin layer over libmikmod: start-up, effects, the looping tune, volumes, mute.
#include "audio/audio.h"

#include <mikmod.h>

#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/standin.h"

bool SoundOn = true;
int32_t CurrentMusic = -1;
char SoundPrefix[SoundPrefixBytes];
SAMPLE* EffectSlots[EffectSlotCount];
MODULE* MusicModule;

namespace {

// The longest file name the game forms: "music", any 32-bit number, ".mod".
constexpr int MusicNameBytes = 32;
constexpr int SoundPathBytes = SoundPrefixBytes + MusicNameBytes;
constexpr int DriverChoiceBytes = SoundPathBytes + 8;
// "file=" and the disk writer's file name from the choice.
constexpr int DriverParametersBytes = DriverChoiceBytes + 8;
constexpr int32_t StartRetryMs = 1000;
// At the game's pace of 13 ms a pass a second holds 77 tries; the cap keeps a clock that stands
// still (a paused virtual clock) from holding the start up for ever.
constexpr int StartTriesMost = 100;
constexpr int EffectVoices = 4;
constexpr int MusicVoices = 4;
constexpr char PreferredDriver[] = "sdl";
constexpr char SilentDriver[] = "nosound";
constexpr char DiskWriterPrefix[] = "wav:";
constexpr char UnsafeChoice[] = "alsa";

// The effects, loaded in this order into the slot of their number.
struct EffectFile {
    int32_t slot;
    const char* name;
};
constexpr EffectFile EffectFiles[] = {{SoundSelect, "select.wav"},
                                      {SoundStole, "stole.wav"},
                                      {SoundFire, "fire.wav"},
                                      {SoundPick, "pick.wav"}};

// The red cross over the speaker icon: two lines, each doubled one pixel to the right.
struct CrossLine {
    float x0, y0, x1, y1;
};
constexpr CrossLine MuteCross[] = {{0, 0, 15, 15}, {0, 15, 15, 0}, {1, 0, 16, 15}, {1, 15, 16, 0}};

// The driver asked for on the command line; empty for the preferred one.
char DriverChoice[DriverChoiceBytes];
// libmikmod links each driver into its list when registered; a second registration of the
// same list makes it circular, so drivers and loaders are registered once per process.
bool LibraryRegistered;
// The library answered (at worst through its no-sound driver) and is not shut down.
bool AudioStarted;
// A disk writer mixes a fixed block of 32768 bytes (8192 frames of 16-bit stereo) at every
// update, however little time has passed; it is updated only once the time a block covers has
// gone by on the clock, so that a recording lasts as long as the game and keeps its timing.
constexpr char DiskWriterAliases[][8] = {"wav", "aiff", "raw"};
constexpr uint64_t DiskBlockFrames = 8192;
bool RecordingToDisk;
uint32_t RecordingStartTick;
uint64_t RecordedFrames;
// False when the Sound folder did not fit SoundPrefix: no sound file is then opened.
bool SoundFolderFits;

// Writes the Sound folder followed by name into path; false, with one line on stderr, when
// the whole path would not fit (it is never cut short).
bool JoinSoundPath(char* path, const char* name) {
    if (!SoundFolderFits) return false;
    int length = std::snprintf(path, SoundPathBytes, "%s%s", SoundPrefix, name);
    if (length >= 0 && length < SoundPathBytes) return true;
    std::fprintf(stderr, "marrowdale: sound file path too long, %s not loaded\n", name);
    return false;
}

// The device number of the driver to try first (0 when unknown), and its parameters: the disk
// writer chosen as "wav:FILE" writes to FILE.
int ChosenDevice(char* parameters) {
    parameters[0] = '\0';
    const char* choice = DriverChoice[0] ? DriverChoice : PreferredDriver;
    if (std::strncmp(choice, DiskWriterPrefix, std::strlen(DiskWriterPrefix)) == 0) {
        std::snprintf(parameters, DriverParametersBytes, "file=%s",
                      choice + std::strlen(DiskWriterPrefix));
        return MikMod_DriverFromAlias("wav");
    }
    int device = MikMod_DriverFromAlias(choice);
    if (device == 0 && DriverChoice[0]) {
        std::fprintf(stderr, "marrowdale: no audio driver '%s'; libmikmod chooses\n", choice);
    }
    return device;
}

// libmikmod's own choice: the first registered driver that says it is present. Its ALSA
// driver ends the process (a failed assertion in libasound) when no ALSA device opens, and it
// is chosen only when SDL's audio could not start, so then the choice is passed over.
bool TryLibraryChoice() {
    for (int n = 1; MDRIVER* driver = MikMod_DriverByOrdinal(n); ++n) {
        if (!driver->IsPresent()) continue;
        if (driver->Alias && std::strcmp(driver->Alias, UnsafeChoice) == 0) return false;
        md_device = 0;
        return MikMod_Init("") == 0;
    }
    return false;
}

// One try: the chosen driver, then libmikmod's own choice. True when one of them started.
bool TryDrivers(int device, const char* parameters) {
    if (device > 0) {
        md_device = static_cast<UWORD>(device);
        if (MikMod_Init(parameters) == 0) return true;
    }
    return TryLibraryChoice();
}

// Starts the library, retrying for up to a second with the loading screen shown; then falls
// back to the no-sound driver so that every later call is harmless. False if even that fails.
bool StartLibrary() {
    static char parameters[DriverParametersBytes];
    int device = ChosenDevice(parameters);
    ResetClock();
    for (int tries = 1; !TryDrivers(device, parameters); ++tries) {
        if (ElapsedMs() >= StartRetryMs || tries == StartTriesMost) {
            std::fprintf(stderr, "marrowdale: no sound device answered (%s); playing silently\n",
                         MikMod_strerror(MikMod_errno));
            md_device = static_cast<UWORD>(MikMod_DriverFromAlias(SilentDriver));
            return MikMod_Init("") == 0;
        }
        PresentFrame(true);
    }
    return true;
}

// Loads the four effects from the Sound folder; a missing file leaves its slot empty.
void LoadEffects() {
    static char path[SoundPathBytes];
    for (const EffectFile& effect : EffectFiles) {
        if (JoinSoundPath(path, effect.name)) EffectSlots[effect.slot] = Sample_Load(path);
    }
    for (SAMPLE* sample : EffectSlots) {
        if (sample) sample->panning = PAN_SURROUND;
    }
}

// Stops the tune and the notes it holds: the library leaves a stopped tune's looped notes
// sounding while the effect voices keep its output running.
void HaltMusic() {
    int voices[MusicVoices];
    int count = 0;
    if (MusicModule && Player_GetModule() == MusicModule) {
        for (int channel = 0; channel < MusicModule->numchn && count < MusicVoices; ++channel) {
            voices[count++] = Player_GetChannelVoice(static_cast<UBYTE>(channel));
        }
    }
    Player_Stop();
    for (int i = 0; i < count; ++i) {
        if (voices[i] >= 0) Voice_Stop(static_cast<SBYTE>(voices[i]));
    }
}

}  // namespace

// Command line (--audio-driver): the driver to ask for first.
void SetAudioDriver(const char* alias) {
    DriverChoice[0] = '\0';
    if (!alias) return;
    if (std::strlen(alias) >= sizeof DriverChoice) {
        std::fprintf(stderr, "marrowdale: audio driver name too long, using the default\n");
    } else if (std::strncmp(alias, DiskWriterPrefix, std::strlen(DiskWriterPrefix)) == 0 &&
               std::strchr(alias, ',')) {
        // libmikmod ends its parameters at a comma, so such a file would be another file.
        std::fprintf(stderr,
                     "marrowdale: the wav driver's file name cannot hold ',', using the default\n");
    } else {
        std::strcpy(DriverChoice, alias);
    }
}

// LoadAllAssets, once: starts the library and loads the effects from the Sound folder.
void InitAudio(const char* soundFolder) {
    SoundFolderFits = std::strlen(soundFolder) < sizeof SoundPrefix;
    SoundPrefix[0] = '\0';
    if (SoundFolderFits) {
        std::strcpy(SoundPrefix, soundFolder);
    } else {
        std::fprintf(stderr, "marrowdale: Sound folder path too long; no sound files\n");
    }
    if (!LibraryRegistered) {
        MikMod_RegisterAllDrivers();
        MikMod_RegisterAllLoaders();
        LibraryRegistered = true;
    }
    SoundOn = true;
    CurrentMusic = -1;
    MusicModule = nullptr;
    for (SAMPLE*& slot : EffectSlots) slot = nullptr;
    AudioStarted = StartLibrary();
    if (!AudioStarted) return;
    RecordingToDisk = false;
    for (const char* alias : DiskWriterAliases) {
        RecordingToDisk |= md_driver && md_driver->Alias && !std::strcmp(md_driver->Alias, alias);
    }
    RecordingStartTick = TickCount();
    RecordedFrames = 0;
    LockAudioOutput();
    MikMod_SetNumVoices(-1, EffectVoices);
    MikMod_EnableOutput();
    LoadEffects();
    UnlockAudioOutput();
}

// ReleaseAllAssets, once: stops the music, frees the module and the effects, ends the library.
void ShutdownAudio() {
    if (!AudioStarted) return;
    LockAudioOutput();
    HaltMusic();
    if (MusicModule) {
        Player_Free(MusicModule);
        MusicModule = nullptr;
    }
    // No voice may be mixing an effect while it is freed.
    MikMod_DisableOutput();
    for (SAMPLE*& slot : EffectSlots) {
        if (slot) Sample_Free(slot);
        slot = nullptr;
    }
    UnlockAudioOutput();
    MikMod_Exit();
    AudioStarted = false;
}

// Screens and actor rules: plays effect n on the next effect voice, which may cut off an
// older effect still sounding there.
void PlaySound(int32_t effect) {
    if (effect < 0 || effect >= EffectSlotCount || !EffectSlots[effect]) return;
    LockAudioOutput();
    Sample_Play(EffectSlots[effect], 0, 0);
    UnlockAudioOutput();
}

namespace {

// Frees the old tune before loading tune n from the Sound folder and starting it.
void SwitchMusic(int32_t music) {
    if (music == CurrentMusic) {
        if (MusicModule) Player_Start(MusicModule);
        return;
    }
    CurrentMusic = music;
    if (MusicModule) {
        HaltMusic();
        Player_Free(MusicModule);
        MusicModule = nullptr;
    }
    char name[MusicNameBytes];
    std::snprintf(name, sizeof name, "music%d.mod", static_cast<int>(music));
    static char path[SoundPathBytes];
    bool named = JoinSoundPath(path, name);
    Player_Stop();
    if (!named || !AudioStarted) return;
    MusicModule = Player_Load(path, MusicVoices, 0);
    if (!MusicModule) return;
    MusicModule->wrap = 1;
    Player_Start(MusicModule);
}

}  // namespace

// Main loop: starts tune n, or lets the current one go on; a tune that fails to load is not
// tried again until another number is asked for.
void PlayMusic(int32_t music) {
    LockAudioOutput();
    SwitchMusic(music);
    UnlockAudioOutput();
}

// Main loop, after the credits: pauses the tune where it stands.
void StopMusic() {
    LockAudioOutput();
    HaltMusic();
    UnlockAudioOutput();
}

// Volume of every later effect (0-255; the library plays anything above 64 at 64).
void SetSoundVolume(uint8_t volume) {
    LockAudioOutput();
    for (SAMPLE* sample : EffectSlots) {
        if (sample) sample->volume = volume;
    }
    UnlockAudioOutput();
}

// Volume of the tune (0-128), which the player applies as it goes.
void SetMusicVolume(uint8_t volume) {
    LockAudioOutput();
    MikMod_Lock();
    md_musicvolume = volume;
    MikMod_Unlock();
    UnlockAudioOutput();
}

// Main loop, every pass: lets the library mix the next stretch of sound (a disk writer: as
// many blocks as the clock has gone past).
void UpdateAudio() {
    LockAudioOutput();
    if (!RecordingToDisk) {
        MikMod_Update();
    } else {
        uint64_t due = uint64_t{TickCount() - RecordingStartTick} * md_mixfreq / 1000;
        for (; RecordedFrames + DiskBlockFrames <= due; RecordedFrames += DiskBlockFrames) {
            MikMod_Update();
        }
    }
    UnlockAudioOutput();
}

// Speaker icon: mutes effects and tune, or gives back the unmuted pair.
void ToggleMute() {
    SoundOn = !SoundOn;
    SetSoundVolume(SoundOn ? UnmutedSoundVolume : 0);
    SetMusicVolume(SoundOn ? UnmutedMusicVolume : 0);
}

// Main loop, once after the unmuted volumes are set: a wave device turned all the way down
// (the player chose to start muted) starts the game muted, the speaker crossed out.
void MuteIfDeviceSilent() {
    DWORD volume = 0xFFFFFFFF;
    if (waveOutGetVolume(nullptr, &volume) == MMSYSERR_NOERROR && volume == 0 && SoundOn) {
        ToggleMute();
    }
}

// Menu and play, after their frame: a red cross over the speaker icon while muted.
void DrawMuteCross() {
    if (SoundOn) return;
    for (const CrossLine& line : MuteCross) DrawLine(line.x0, line.y0, line.x1, line.y1, ColourRed);
}
