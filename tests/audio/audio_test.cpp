// Tests of the audio layer: effect slots, the tune, volumes, mute and its cross, start-up
// fallback and long folders, checked on what libmikmod's disk writer records.
#include <mikmod.h>

#include <cmath>
#include <set>

#include "app/app.h"
#include "audio/audio.h"
#include "platform/standin.h"
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

// The effects in slot order, then the tune.
const char* const SoundFiles[] = {"select.wav", "fire.wav", "stole.wav", "pick.wav", "music0.mod"};

// Copies the built sound files into folder (created as needed).
void FillSoundFolder(const std::string& folder) {
    fs::create_directories(folder);
    for (const char* file : SoundFiles) {
        fs::copy_file(fs::path(MARROWDALE_BUILD_DIR) / "Sound" / file, folder + file);
    }
}

// What the disk writer recorded: 16-bit samples, left and right in turn.
using Recording = std::vector<int16_t>;

// RMS of both channels over frames [from, to).
double Rms(const Recording& r, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = 2 * from; i < 2 * std::min(to, r.size() / 2); ++i) sum += double(r[i]) * r[i];
    return to > from ? std::sqrt(sum / double(2 * (to - from))) : 0.0;
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
    // Mixes the given seconds of sound, whole stretches, one pass a stretch with the clock moved
    // on by the stretch's time; returns how many had been mixed before.
    int Mix(double seconds) {
        int n = std::max(1, int(std::ceil(seconds * md_mixfreq / 8192.0)));
        auto stretchMs = static_cast<DWORD>(std::ceil(8192.0 * 1000 / md_mixfreq));
        for (int i = 0; i < n; ++i) {
            HeadlessAdvanceClock(stretchMs);
            UpdateAudio();
        }
        updates += n;
        return updates - n;
    }
    // Ends the library, which completes the file, and reads what was recorded.
    Recording Finish() {
        ShutdownAudio();
        Bytes bytes = ReadBytes(folder + "recorded.wav");
        bytes.resize(std::max<size_t>(bytes.size(), 44));
        uint32_t declared = bytes[40] | bytes[41] << 8 | bytes[42] << 16 | bytes[43] << 24;
        EXPECT_EQ(declared + 44u, bytes.size()) << "the recording was not completed";
        Recording r((bytes.size() - 44) / 2);
        std::memcpy(r.data(), bytes.data() + 44, r.size() * 2);
        framesPerUpdate = r.size() / 2 / size_t(updates);
        EXPECT_EQ(framesPerUpdate, 8192u) << "one stretch for each stretch of time that passed";
        EXPECT_EQ(framesPerUpdate * 2 * size_t(updates), r.size());
        return r;
    }
    // Frame at which update number n began.
    size_t FrameOf(int update) const { return framesPerUpdate * size_t(update); }

    std::string folder, sound;
    int updates = 0;
    size_t framesPerUpdate = 0;
};

// Deep, long-named and not ASCII, far past the 100 bytes the handheld allowed: used whole;
// longer than any path the platform hands out: refused with a line, never cut short.
TEST_F(AudioTest, SoundFoldersOfAnyLengthAreUsedWholeOrNotAtAll) {
    std::string deep = folder;
    for (char c = 'a'; c < 'g'; ++c) deep += std::string(60, c) + "-\xc3\xa9t\xc3\xa9/";
    FillSoundFolder(deep);
    SetAudioDriver("nosound");
    InitAudio(deep.c_str());
    for (int n = 0; n < EffectSlotCount; ++n) {  // each effect in the slot of its number
        uint32_t frames = n < 4 ? uint32_t(fs::file_size(deep + SoundFiles[n]) - 44) / 2 : 0;
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
    // The part of each play after its first stretch: 32 of the library's full 64.
    double before = Rms(r, FrameOf(first + 1), FrameOf(second));
    EXPECT_NEAR(Rms(r, FrameOf(second + 1), FrameOf(2 * second - first)) / before, 0.5, 0.03);
    for (SAMPLE* slot : EffectSlots) EXPECT_EQ(slot, nullptr);
}

TEST_F(AudioTest, ToggleMuteTwiceGivesBackTheUnmutedPairAndTheCrossShowsOnlyWhileMuted) {
    Start(false);
    // The pixels DrawLine plots for each line of the cross: every step but the lower end.
    std::set<std::pair<int, int>> cross, none;
    for (int i = 0; i < 15; ++i) cross.insert({{i, i}, {15 - i, i}, {1 + i, i}, {16 - i, i}});
    for (bool muted : {false, true, false}) {
        if (muted == SoundOn) ToggleMute();
        EXPECT_EQ(md_musicvolume, muted ? 0 : 20);
        for (int n = 0; n < 4; ++n) EXPECT_EQ(EffectSlots[n]->volume, muted ? 0 : 100);
        ClearBackBuffer(0);
        DrawMuteCross();
        std::set<std::pair<int, int>> painted;
        for (int i = 0; i < ScreenWidth * ScreenHeight; ++i) {
            if (BackBuffer[i]) painted.insert({i % ScreenWidth, i / ScreenWidth});
        }
        EXPECT_TRUE(painted == (muted ? cross : none) && BackBuffer[0] == (muted ? ColourRed : 0));
    }
}

// The tune is heard every second and goes on past its end; asked for again it neither reloads
// nor restarts; StopMusic silences its held notes too, and PlayMusic resumes where it stood.
// A missing tune means no music and is not tried again until another number is asked for.
TEST_F(AudioTest, TheTuneLoopsPausesAndResumesAndAMissingOneIsDropped) {
    Start(true);
    PlayMusic(0);
    MODULE* loaded = MusicModule;
    int lastPosition = 0;
    bool wentBack = false;
    while (updates * 8192.0 < 80.0 * md_mixfreq) {
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
    PlayMusic(1);
    EXPECT_TRUE(MusicModule == nullptr && !Player_Active());
    fs::copy_file(sound + "music0.mod", sound + "music1.mod");
    PlayMusic(1);
    EXPECT_EQ(MusicModule, nullptr) << "the same number was loaded again";
    Recording r = Finish();
    for (size_t second = 0; second < 79; ++second) {
        ASSERT_GT(Rms(r, second * md_mixfreq, (second + 1) * md_mixfreq), 100.0) << second << " s";
    }
    EXPECT_EQ(Rms(r, FrameOf(stopped) + md_mixfreq / 20, FrameOf(resumed)), 0.0);
    EXPECT_GT(Rms(r, FrameOf(resumed), r.size() / 2), 100.0);
}

// No device answers: the loading screen is shown while the library is asked again, for a
// second of the game's clock (or, if that clock stands still, a bounded number of tries),
// and then the game goes on silently, saying so in one line.
TEST_F(AudioTest, NoDeviceWithinASecondMeansSilenceAndOneLineEvenIfTheClockStandsStill) {
    setenv("SDL_AUDIODRIVER", "no-such-device", 1);
    setenv("PULSE_SERVER", "unix:/nonexistent/pulse", 1);
    setenv("AUDIODEV", "/nonexistent/dsp", 1);
    for (int passMs : {13, 0}) {
        HeadlessOptions options;
        options.passMs = passMs;
        StartHeadlessHost(options);
        SetAudioDriver("wav:/nonexistent/folder/recorded.wav");
        testing::internal::CaptureStderr();
        InitAudio(sound.c_str());
        std::string said = testing::internal::GetCapturedStderr();  // other libraries may talk
        EXPECT_TRUE(said.find("marrowdale:") == said.rfind("marrowdale:") &&
                    Has(said, "marrowdale: no sound device answered")) << said;
        EXPECT_STREQ(md_driver->Alias, "nosound");
        int passes = HeadlessPassCount();
        EXPECT_TRUE(passMs ? ElapsedMs() >= 1000 && ElapsedMs() < 1013 && passes == 77
                           : ElapsedMs() == 0 && passes > 10 && passes < 1000)
            << ElapsedMs() << " ms, " << passes << " passes";
        PlaySound(SoundSelect);
        PlayMusic(0);
        UpdateAudio();
        ShutdownAudio();
    }
}

}  // namespace
