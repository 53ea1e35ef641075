// Tests of the audio layer: effect slots, the tune, volumes, mute and its cross, start-up
// fallback and long folders, checked on what libmikmod's disk writer records.
#include <mikmod.h>

#include <cmath>
#include <set>

#include "app/app.h"
#include "audio/audio.h"
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

// In slot order.
const char* const EffectFiles[] = {"select.wav", "fire.wav", "stole.wav", "pick.wav"};

// Copies the built sound files into folder (created as needed).
void FillSoundFolder(const std::string& folder) {
    fs::create_directories(folder);
    for (const char* file : {"select.wav", "fire.wav", "stole.wav", "pick.wav", "music0.mod"}) {
        fs::copy_file(fs::path(MARROWDALE_BUILD_DIR) / "Sound" / file, folder + file);
    }
}

// What the disk writer recorded: 16-bit samples, left and right in turn.
using Recording = std::vector<int16_t>;

struct Level {
    int peak = 0;
    double rms = 0.0;
};

// Peak and RMS of both channels over frames [from, to).
Level Measure(const Recording& r, size_t from, size_t to) {
    Level level;
    double sum = 0.0;
    to = std::min(to, r.size() / 2);
    for (size_t i = 2 * from; i < 2 * to; ++i) {
        level.peak = std::max(level.peak, std::abs(int(r[i])));
        sum += double(r[i]) * r[i];
    }
    level.rms = to > from ? std::sqrt(sum / double(2 * (to - from))) : 0.0;
    return level;
}

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
        SetAudioDriver(nullptr);
        StopHeadlessHost();
        RemoveFolder(folder);
    }
    // The library with the main loop's volumes, through its no-sound driver or (recording)
    // writing all it mixes to a file.
    void Start(bool recording) {
        SetAudioDriver(recording ? ("wav:" + folder + "recorded.wav").c_str() : "nosound");
        InitAudio(sound.c_str());
        SetSoundVolume(UnmutedSoundVolume);
        SetMusicVolume(UnmutedMusicVolume);
    }
    // Mixes the given seconds of sound, whole stretches; returns how many had been mixed before.
    int Mix(double seconds) {
        int n = std::max(1, int(std::ceil(seconds * md_mixfreq / 8192.0)));
        for (int i = 0; i < n; ++i) UpdateAudio();
        updates += n;
        return updates - n;
    }
    // Ends the library, which completes the file, and reads what was recorded.
    Recording Finish() {
        ShutdownAudio();
        Bytes bytes = ReadBytes(folder + "recorded.wav");
        if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) != 0) return {};
        uint32_t declared;
        std::memcpy(&declared, bytes.data() + 40, 4);
        EXPECT_EQ(declared + 44u, bytes.size()) << "the recording was not completed";
        Recording r((bytes.size() - 44) / 2);
        std::memcpy(r.data(), bytes.data() + 44, r.size() * 2);
        EXPECT_EQ(r.size() / 2 % size_t(updates), 0u);
        framesPerUpdate = r.size() / 2 / size_t(updates);
        return r;
    }
    // Frame at which update number n began, and a number of frames.
    size_t FrameOf(int update) const { return framesPerUpdate * size_t(update); }
    size_t Frames(double seconds) const { return size_t(seconds * md_mixfreq); }

    std::string folder, sound;
    int updates = 0;
    size_t framesPerUpdate = 0;
};

// Deep, long-named and not ASCII, far past the 100 bytes the handheld allowed: used whole;
// longer than any path the platform hands out: refused with a line, never cut short.
TEST_F(AudioTest, SoundFoldersOfAnyLengthAreUsedWholeOrNotAtAll) {
    std::string deep = folder;
    for (char c : {'a', 'b', 'c', 'd', 'e', 'f'}) deep += std::string(60, c) + "-\xc3\xa9t\xc3\xa9/";
    FillSoundFolder(deep);
    SetAudioDriver("nosound");
    InitAudio(deep.c_str());
    EXPECT_EQ(std::string(SoundPrefix), deep);
    for (int n = 0; n < EffectSlotCount; ++n) {  // each effect in the slot of its number
        uint32_t frames = n < 4 ? uint32_t(fs::file_size(deep + EffectFiles[n]) - 44) / 2 : 0;
        EXPECT_EQ(EffectSlots[n] ? EffectSlots[n]->length : 0, frames) << n;
    }
    PlayMusic(0);
    EXPECT_NE(MusicModule, nullptr);
    ShutdownAudio();

    std::string tooLong = sound + std::string(SoundPrefixBytes, 'x');
    EXPECT_TRUE(Has(StderrOf([&] { InitAudio(tooLong.c_str()); }).at(0), "too long"));
    for (SAMPLE* slot : EffectSlots) EXPECT_EQ(slot, nullptr);
    PlayMusic(0);
    EXPECT_EQ(MusicModule, nullptr);
}

// Numbers without an effect play nothing; a new volume holds from the next effect on, and
// the one already sounding keeps its own. Calls after shutdown are harmless.
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
    EXPECT_EQ(Measure(r, FrameOf(quiet), FrameOf(first)).peak, 0);
    // The part of each play after the first stretch: 32 of the library's full 64.
    int before = Measure(r, FrameOf(first + 1), FrameOf(second)).peak;
    int after = Measure(r, FrameOf(second + 1), FrameOf(second) + FrameOf(second - first)).peak;
    EXPECT_GT(before, 1000);
    EXPECT_NEAR(double(after) / before, 0.5, 0.03);
    for (SAMPLE* slot : EffectSlots) EXPECT_EQ(slot, nullptr);
    PlaySound(SoundPick);
    PlayMusic(0);
    StopMusic();
    UpdateAudio();
    ToggleMute();
}

TEST_F(AudioTest, ToggleMuteTwiceGivesBackTheUnmutedPairAndTheCrossShowsOnlyWhileMuted) {
    Start(false);
    // The pixels DrawLine plots for each line of the cross: every step but the lower end.
    std::set<std::pair<int, int>> cross, none;
    for (int i = 0; i < 15; ++i) cross.insert({{i, i}, {15 - i, i}, {1 + i, i}, {16 - i, i}});
    for (bool muted : {false, true, false}) {
        if (muted == SoundOn) ToggleMute();
        EXPECT_EQ(md_musicvolume, muted ? 0 : UnmutedMusicVolume);
        for (int n = 0; n < 4; ++n) {
            EXPECT_EQ(EffectSlots[n]->volume, muted ? 0 : UnmutedSoundVolume);
        }
        ClearBackBuffer(0);
        DrawMuteCross();
        std::set<std::pair<int, int>> painted;
        for (int i = 0; i < ScreenWidth * ScreenHeight; ++i) {
            if (BackBuffer[i]) painted.insert({i % ScreenWidth, i / ScreenWidth});
        }
        EXPECT_EQ(painted, muted ? cross : none);
        EXPECT_EQ(BackBuffer[0], muted ? ColourRed : 0);
    }
}

// Asking for the playing tune again neither reloads nor restarts it; a missing tune means no
// music and is not tried again until another number is asked for.
TEST_F(AudioTest, PlayMusicKeepsTheTuneAndDropsAMissingOne) {
    Start(false);
    PlayMusic(0);
    ASSERT_NE(MusicModule, nullptr);
    MODULE* loaded = MusicModule;
    Mix(2.0);
    ULONG time = MusicModule->sngtime;
    PlayMusic(0);
    EXPECT_TRUE(MusicModule == loaded && MusicModule->sngtime == time);
    Mix(0.5);
    EXPECT_GT(MusicModule->sngtime, time);

    PlayMusic(1);
    EXPECT_TRUE(MusicModule == nullptr && !Player_Active());
    fs::copy_file(sound + "music0.mod", sound + "music1.mod");
    PlayMusic(1);
    EXPECT_EQ(MusicModule, nullptr) << "the same number was loaded again";
    PlayMusic(0);
    EXPECT_NE(MusicModule, nullptr);
}

// StopMusic silences the tune's held notes too, and PlayMusic goes on from where it stood.
TEST_F(AudioTest, StopMusicThenPlayMusicResumesWhereItStood) {
    Start(true);
    PlayMusic(0);
    Mix(3.0);
    StopMusic();
    EXPECT_FALSE(Player_Active());
    int position = MusicModule->sngpos, row = MusicModule->patpos;
    int stopped = Mix(1.0);
    EXPECT_TRUE(MusicModule->sngpos == position && MusicModule->patpos == row);
    PlayMusic(0);
    EXPECT_TRUE(Player_Active() && MusicModule->patpos == row);
    int resumed = Mix(1.0);
    Recording r = Finish();
    EXPECT_EQ(Measure(r, FrameOf(stopped) + Frames(0.05), FrameOf(resumed)).peak, 0);
    EXPECT_GT(Measure(r, FrameOf(resumed), r.size() / 2).rms, 100.0);
}

// In a fresh process: no device answers, so the loading screen is shown while the library is
// asked again, for a second of the game's clock (or, if that clock stands still, a bounded
// number of tries), and then the game goes on silently. Exit bits: 1 wrong driver, 2 wrong
// wait, 4 not exactly one line of ours on stderr.
void StartWithoutAnyDevice(const std::string& sound, int passMs) {
    HeadlessOptions options;
    options.passMs = passMs;
    StartHeadlessHost(options);
    setenv("SDL_AUDIODRIVER", "no-such-device", 1);
    setenv("PULSE_SERVER", "unix:/nonexistent/pulse", 1);
    setenv("AUDIODEV", "/nonexistent/dsp", 1);
    SetAudioDriver("wav:/nonexistent/folder/recorded.wav");
    testing::internal::CaptureStderr();
    InitAudio(sound.c_str());
    // Other libraries may talk on stderr too; the game says one line.
    std::string said = testing::internal::GetCapturedStderr();
    bool oneLine = said.find("marrowdale:") == said.rfind("marrowdale:") &&
                   Has(said, "marrowdale: no sound device answered");
    bool silent = md_driver && md_driver->Alias && std::strcmp(md_driver->Alias, "nosound") == 0;
    int passes = HeadlessPassCount();
    bool waited = passMs > 0 ? ElapsedMs() >= 1000 && ElapsedMs() < 1000 + passMs &&
                                   passes == (1000 + passMs - 1) / passMs
                             : ElapsedMs() == 0 && passes > 10 && passes < 1000;
    PlaySound(SoundSelect);
    PlayMusic(0);
    UpdateAudio();
    ShutdownAudio();
    std::exit((silent ? 0 : 1) | (waited ? 0 : 2) | (oneLine ? 0 : 4));
}

TEST_F(AudioTest, NoDeviceWithinASecondMeansSilenceAndOneLineEvenIfTheClockStandsStill) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StartWithoutAnyDevice(sound, 13), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(StartWithoutAnyDevice(sound, 0), testing::ExitedWithCode(0), "");
}

}  // namespace
