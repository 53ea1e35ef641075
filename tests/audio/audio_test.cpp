// Tests of the audio layer: effect slots, the tune and its fade, volumes and mute,
// damaged sound files, start-up without a device, and shutdown on SDL's audio thread, checked on
// what libmikmod's disk writer records.
#include <SDL.h>
#include <dlfcn.h>
#include <mikmod.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "shell/shell.h"
#include "audio/audio.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"
#include "tests/assets/fixture.h"
#include "tests/handheld/helpers.h"

using namespace assettest;

namespace {

// Set while SDL's device is slow to pause: long enough for SDL's audio thread to enter its
// callback meanwhile, so that a shutdown pausing it under libmikmod's lock surely hangs.
bool SlowPause;

}  // namespace

// libmikmod's SDL driver and the platform pause SDL's device through here.
extern "C" void SDL_PauseAudio(int pauseOn) {
    if (pauseOn && SlowPause) std::this_thread::sleep_for(std::chrono::milliseconds(120));
    static auto real = reinterpret_cast<void (*)(int)>(dlsym(RTLD_NEXT, "SDL_PauseAudio"));
    real(pauseOn);
}

namespace {

// The effects in slot order, then the tune.
const char* const SoundFiles[] = {"select.wav", "fire.wav", "stole.wav", "pick.wav", "music0.mod"};
constexpr size_t Block = 8192;  // frames the disk writer mixes at each update

// Copies the built sound files into folder (created as needed).
void FillSoundFolder(const std::string& folder) {
    fs::create_directories(folder);
    for (const char* file : SoundFiles) {
        fs::copy_file(fs::path(MARROWDALE_BUILD_DIR) / "Sound" / file, folder + file);
    }
}

uint32_t Get32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
void Put32(Bytes& b, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(value >> (8 * i));
}

// What the disk writer recorded: 16-bit samples, left and right in turn.
using Recording = std::vector<int16_t>;

// RMS of both channels over frames [from, to).
double Rms(const Recording& r, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = 2 * from; i < 2 * std::min(to, r.size() / 2); ++i) sum += double(r[i]) * r[i];
    return to > from ? std::sqrt(sum / double(2 * (to - from))) : 0.0;
}

bool DriverIs(const char* alias) { return md_driver && !std::strcmp(md_driver->Alias, alias); }

class AudioTest : public testing::Test {
protected:
    void SetUp() override {
        if (!BackBuffer) AllocateBackBuffer();
        StartHeadlessHost(HeadlessOptions{});
        folder = MakeTempFolder();
        sound = folder + "Sound/";
        FillSoundFolder(sound);
    }
    void TearDown() override {
        ShutdownAudio();
        StopHeadlessHost();
        RemoveFolder(folder);
    }
    // The library with the main loop's volumes, through its no-sound driver or (recording)
    // writing all it mixes to a file.
    void Start(bool recording, const std::string& from = "") {
        SetAudioDriver(recording ? ("wav:" + folder + "recorded.wav").c_str() : "nosound");
        InitAudio((from.empty() ? sound : from).c_str());
        SetSoundVolume(UnmutedSoundVolume);
        SetMusicVolume(UnmutedMusicVolume);
        updates = 0;
    }
    // Mixes the given seconds of sound, one update a block with the clock moved on by the
    // block's time; returns how many had been mixed before.
    int Mix(double seconds) {
        int n = std::max(1, int(std::ceil(seconds * md_mixfreq / Block)));
        auto blockMs = static_cast<DWORD>(std::ceil(Block * 1000.0 / md_mixfreq));
        for (int i = 0; i < n; ++i) {
            HeadlessAdvanceClock(blockMs);
            UpdateAudio();
        }
        updates += n;
        return updates - n;
    }
    // Ends the library, which fades out in one more block (none when the sound is muted, so
    // silent already) and completes the file, and reads what was recorded: a block for each
    // block of time that passed, then the fade.
    Recording Finish(int fadeBlocks = 1) {
        ShutdownAudio();
        Bytes bytes = ReadBytes(folder + "recorded.wav");
        bytes.resize(std::max<size_t>(bytes.size(), 44));
        EXPECT_EQ(Get32(bytes, 40) + 44u, bytes.size()) << "the recording was not completed";
        Recording r((bytes.size() - 44) / 2);
        std::memcpy(r.data(), bytes.data() + 44, r.size() * 2);
        EXPECT_EQ(r.size(), 2 * Block * size_t(updates + fadeBlocks));
        return r;
    }
    // Frame at which update number n began.
    static size_t FrameOf(int update) { return Block * size_t(update); }

    std::string folder, sound;
    int updates = 0;
};

// A sound folder longer than any path the platform hands out is refused with a line, never cut
// short. (Folders far past the handheld's 100 bytes, and not ASCII, serve the damaged files.)
TEST_F(AudioTest, ASoundFolderTooLongIsRefusedNeverCut) {
    std::string tooLong = sound + std::string(SoundPrefixBytes, 'x');
    EXPECT_TRUE(Has(StderrOf([&] { InitAudio(tooLong.c_str()); }).at(0), "too long"));
    for (SAMPLE* slot : EffectSlots) EXPECT_EQ(slot, nullptr);
    PlayMusic(0);
    EXPECT_EQ(MusicModule, nullptr);
}

// Numbers without an effect play nothing; a new volume holds from the next effect on, and
// the one already sounding keeps its own. Shutdown frees every slot.
TEST_F(AudioTest, EffectsPlayOnlyFromTheirSlotsAtTheVolumeTheyStartedWith) {
    Start(true);
    for (int effect : {-1, 4, EffectSlotCount, 1000}) PlaySound(effect);
    int quiet = Mix(0.5);
    PlaySound(SoundPick);
    int first = Mix(0);
    SetSoundVolume(32);
    Mix(0.6);
    PlaySound(SoundPick);
    int second = Mix(0.6);
    Recording r = Finish();
    EXPECT_EQ(Rms(r, FrameOf(quiet), FrameOf(first)), 0.0);
    // The part of each play after its first block: 32 of the library's full 64.
    double before = Rms(r, FrameOf(first + 1), FrameOf(second));
    EXPECT_NEAR(Rms(r, FrameOf(second + 1), FrameOf(2 * second - first)) / before, 0.5, 0.03);
    for (SAMPLE* slot : EffectSlots) EXPECT_EQ(slot, nullptr);
}

TEST_F(AudioTest, ToggleMuteTwiceGivesBackTheUnmutedPair) {
    Start(false);
    for (bool muted : {false, true, false}) {
        if (muted == SoundOn) ToggleMute();
        EXPECT_EQ(md_musicvolume, muted ? 0 : 20);
        for (int n = 0; n < 4; ++n) EXPECT_EQ(EffectSlots[n]->volume, muted ? 0 : 100);
    }
}

// The tune is heard every second and goes on past its end; asked for again it neither reloads
// nor restarts; StopMusic silences its held notes too, and PlayMusic resumes where it stood.
// A missing tune means no music, one line, and no new try until another number is asked for.
TEST_F(AudioTest, TheTuneLoopsPausesAndResumesAndAMissingOneIsDropped) {
    Start(true);
    PlayMusic(0);
    MODULE* loaded = MusicModule;
    int lastPosition = 0;
    bool wentBack = false;
    while (updates * double(Block) < 80.0 * md_mixfreq) {
        Mix(0);
        wentBack = wentBack || MusicModule->sngpos < lastPosition;
        lastPosition = MusicModule->sngpos;
    }
    ULONG time = MusicModule->sngtime;
    // A recording keeps the game's time: passes that take no time add no sound.
    for (int i = 0; i < 20; ++i) UpdateAudio();
    PlayMusic(0);
    EXPECT_TRUE(MusicModule == loaded && MusicModule->sngtime == time && wentBack);
    StopMusic();
    int position = MusicModule->sngpos, row = MusicModule->patpos;
    int stopped = Mix(1.0);
    EXPECT_TRUE(!Player_Active() && MusicModule->sngpos == position && MusicModule->patpos == row);
    PlayMusic(0);
    EXPECT_TRUE(Player_Active() && MusicModule->patpos == row);
    int resumed = Mix(1.0);
    EXPECT_GT(MusicModule->sngtime, time);
    int switched = updates;
    std::vector<std::string> said = StderrOf([] { PlayMusic(1); });
    EXPECT_TRUE(MusicModule == nullptr && !Player_Active());
    EXPECT_TRUE(said.size() == 1 && Has(said[0], sound + "music1.mod is missing")) << said.at(0);
    fs::copy_file(sound + "music0.mod", sound + "music1.mod");
    PlayMusic(1);
    EXPECT_EQ(MusicModule, nullptr) << "the same number was loaded again";
    Mix(0.5);
    Recording r = Finish();
    for (size_t second = 0; second < 79; ++second) {
        ASSERT_GT(Rms(r, second * md_mixfreq, (second + 1) * md_mixfreq), 100.0) << second << " s";
    }
    EXPECT_EQ(Rms(r, FrameOf(stopped) + md_mixfreq / 20, FrameOf(resumed)), 0.0);
    EXPECT_GT(Rms(r, FrameOf(resumed), FrameOf(switched)), 100.0);
    EXPECT_EQ(Rms(r, FrameOf(switched) + md_mixfreq / 20, r.size() / 2), 0.0);
}

// Stopping the tune, muting and ending the library keep their moment but fade out over 30 ms
// instead of cutting the sound off (a click): those 30 ms are the tune as it would have gone on,
// scaled down step by step to silence, and silence follows; so the last 50 ms of a recording
// are silent.
TEST_F(AudioTest, TheTuneAndTheLibraryEndWithAFadeRatherThanACut) {
    int stoppedAt = 0, endedAt = 0;
    // Two seconds of the tune, then StopMusic, ToggleMute or neither, then a second (and a
    // block) before the end.
    auto record = [&](void (*stop)(), int extraBlocks) {
        Start(true);
        PlayMusic(0);
        Mix(2.0);
        stoppedAt = updates;
        if (stop) stop();
        Mix(1.0 + extraBlocks * double(Block) / md_mixfreq);
        endedAt = updates - extraBlocks;
        return Finish();
    };
    Recording stopped = record(StopMusic, 0), muted = record(ToggleMute, 0);
    Recording ended = record(nullptr, 0), goingOn = record(nullptr, 1);
    size_t fade = md_mixfreq * 30 / 1000;
    for (const auto& [faded, from] :
         {std::pair{&stopped, FrameOf(stoppedAt)}, std::pair{&muted, FrameOf(stoppedAt)},
          std::pair{&ended, FrameOf(endedAt)}}) {
        double worst = 0;
        for (size_t i = 2 * from; i < 2 * (from + fade); ++i) {
            double scaled = goingOn[i] * double(fade - 1 - (i / 2 - from)) / double(fade);
            worst = std::max(worst, std::abs((*faded)[i] - scaled));
        }
        EXPECT_LE(worst, 2.0) << from;
        EXPECT_GT(Rms(goingOn, from, from + fade), 100.0) << from;
        EXPECT_EQ(Rms(*faded, from + fade, faded->size() / 2), 0.0) << from;
    }
    EXPECT_EQ(Rms(ended, ended.size() / 2 - md_mixfreq / 20, ended.size() / 2), 0.0);
}

// A mute while an effect sounds: the output dips for the tune's 30 ms fade and the player's
// next tick, then the effect plays to its end, sample for sample as it would alone; an effect
// played while muted is silent; unmuted, the tune comes back where it has got to, sample for
// sample as it goes on unmuted.
TEST_F(AudioTest, AMuteLetsASoundingEffectPlayToItsEndAndTheTuneComesBackWhereItGot) {
    int mutedAt = 0, pickedAt = 0, unmutedAt = 0;
    // The tune (or not) for a second, the long effect, a block later the mute (or not), a
    // second later another effect, half a second later the unmute, and a second more.
    auto record = [&](bool tune, bool mute) {
        Start(true);
        if (tune) PlayMusic(0);
        Mix(1.0);
        PlaySound(SoundStole);
        Mix(0);
        mutedAt = updates;
        if (mute) ToggleMute();
        Mix(1.0);
        pickedAt = updates;
        PlaySound(SoundPick);
        Mix(0.5);
        unmutedAt = updates;
        if (mute) ToggleMute();
        Mix(1.0);
        return Finish();
    };
    Recording alone = record(false, false), goingOn = record(true, false), muted = record(true, true);
    size_t mute = FrameOf(mutedAt), picked = FrameOf(pickedAt), unmute = FrameOf(unmutedAt);
    size_t fade = md_mixfreq * 30 / 1000;
    size_t dip = md_mixfreq * 90 / 1000, effectEnd = FrameOf(mutedAt - 1) + md_mixfreq / 2;
    double worst = 0;
    for (size_t i = 2 * mute; i < 2 * (mute + fade); ++i) {
        worst = std::max(worst, std::abs(muted[i] - goingOn[i] * double(fade - 1 - (i / 2 - mute)) / double(fade)));
    }
    EXPECT_LE(worst, 2.0) << "the fade at the mute";
    EXPECT_GT(Rms(alone, mute + dip, effectEnd - md_mixfreq / 10), 100.0) << "the effect sounds on";
    EXPECT_TRUE(std::equal(muted.begin() + 2 * (mute + dip), muted.begin() + 2 * picked,
                           alone.begin() + 2 * (mute + dip)))
        << "after the dip, the effect alone to its end, and then nothing";
    EXPECT_GT(Rms(alone, picked, unmute), 100.0);
    EXPECT_EQ(Rms(muted, effectEnd, unmute), 0.0) << "an effect played while muted";
    EXPECT_GT(Rms(goingOn, unmute + dip, unmute + md_mixfreq / 2), 100.0);
    EXPECT_TRUE(std::equal(muted.begin() + 2 * (unmute + dip), muted.begin() + 2 * (unmute + md_mixfreq),
                           goingOn.begin() + 2 * (unmute + dip)))
        << "unmuted, the tune as it went on";
}

// A damage done to one sound file of a copy of the built ones; without change, the file is
// removed.
struct Damage {
    const char* what;
    const char* file;
    std::function<void(Bytes&)> change;
};

// A WAV's bytes as another program may write them: an 18-byte format chunk and an odd-sized
// chunk, padded, before the sound, which is 8-bit when eightBit.
void Reframe(Bytes& wav, bool eightBit) {
    Bytes data(wav.begin() + 44, wav.end());
    if (eightBit) {
        Bytes narrow;
        for (size_t i = 1; i < data.size(); i += 2) narrow.push_back(uint8_t(data[i] ^ 0x80));
        data = narrow;
    }
    Bytes format(wav.begin() + 12, wav.begin() + 36);  // "fmt ", size, then the 16-byte body
    uint8_t align = eightBit ? 1 : 2;
    format[4] = 18;
    Put32(format, 16, Get32(format, 12) * align);
    format[20] = align;
    format[22] = uint8_t(8 * align);
    format.insert(format.end(), {0, 0});
    Bytes odd = {'L', 'I', 'S', 'T', 5, 0, 0, 0, 'I', 'N', 'F', 'O', '!', 0};
    Bytes head = {'d', 'a', 't', 'a', 0, 0, 0, 0};
    Put32(head, 4, uint32_t(data.size()));
    Bytes out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const Bytes* part : {&format, &odd, &head, &data}) {
        out.insert(out.end(), part->begin(), part->end());
    }
    Put32(out, 4, uint32_t(out.size() - 8));
    wav = out;
}

// Sound files damaged as a new player or a fault run did: each plays as silence with one line
// naming it, while the others play, each effect whole in the slot of its number, and nothing
// crashes, at start, in the mixer or at shutdown. WAVs with other chunks first, or with 8-bit
// sound, are not damaged and play. The folders are deep and not ASCII.
TEST_F(AudioTest, ADamagedOrMissingSoundFileIsSilentWithOneLineAndTheOthersPlay) {
    auto set = [](uint32_t at, uint8_t value) { return [=](Bytes& b) { b[at] = value; }; };
    auto cut = [](size_t divisor) { return [=](Bytes& b) { b.resize(b.size() / divisor); }; };
    const Damage damages[] = {
        {"cut in half", "fire.wav", cut(2)},
        {"cut in half", "stole.wav", cut(2)},
        {"cut in half", "pick.wav", cut(2)},
        {"data length doubled", "pick.wav", [](Bytes& b) { Put32(b, 40, 2 * Get32(b, 40)); }},
        {"data length raised to 33244", "select.wav", [](Bytes& b) { Put32(b, 40, 33244); }},
        {"RIFF size past the end", "stole.wav", [](Bytes& b) { Put32(b, 4, uint32_t(b.size())); }},
        {"stereo", "fire.wav", set(22, 2)},
        {"24-bit", "fire.wav", set(34, 24)},
        {"not PCM", "fire.wav", set(20, 3)},
        {"no sound chunk", "select.wav", set(36, 'j')},
        {"empty", "pick.wav", cut(SIZE_MAX)},
        {"larger than 8 MiB", "select.wav", [](Bytes& b) { b.resize(9 << 20); }},
        {"cut in half", "music0.mod", cut(2)},
        {"shorter than its header", "music0.mod", [](Bytes& b) { b.resize(1000); }},
        {"no signature", "music0.mod", set(1080, 'X')},
        {"song length 0", "music0.mod", set(950, 0)},
        {"an order past its patterns", "music0.mod", set(952, 100)},
        {"first sample past the end", "music0.mod", set(42, 0xFF)},
        {"missing", "music0.mod", nullptr},
        {"missing", "stole.wav", nullptr},
        {"other chunks first", "select.wav", [](Bytes& b) { Reframe(b, false); }},
        {"8-bit", "pick.wav", [](Bytes& b) { Reframe(b, true); }},
    };
    std::string deep = folder;
    for (char c = 'a'; c < 'g'; ++c) deep += std::string(60, c) + "-\xc3\xa9t\xc3\xa9\xf0\x9f\x8d\x8e/";
    for (const Damage& damage : damages) {
        SCOPED_TRACE(std::string(damage.file) + " " + damage.what);
        std::string copy = deep + std::to_string(&damage - damages) + "/";
        std::string path = copy + damage.file;
        FillSoundFolder(copy);
        Bytes bytes = ReadBytes(path);
        fs::remove(path);
        if (damage.change) damage.change(bytes), WriteBytes(path, bytes);
        bool playable = Has(damage.what, "chunks first") || Has(damage.what, "8-bit");
        std::vector<std::string> said = StderrOf([&] {
            Start(true, copy);
            PlayMusic(0);
        });
        ASSERT_EQ(said.size(), playable ? 0u : 1u);
        EXPECT_TRUE(playable || Has(said[0], "marrowdale: sound file " + path)) << said[0];
        for (int n = 0; n < 5; ++n) {
            bool loaded = n < 4 ? EffectSlots[n] != nullptr : MusicModule != nullptr;
            EXPECT_EQ(loaded, playable || path != copy + SoundFiles[n]) << SoundFiles[n];
            if (n < 4 && loaded) {
                auto frames = uint32_t(fs::file_size(sound + SoundFiles[n]) - 44) / 2;
                EXPECT_EQ(EffectSlots[n]->length, frames) << SoundFiles[n];
            }
        }
        for (int effect = 0; effect < 4; ++effect) PlaySound(effect);
        Mix(0.5);
        ShutdownAudio();
    }
}

// Runs body in a child with these variables set, on an SDL it starts afresh; its exit status.
int InChild(const std::string& folder,
            std::initializer_list<std::pair<const char*, std::string>> variables,
            const std::function<int()>& body, int limitMs = 20000) {
    pid_t pid = platformtest::StartChild(folder, [&] {
        for (const auto& [name, value] : variables) setenv(name, value.c_str(), 1);
        return body();
    });
    return platformtest::WaitChild(pid, limitMs);
}

// Without a sound card (SDL on ALSA with no device configured), with --audio-driver alsa there,
// and with a device that never opens: the game says so in one line and nothing else, and plays
// silently. Only a device that is there is tried again, for a second of the game's clock (or a
// bounded number of tries if that clock stands still).
TEST_F(AudioTest, WithoutADeviceTheGamePlaysSilentlyAfterOneLineAndNothingElse) {
    struct Case {
        const char* driver;
        const char* sdl;
        int passMs;
        const char* line;
    };
    const char* unanswered =
        "marrowdale: no sound device answered (Could not open sound device); playing silently\n";
    const Case cases[] = {
        {nullptr, "alsa", 13, "marrowdale: no sound device; playing silently\n"},
        {"alsa", "alsa", 13, "marrowdale: audio driver 'alsa' finds no device; playing silently\n"},
        {nullptr, "disk", 13, unanswered},
        {nullptr, "disk", 0, unanswered},
    };
    std::string emptyConfig = folder + "asound.conf";
    WriteBytes(emptyConfig, {});
    for (const Case& c : cases) {
        auto start = [&] {
            HeadlessOptions options;
            options.passMs = c.passMs;
            StartHeadlessHost(options);
            SetAudioDriver(c.driver);
            testing::internal::CaptureStderr();
            InitAudio(sound.c_str());
            std::string said = testing::internal::GetCapturedStderr();
            int passes = HeadlessPassCount();
            bool retried = c.sdl == std::string("disk");
            bool paced = c.passMs ? ElapsedMs() >= 1000 && ElapsedMs() < 1013 && passes == 77
                                  : passes > 10 && passes <= 100;
            bool right = said == c.line && DriverIs("nosound") && (retried ? paced : passes == 0);
            // SDL's audio, found without any device, is closed again (its device watch stops).
            right = right && (SDL_WasInit(SDL_INIT_AUDIO) == 0) == (c.sdl == std::string("alsa"));
            PlaySound(SoundSelect);
            PlayMusic(0);
            UpdateAudio();
            ShutdownAudio();
            if (!right) std::printf("said: %s%d passes\n", said.c_str(), passes);
            return right ? 0 : 1;
        };
        EXPECT_EQ(InChild(folder,
                          {{"SDL_AUDIODRIVER", c.sdl}, {"ALSA_CONFIG_PATH", emptyConfig},
                           {"SDL_DISKAUDIOFILE", "/nonexistent/folder/sound.raw"},
                           {"PULSE_SERVER", "unix:/nonexistent/pulse"}},
                          start),
                  0)
            << (c.driver ? c.driver : "default") << " on SDL's " << c.sdl << ", pass " << c.passMs;
    }
}

// Starting and quitting on SDL's audio thread (its dummy driver) 200 times never hangs: the
// device is closed before libmikmod's exit takes its lock. The first cycles pause the device
// slowly, which makes the opposite order hang every time.
TEST_F(AudioTest, StartingAndQuittingOnSdlsAudioThreadNeverHangs) {
    auto cycles = [&] {
        for (int cycle = 0; cycle < 200; ++cycle) {
            SlowPause = cycle < 3;
            StartHeadlessHost(HeadlessOptions{});
            SetAudioDriver("sdl");
            InitAudio(sound.c_str());
            if (!DriverIs("sdl")) return 2;
            SetMusicVolume(UnmutedMusicVolume);
            PlayMusic(0);
            PlaySound(SoundPick);
            std::this_thread::sleep_for(std::chrono::milliseconds(cycle % 5 * 10));
            ShutdownAudio();
        }
        return 0;
    };
    EXPECT_EQ(InChild(folder, {{"SDL_AUDIODRIVER", "dummy"}}, cycles, 120000), 0);
}

}  // namespace
