// Audio: the game's thin layer over libmikmod: start-up, effects, the looping tune, volumes, mute.
#include "audio/audio.h"

#include <mikmod.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "shell/shell.h"
#include "gfx/gfx.h"
#include "handheld/standin.h"

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
constexpr char SilentDriver[] = "nosound";
constexpr char DiskWriterPrefix[] = "wav:";
// The most of a refused name a message shows.
constexpr int ShownNameChars = 60;
// The drivers tried in turn when none is asked for (those a build lacks are passed over).
// libmikmod's SDL driver mixes on SDL's audio thread whatever the loop's pace; the browser's
// page mixes as it plays; its PulseAudio driver is the library's own first choice.
constexpr const char* DefaultDrivers[] = {"sdl", "webaudio", "pulseaudio"};
// The drivers that mix outside MikMod_Update: on SDL's audio thread, as the page plays.
constexpr const char* AudioThreadDrivers[] = {"sdl", "webaudio"};

// Drivers whose device the platform looks for itself: libmikmod's own check says nothing of
// SDL's device, and opening ALSA's default device for it is what may abort the process.
struct DeviceCheck {
    const char* alias;
    SoundDevice (*check)();
};
constexpr DeviceCheck PlatformDeviceChecks[] = {{"sdl", SdlSoundDevice}, {"alsa", AlsaSoundDevice}};

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

// The driver asked for on the command line; empty for the default order.
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
// The started driver mixes on SDL's audio thread, not in MikMod_Update.
bool MixedOnAudioThread;
// The no-sound driver mixes for nobody: the game then leaves the library's mixer alone.
bool PlayingSilently;
// False when the Sound folder did not fit SoundPrefix: no sound file is then opened.
bool SoundFolderFits;

// The fade of the whole output, which libmikmod's mixer applies to every stretch it mixes: the
// sound is scaled by OutputLevel / FadeFrames, and the level moves one step a frame towards
// silence while anything holds the output down, else towards FadeFrames. A tune or the library
// is stopped only once the level has reached 0, so that it ends without a click. Changed under
// the audio device's lock, which the mixer holds.
constexpr int32_t FadeMs = 30;
int32_t FadeFrames = 1;
int32_t OutputLevel = 1;
// What holds the output down: a stop, until it has halted what it stops; a new volume of the
// tune (-1: none), asked for by a mute and put in once the output is silent; and then the
// player's next tick, which gives the tune's voices that volume (the library changes a voice's
// volume only at a tick, at once: a click). Effects still sounding dip and play on.
bool StopHolds;
int32_t MusicVolumeAsked = -1;
bool TickAwaited;
// libmikmod's own player, which the mixer calls at every tick through PlayTick.
MikMod_player_t TunePlayer;
// Waiting for SDL's audio thread to mix a fade: it mixes 2048 frames (46 ms) at a time.
constexpr int SilenceWaitsMost = 125;
// Updates that mix a fade in the game's thread: PulseAudio's mix about 6 ms each.
constexpr int SilenceUpdatesMost = 64;

// libmikmod's mixer, on the thread that mixes, after each stretch of 32-bit mixed frames
// (channels interleaved) and before they become samples: applies the fade. Silent, it puts
// in the tune's volume asked for, which holds the output down till the player's next tick.
void FadeOutput(unsigned char* data, size_t frames) {
    int32_t target = StopHolds || MusicVolumeAsked >= 0 || TickAwaited ? 0 : FadeFrames;
    if (OutputLevel == FadeFrames && target == FadeFrames) return;
    auto* mix = reinterpret_cast<SLONG*>(data);
    int channels = md_mode & DMODE_STEREO ? 2 : 1;
    for (size_t frame = 0; frame < frames; ++frame) {
        OutputLevel += (OutputLevel < target) - (OutputLevel > target);
        for (int channel = 0; channel < channels; ++channel, ++mix) {
            *mix = static_cast<SLONG>(int64_t{*mix} * OutputLevel / FadeFrames);
        }
    }
    if (OutputLevel == 0 && MusicVolumeAsked >= 0) {
        md_musicvolume = static_cast<UBYTE>(MusicVolumeAsked);
        MusicVolumeAsked = -1;
        TickAwaited = true;
    }
}

// libmikmod's player, at every tick of the mixer (a tune playing or not): the tune's voices
// take their volumes, a new one included.
void PlayTick() {
    TunePlayer();
    TickAwaited = false;
}

// One update of the library; a disk writer's block counts towards the recording's time.
void MixStretch() {
    MikMod_Update();
    if (RecordingToDisk) RecordedFrames += DiskBlockFrames;
}

// Fades the output to silence and waits until the mixer has carried the fade out: the game's
// own updates mix it, or SDL's audio thread for its driver (a stalled thread is not waited for).
void FadeToSilence() {
    if (!AudioStarted || PlayingSilently) return;
    LockAudioOutput();
    StopHolds = true;
    UnlockAudioOutput();
    int waitsMost = MixedOnAudioThread ? SilenceWaitsMost : SilenceUpdatesMost;
    for (int wait = 0; wait < waitsMost; ++wait) {
        LockAudioOutput();
        bool silent = OutputLevel == 0;
        if (!silent && !MixedOnAudioThread) MixStretch();
        UnlockAudioOutput();
        if (silent) return;
        if (MixedOnAudioThread) WaitAudioOutput();
    }
}

// What follows a name shown cut short.
const char* Cut(const char* name) { return std::strlen(name) > size_t{ShownNameChars} ? "..." : ""; }

// Whether text begins with head.
bool StartsWith(const char* text, const char* head) {
    return std::strncmp(text, head, std::strlen(head)) == 0;
}

// Registers libmikmod's drivers, its MOD loader (the only format the game plays; the sound
// files are checked as MOD, so no other loader may read one) and PlayTick, once per process.
void RegisterLibrary() {
    if (LibraryRegistered) return;
    MikMod_RegisterAllDrivers();
    MikMod_RegisterLoader(&load_mod);
    TunePlayer = MikMod_RegisterPlayer(PlayTick);
    LibraryRegistered = true;
}

// Writes the Sound folder followed by name into path; false, with one line on stderr, when
// the whole path would not fit (it is never cut short).
bool JoinSoundPath(char* path, const char* name) {
    if (!SoundFolderFits) return false;
    int length = std::snprintf(path, SoundPathBytes, "%s%s", SoundPrefix, name);
    if (length >= 0 && length < SoundPathBytes) return true;
    std::fprintf(stderr, "marrowdale: sound file path too long, %s not loaded\n", name);
    return false;
}

// Whether the disk writer may write file: it is created if missing, never emptied here.
bool CanRecordTo(const char* file) {
    static WCHAR wide[MAX_PATH_CHARS];
    if (MultiByteToWideChar(CP_UTF8, 0, file, -1, wide, MAX_PATH_CHARS) == 0) return false;
    HANDLE handle = CreateFileW(wide, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

// The drivers to try, by number, and their parameters (the disk writer chosen as "wav:FILE"
// writes to FILE); how many.
int ChosenDrivers(int* drivers, char* parameters) {
    parameters[0] = '\0';
    if (!DriverChoice[0]) {
        int count = 0;
        for (const char* alias : DefaultDrivers) {
            if (int driver = MikMod_DriverFromAlias(alias)) drivers[count++] = driver;
        }
        return count;
    }
    if (StartsWith(DriverChoice, DiskWriterPrefix)) {
        std::snprintf(parameters, DriverParametersBytes, "file=%s",
                      DriverChoice + std::strlen(DiskWriterPrefix));
        drivers[0] = MikMod_DriverFromAlias("wav");
    } else {
        drivers[0] = MikMod_DriverFromAlias(DriverChoice);
    }
    return 1;
}

// Whether driver n's device is there, found out without a line on stderr.
SoundDevice DeviceOf(int driver) {
    MDRIVER* record = MikMod_DriverByOrdinal(driver);
    for (const DeviceCheck& device : PlatformDeviceChecks) {
        if (record->Alias && !std::strcmp(record->Alias, device.alias)) return device.check();
    }
    return record->IsPresent() ? SoundDevice::Ready : SoundDevice::Missing;
}

// One try of each driver whose device is there: true when one started. found tells the most
// any device was: missing everywhere, or there but held (or refusing) for now.
bool TryDrivers(const int* drivers, int count, const char* parameters, SoundDevice* found) {
    *found = SoundDevice::Missing;
    for (int i = 0; i < count; ++i) {
        SoundDevice device = DeviceOf(drivers[i]);
        if (device == SoundDevice::Ready) {
            md_device = static_cast<UWORD>(drivers[i]);
            if (MikMod_Init(parameters) == 0) return true;
            device = SoundDevice::Busy;
        }
        if (device == SoundDevice::Busy) *found = device;
    }
    return false;
}

struct DriverTry {
    const int* drivers;
    int count;
    const char* parameters;
};

// One try of the chosen drivers, as the platform's TrySoundDevice makes it: Ready when one
// started, else Busy when some device is there but did not open.
SoundDevice TryDriversOnce(void* context) {
    const DriverTry& attempt = *static_cast<const DriverTry*>(context);
    SoundDevice found = SoundDevice::Missing;
    bool started = TryDrivers(attempt.drivers, attempt.count, attempt.parameters, &found);
    return started ? SoundDevice::Ready : found;
}

// The one line that says the game plays silently, and why.
void ReportSilence(SoundDevice found) {
    const char* reason = MikMod_strerror(MikMod_errno);
    if (DriverChoice[0] && found == SoundDevice::Missing) {
        std::fprintf(stderr, "marrowdale: audio driver '%s' finds no device; playing silently\n",
                     DriverChoice);
    } else if (DriverChoice[0]) {
        std::fprintf(stderr, "marrowdale: audio driver '%s' did not start (%s); playing silently\n",
                     DriverChoice, reason);
    } else if (found == SoundDevice::Missing) {
        std::fprintf(stderr, "marrowdale: no sound device; playing silently\n");
    } else {
        std::fprintf(stderr, "marrowdale: no sound device answered (%s); playing silently\n",
                     reason);
    }
}

// The no-sound driver, after the line that says why: every later call is harmless. False if
// even that fails.
bool StartSilently(SoundDevice found) {
    ReportSilence(found);
    md_device = static_cast<UWORD>(MikMod_DriverFromAlias(SilentDriver));
    return MikMod_Init("") == 0;
}

// Starts the library. While a device is there but does not answer (another program may hold
// it), the drivers are tried again for up to a second with the loading screen shown; without
// any device, or after that second, the no-sound driver.
bool StartLibrary() {
    static char parameters[DriverParametersBytes];
    int drivers[std::size(DefaultDrivers)];
    DriverTry attempt{drivers, ChosenDrivers(drivers, parameters), parameters};
    ResetClock();
    for (int tries = 1;; ++tries) {
        SoundDevice answer = TrySoundDevice(TryDriversOnce, &attempt);
        if (answer == SoundDevice::Ready) return true;
        bool givingUp = ElapsedMs() >= StartRetryMs || tries == StartTriesMost;
        if (answer == SoundDevice::Missing || givingUp) return StartSilently(answer);
        PresentFrame(true);
    }
}

// A game that played silently goes on live: one try of the chosen drivers, outside the game
// (it runs no pass meanwhile, and nothing of it is journalled), else the no-sound driver.
bool StartLibraryNow() {
    static char parameters[DriverParametersBytes];
    int drivers[std::size(DefaultDrivers)];
    DriverTry attempt{drivers, ChosenDrivers(drivers, parameters), parameters};
    SoundDevice answer = TryDriversOnce(&attempt);
    return answer == SoundDevice::Ready || StartSilently(answer);
}

// Whether the started driver has this alias.
bool DriverIs(const char* alias) {
    return md_driver && md_driver->Alias && !std::strcmp(md_driver->Alias, alias);
}

// Loads the four effects from the Sound folder; a missing or damaged file leaves its slot
// empty, with one line on stderr.
void LoadEffects() {
    static char path[SoundPathBytes];
    for (const EffectFile& effect : EffectFiles) {
        SoundImage image{};
        if (!JoinSoundPath(path, effect.name)) continue;
        if (!ReadSoundFile(path, EffectSound, &image)) continue;
        LockAudioOutput();
        SAMPLE* sample = Sample_LoadMem(reinterpret_cast<const char*>(image.bytes),
                                        static_cast<int>(image.size));
        if (sample) sample->panning = PAN_SURROUND;
        EffectSlots[effect.slot] = sample;
        UnlockAudioOutput();
        if (!sample) {
            std::fprintf(stderr,
                         "marrowdale: libmikmod cannot load %s (%s); the effect stays silent\n",
                         path, MikMod_strerror(MikMod_errno));
        }
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

// Loads tune n from the Sound folder and starts it; a missing or damaged file means no music,
// with one line on stderr.
void LoadMusic(int32_t music) {
    char name[MusicNameBytes];
    std::snprintf(name, sizeof name, "music%d.mod", static_cast<int>(music));
    static char path[SoundPathBytes];
    SoundImage image{};
    if (!JoinSoundPath(path, name) || !ReadSoundFile(path, MusicSound, &image)) return;
    LockAudioOutput();
    MusicModule = Player_LoadMem(reinterpret_cast<const char*>(image.bytes),
                                 static_cast<int>(image.size), MusicVoices, 0);
    if (MusicModule) {
        MusicModule->wrap = 1;
        Player_Start(MusicModule);
    }
    UnlockAudioOutput();
    if (!MusicModule) {
        std::fprintf(stderr, "marrowdale: libmikmod cannot load %s (%s); there is no music\n", path,
                     MikMod_strerror(MikMod_errno));
    }
}

// The library just started: what its driver is, the fade at full with nothing holding it
// down, the effect voices, the output on, and the effects loaded.
void OpenOutput() {
    if (!AudioStarted) return;
    RecordingToDisk = false;
    for (const char* alias : DiskWriterAliases) RecordingToDisk |= DriverIs(alias);
    MixedOnAudioThread = false;
    for (const char* alias : AudioThreadDrivers) MixedOnAudioThread |= DriverIs(alias);
    PlayingSilently = DriverIs(SilentDriver);
    RecordingStartTick = TickCount();
    RecordedFrames = 0;
    LockAudioOutput();
    FadeFrames = std::max(1, md_mixfreq * FadeMs / 1000);
    OutputLevel = FadeFrames;
    StopHolds = false;
    MusicVolumeAsked = -1;
    TickAwaited = false;
    VC_SetCallback(FadeOutput);
    MikMod_SetNumVoices(-1, EffectVoices);
    MikMod_EnableOutput();
    UnlockAudioOutput();
    LoadEffects();
}

}  // namespace

// Command line (--audio-driver): the driver to use. A name libmikmod does not know, or a disk
// writer's file that cannot be written, is refused at once with one line.
void SetAudioDriver(const char* alias) {
    DriverChoice[0] = '\0';
    if (!alias) return;
    RegisterLibrary();
    const char* file = StartsWith(alias, DiskWriterPrefix) ? alias + std::strlen(DiskWriterPrefix)
                                                           : nullptr;
    if (std::strlen(alias) >= sizeof DriverChoice) {
        std::fprintf(stderr, "marrowdale: audio driver name too long, using the default\n");
    } else if (file && !*file) {
        std::fprintf(stderr, "marrowdale: the wav driver needs a file name, using the default\n");
    } else if (file && std::strchr(file, ',')) {
        // libmikmod ends its parameters at a comma, so such a file would be another file.
        std::fprintf(stderr,
                     "marrowdale: the wav driver's file name cannot hold ',', using the default\n");
    } else if (file && !CanRecordTo(file)) {
        std::fprintf(stderr, "marrowdale: cannot write the sound to %.*s%s, using the default\n",
                     ShownNameChars, file, Cut(file));
    } else if (!file && MikMod_DriverFromAlias(alias) == 0) {
        std::fprintf(stderr, "marrowdale: no audio driver '%.*s%s', using the default\n",
                     ShownNameChars, alias, Cut(alias));
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
    RegisterLibrary();
    SoundOn = true;
    CurrentMusic = -1;
    MusicModule = nullptr;
    for (SAMPLE*& slot : EffectSlots) slot = nullptr;
    AudioStarted = StartLibrary();
    OpenOutput();
}

// ReleaseAllAssets, once: fades out, stops the music, frees the module and the effects, and
// ends the library. SDL's device is closed before the library's exit, with no lock held.
void ShutdownAudio() {
    if (!AudioStarted) return;
    FadeToSilence();
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
    CloseAudioOutput();
    MikMod_Exit();
    AudioStarted = false;
}

// A game that played silently goes on live (a resumed game, replayed without sound): the
// library starts again with the driver now chosen, the effects and the tune that was playing
// loaded afresh, muted as the game was; no pass runs meanwhile.
void RestartAudio() {
    if (!AudioStarted) return;
    bool soundOn = SoundOn;
    int32_t music = CurrentMusic;
    ShutdownAudio();
    SoundOn = soundOn;
    CurrentMusic = -1;
    AudioStarted = StartLibraryNow();
    OpenOutput();
    if (music >= 0) PlayMusic(music);
    SetSoundVolume(SoundOn ? UnmutedSoundVolume : 0);
    SetMusicVolume(SoundOn ? UnmutedMusicVolume : 0);
}

// Screens and actor rules: plays effect n on the next effect voice, which may cut off an
// older effect still sounding there.
void PlaySound(int32_t effect) {
    if (effect < 0 || effect >= EffectSlotCount || !EffectSlots[effect]) return;
    LockAudioOutput();
    Sample_Play(EffectSlots[effect], 0, 0);
    UnlockAudioOutput();
}

// Main loop: starts tune n (fading out and freeing another one first), or lets the current
// one go on; a tune that fails to load is not tried again until another number is asked for.
void PlayMusic(int32_t music) {
    if (music == CurrentMusic) {
        LockAudioOutput();
        if (MusicModule) Player_Start(MusicModule);
        UnlockAudioOutput();
        return;
    }
    StopMusic();
    CurrentMusic = music;
    if (MusicModule) {
        LockAudioOutput();
        Player_Free(MusicModule);
        MusicModule = nullptr;
        UnlockAudioOutput();
    }
    if (AudioStarted) LoadMusic(music);
}

// Main loop, after the credits: pauses the tune where it stands, faded out; effects still
// sounding fade back in.
void StopMusic() {
    LockAudioOutput();
    bool sounding = Player_Active();
    UnlockAudioOutput();
    if (sounding) FadeToSilence();
    LockAudioOutput();
    HaltMusic();
    StopHolds = false;
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
// many blocks as the clock has gone past; without sound, or with a driver that mixes on its own
// thread, whose update does nothing, nothing).
void UpdateAudio() {
    if (PlayingSilently || MixedOnAudioThread) return;
    LockAudioOutput();
    if (!RecordingToDisk) {
        MikMod_Update();
    } else {
        uint64_t due = uint64_t{TickCount() - RecordingStartTick} * md_mixfreq / 1000;
        while (RecordedFrames + DiskBlockFrames <= due) MixStretch();
    }
    UnlockAudioOutput();
}

// Speaker icon: mutes effects and tune, or gives back the unmuted pair. Effects still sounding
// play to their end; the tune keeps its place and fades out over 30 ms, or back in, rather than
// being cut (a click).
void ToggleMute() {
    SoundOn = !SoundOn;
    SetSoundVolume(SoundOn ? UnmutedSoundVolume : 0);
    uint8_t music = SoundOn ? UnmutedMusicVolume : 0;
    if (!AudioStarted || PlayingSilently) {
        SetMusicVolume(music);
        return;
    }
    LockAudioOutput();
    MusicVolumeAsked = music;
    UnlockAudioOutput();
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
