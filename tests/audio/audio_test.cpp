// Tests of the audio layer: effect slots, the tune, volumes, mute and its cross, start-up
// fallback and long folders, checked on what libmikmod's disk writer records.
#include <gtest/gtest.h>
#include <mikmod.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "audio/audio.h"
#include "gfx/gfx.h"
#include "platform/standin.h"

namespace fs = std::filesystem;

namespace {

const char* const SoundFiles[] = {"select.wav", "fire.wav", "stole.wav", "pick.wav", "music0.mod"};
const char* const EffectFiles[] = {"select.wav", "fire.wav", "stole.wav", "pick.wav"};

std::string MakeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "marrowdale-audio-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return {};
    return std::string(name.data()) + "/";
}

// Copies the built sound files into folder (created as needed).
void FillSoundFolder(const std::string& folder) {
    fs::create_directories(folder);
    for (const char* file : SoundFiles) {
        fs::copy_file(fs::path(MARROWDALE_BUILD_DIR) / "Sound" / file, fs::path(folder) / file,
                      fs::copy_options::overwrite_existing);
    }
}

// Samples in a built effect's data chunk (16-bit mono behind a 44-byte header).
uint32_t EffectFrames(const std::string& path) {
    return static_cast<uint32_t>((fs::file_size(path) - 44) / 2);
}

// What the disk writer recorded: 16-bit stereo frames, and the sizes its header declares.
struct Recording {
    std::vector<int16_t> samples;  // left, right, left, right...
    uint32_t declaredDataBytes = 0;
    uintmax_t fileBytes = 0;
    size_t Frames() const { return samples.size() / 2; }
};

Recording ReadRecording(const std::string& path) {
    Recording r;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    r.fileBytes = bytes.size();
    if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) != 0) return r;
    std::memcpy(&r.declaredDataBytes, bytes.data() + 40, 4);
    r.samples.resize((bytes.size() - 44) / 2);
    std::memcpy(r.samples.data(), bytes.data() + 44, r.samples.size() * 2);
    return r;
}

struct Level {
    int peak = 0;
    double rms = 0.0;
};

// Peak and RMS of both channels over frames [from, to).
Level Measure(const Recording& r, size_t from, size_t to) {
    Level level;
    double sum = 0.0;
    to = std::min(to, r.Frames());
    for (size_t i = 2 * from; i < 2 * to; ++i) {
        level.peak = std::max(level.peak, std::abs(static_cast<int>(r.samples[i])));
        sum += static_cast<double>(r.samples[i]) * r.samples[i];
    }
    if (to > from) level.rms = std::sqrt(sum / (2.0 * static_cast<double>(to - from)));
    return level;
}

class AudioTest : public testing::Test {
protected:
    void SetUp() override {
        if (!BackBuffer) AllocateBackBuffer();
        StartHeadlessHost(HeadlessOptions{});
        folder = MakeTempFolder();
        ASSERT_FALSE(folder.empty());
        sound = folder + "Sound/";
        FillSoundFolder(sound);
    }
    void TearDown() override {
        ShutdownAudio();
        SetAudioDriver(nullptr);
        StopHeadlessHost();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    // The library through its no-sound driver, with the main loop's volumes.
    void StartSilent() {
        SetAudioDriver("nosound");
        Start();
    }
    // The library writing everything it mixes to a WAV file.
    void StartRecording() {
        recordingPath = folder + "recorded.wav";
        SetAudioDriver(("wav:" + recordingPath).c_str());
        Start();
    }
    void Start() {
        InitAudio(sound.c_str());
        SetSoundVolume(UnmutedSoundVolume);
        SetMusicVolume(UnmutedMusicVolume);
    }
    // Mixes n stretches of sound; returns how many had been mixed before.
    int Mix(int n) {
        int before = updates;
        for (int i = 0; i < n; ++i) UpdateAudio();
        updates += n;
        return before;
    }
    // Ends the library (which completes the file) and reads what was recorded.
    Recording Finish() {
        ShutdownAudio();
        Recording r = ReadRecording(recordingPath);
        EXPECT_GT(updates, 0);
        EXPECT_EQ(r.Frames() % static_cast<size_t>(updates), 0u);
        framesPerUpdate = updates ? r.Frames() / static_cast<size_t>(updates) : 0;
        return r;
    }
    // Frame at which update number n began.
    size_t FrameOf(int update) const { return framesPerUpdate * static_cast<size_t>(update); }
    size_t FramesIn(double seconds) const { return static_cast<size_t>(seconds * md_mixfreq); }
    int UpdatesIn(double seconds) const {
        return static_cast<int>(std::ceil(seconds * md_mixfreq / 8192.0));
    }

    std::string folder, sound, recordingPath;
    int updates = 0;
    size_t framesPerUpdate = 0;
};

// ---- Effect slots ------------------------------------------------------------------------

TEST_F(AudioTest, EffectsFillTheSlotsOfTheirNumbersAndNoOthers) {
    StartSilent();
    for (int n = 0; n < 4; ++n) {
        ASSERT_NE(EffectSlots[n], nullptr) << EffectFiles[n];
        EXPECT_EQ(EffectSlots[n]->length, EffectFrames(sound + EffectFiles[n])) << EffectFiles[n];
        EXPECT_EQ(EffectSlots[n]->panning, PAN_SURROUND);
        EXPECT_EQ(EffectSlots[n]->volume, UnmutedSoundVolume);
    }
    for (int n = 4; n < EffectSlotCount; ++n) EXPECT_EQ(EffectSlots[n], nullptr);
}

TEST_F(AudioTest, AMissingEffectLeavesOnlyItsSlotEmpty) {
    fs::remove(sound + "fire.wav");
    StartSilent();
    EXPECT_EQ(EffectSlots[SoundFire], nullptr);
    EXPECT_NE(EffectSlots[SoundSelect], nullptr);
    EXPECT_NE(EffectSlots[SoundStole], nullptr);
    PlaySound(SoundFire);
    Mix(2);
}

TEST_F(AudioTest, EffectNumbersWithoutAnEffectPlayNothing) {
    StartRecording();
    PlaySound(-1);
    PlaySound(4);
    PlaySound(EffectSlotCount);
    PlaySound(1000);
    int quiet = Mix(3);
    int played = updates;
    PlaySound(SoundSelect);
    Mix(1);
    Recording r = Finish();
    EXPECT_EQ(Measure(r, FrameOf(quiet), FrameOf(played)).peak, 0);
    EXPECT_GT(Measure(r, FrameOf(played), r.Frames()).peak, 1000);
}

// ---- Volumes and mute -----------------------------------------------------------------------

TEST_F(AudioTest, ToggleMuteTwiceGivesBackTheUnmutedPair) {
    StartSilent();
    ASSERT_TRUE(SoundOn);
    ToggleMute();
    EXPECT_FALSE(SoundOn);
    EXPECT_EQ(md_musicvolume, 0);
    for (int n = 0; n < 4; ++n) EXPECT_EQ(EffectSlots[n]->volume, 0);
    ToggleMute();
    EXPECT_TRUE(SoundOn);
    EXPECT_EQ(md_musicvolume, UnmutedMusicVolume);
    for (int n = 0; n < 4; ++n) EXPECT_EQ(EffectSlots[n]->volume, UnmutedSoundVolume);
}

// The pixels DrawLine plots for each line of the cross: every step but the lower end point.
std::set<std::pair<int, int>> CrossPixels() {
    std::set<std::pair<int, int>> pixels;
    for (int i = 0; i < 15; ++i) {
        pixels.insert({i, i});       // (0,0) to (15,15)
        pixels.insert({15 - i, i});  // (0,15) to (15,0), drawn from its upper end
        pixels.insert({1 + i, i});   // (1,0) to (16,15)
        pixels.insert({16 - i, i});  // (1,15) to (16,0)
    }
    return pixels;
}

std::set<std::pair<int, int>> PaintedPixels() {
    std::set<std::pair<int, int>> pixels;
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            uint16_t p = BackBuffer[y * ScreenWidth + x];
            if (p == ColourRed) pixels.insert({x, y});
            else EXPECT_EQ(p, 0) << x << "," << y;
        }
    }
    return pixels;
}

TEST_F(AudioTest, TheCrossIsExactlyItsFourLinesAndOnlyWhileMuted) {
    StartSilent();
    ClearBackBuffer(0);
    DrawMuteCross();
    EXPECT_TRUE(PaintedPixels().empty());
    ToggleMute();
    DrawMuteCross();
    EXPECT_EQ(PaintedPixels(), CrossPixels());
    ToggleMute();
    ClearBackBuffer(0);
    DrawMuteCross();
    EXPECT_TRUE(PaintedPixels().empty());
}

TEST_F(AudioTest, ANewEffectVolumeAppliesFromTheNextEffect) {
    // The same effect recorded twice: once left alone, once with the volume lowered while it
    // sounds.
    Recording alone, lowered;
    for (Recording* r : {&alone, &lowered}) {
        StartRecording();
        updates = 0;
        PlaySound(SoundPick);
        Mix(1);
        if (r == &lowered) SetSoundVolume(32);
        Mix(UpdatesIn(0.6));
        PlaySound(SoundPick);
        Mix(UpdatesIn(0.6));
        *r = Finish();
    }
    size_t second = FrameOf(1 + UpdatesIn(0.6));
    ASSERT_EQ(alone.samples.size(), lowered.samples.size());
    EXPECT_TRUE(std::equal(alone.samples.begin(), alone.samples.begin() + 2 * second,
                           lowered.samples.begin()))
        << "the effect already sounding changed";
    double ratio = static_cast<double>(Measure(lowered, second, lowered.Frames()).peak) /
                   Measure(alone, second, alone.Frames()).peak;
    EXPECT_NEAR(ratio, 0.5, 0.03);  // 32 of the library's full 64
}

TEST_F(AudioTest, AMutedGameFallsSilentOnceTheSoundingEffectEnds) {
    StartRecording();
    PlayMusic(0);
    int music = Mix(UpdatesIn(2.0));
    PlaySound(SoundStole);
    int effect = Mix(1);
    ToggleMute();
    int muted = Mix(UpdatesIn(1.0));
    PlaySound(SoundPick);
    PlaySound(SoundFire);
    int later = Mix(UpdatesIn(1.0));
    Recording r = Finish();
    size_t stoleEnd = FrameOf(effect) + EffectFrames(sound + "stole.wav") * md_mixfreq / 22050;
    EXPECT_GT(Measure(r, FrameOf(music), FrameOf(effect)).rms, 100.0) << "the tune was not heard";
    // The rest of the effect that was sounding is still heard after the mute...
    EXPECT_GT(Measure(r, FrameOf(muted), stoleEnd - FramesIn(0.05)).rms, 300.0);
    // ...then nothing: neither the tune nor the effects played while muted.
    EXPECT_EQ(Measure(r, stoleEnd + FramesIn(0.02), FrameOf(later)).peak, 0);
    EXPECT_EQ(Measure(r, FrameOf(later), r.Frames()).peak, 0);
}

// ---- Music ---------------------------------------------------------------------------------

TEST_F(AudioTest, PlayingTheSameTuneAgainNeitherReloadsNorRestartsIt) {
    StartSilent();
    PlayMusic(0);
    ASSERT_NE(MusicModule, nullptr);
    EXPECT_TRUE(MusicModule->wrap);
    MODULE* loaded = MusicModule;
    Mix(60);
    ULONG time = MusicModule->sngtime;
    ASSERT_GT(time, 0u);
    PlayMusic(0);
    EXPECT_EQ(MusicModule, loaded);
    EXPECT_EQ(MusicModule->sngtime, time);
    Mix(10);
    EXPECT_GT(MusicModule->sngtime, time);
}

TEST_F(AudioTest, StopMusicThenPlayMusicResumesWhereItStood) {
    StartRecording();
    PlayMusic(0);
    Mix(UpdatesIn(3.0));
    StopMusic();
    EXPECT_FALSE(Player_Active());
    int position = MusicModule->sngpos, row = MusicModule->patpos;
    int stopped = Mix(UpdatesIn(1.0));
    EXPECT_EQ(MusicModule->sngpos, position);
    EXPECT_EQ(MusicModule->patpos, row);
    PlayMusic(0);
    EXPECT_TRUE(Player_Active());
    EXPECT_EQ(MusicModule->patpos, row);
    int resumed = Mix(UpdatesIn(1.0));
    Recording r = Finish();
    EXPECT_EQ(Measure(r, FrameOf(stopped) + FramesIn(0.05), FrameOf(resumed)).peak, 0);
    EXPECT_GT(Measure(r, FrameOf(resumed), r.Frames()).rms, 100.0);
}

TEST_F(AudioTest, AMissingTuneMeansNoMusicAndIsNotTriedAgain) {
    StartSilent();
    PlayMusic(0);
    ASSERT_NE(MusicModule, nullptr);
    PlayMusic(1);
    EXPECT_EQ(MusicModule, nullptr);
    EXPECT_EQ(CurrentMusic, 1);
    EXPECT_FALSE(Player_Active());
    fs::copy_file(sound + "music0.mod", sound + "music1.mod");
    PlayMusic(1);
    EXPECT_EQ(MusicModule, nullptr) << "the same number was loaded again";
    PlayMusic(0);
    EXPECT_NE(MusicModule, nullptr);
}

TEST_F(AudioTest, TheTuneIsHeardAndGoesOnPastItsEnd) {
    StartRecording();
    PlayMusic(0);
    int lastPosition = 0;
    bool wentBack = false;
    for (int i = 0; i < UpdatesIn(80.0); ++i) {
        Mix(1);
        wentBack = wentBack || MusicModule->sngpos < lastPosition;
        lastPosition = MusicModule->sngpos;
    }
    Recording r = Finish();
    EXPECT_TRUE(wentBack) << "the tune never returned to an earlier position";
    // Every second of the recording carries music, the last ones (past the tune's end) too.
    for (double second = 0.0; second + 1.0 < 80.0; second += 1.0) {
        ASSERT_GT(Measure(r, FramesIn(second), FramesIn(second + 1.0)).rms, 100.0)
            << "at " << second << " s";
    }
}

TEST_F(AudioTest, ShutdownCompletesTheRecordingAndLaterCallsAreHarmless) {
    StartRecording();
    PlayMusic(0);
    PlaySound(SoundPick);
    Mix(4);
    Recording r = Finish();
    EXPECT_EQ(r.declaredDataBytes + 44u, r.fileBytes);
    EXPECT_EQ(MusicModule, nullptr);
    for (SAMPLE* slot : EffectSlots) EXPECT_EQ(slot, nullptr);
    PlaySound(SoundPick);
    PlayMusic(0);
    StopMusic();
    UpdateAudio();
    ToggleMute();
    ShutdownAudio();
}

// ---- Start-up ------------------------------------------------------------------------------

TEST_F(AudioTest, AFolderOfAnyLengthIsUsedWhole) {
    // Deep, long-named and not ASCII: far past the 100 bytes the handheld allowed.
    std::string deep = folder;
    for (int i = 0; i < 6; ++i)
        deep += std::string(60, static_cast<char>('a' + i)) + "-\xc3\xa9t\xc3\xa9/";
    FillSoundFolder(deep);
    ASSERT_GT(deep.size(), 400u);
    SetAudioDriver("nosound");
    InitAudio(deep.c_str());
    EXPECT_EQ(std::string(SoundPrefix), deep);
    for (int n = 0; n < 4; ++n) EXPECT_NE(EffectSlots[n], nullptr) << EffectFiles[n];
    PlayMusic(0);
    EXPECT_NE(MusicModule, nullptr);
}

TEST_F(AudioTest, AFolderTooLongForAnyPathIsRefusedNotCut) {
    // A folder longer than any the platform hands out: refused with a line, never cut short.
    std::string tooLong = sound + std::string(SoundPrefixBytes, 'x');
    SetAudioDriver("nosound");
    testing::internal::CaptureStderr();
    InitAudio(tooLong.c_str());
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("too long"), std::string::npos) << said;
    for (SAMPLE* slot : EffectSlots) EXPECT_EQ(slot, nullptr);
    PlayMusic(0);
    EXPECT_EQ(MusicModule, nullptr);
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
    std::string said = testing::internal::GetCapturedStderr();
    // Other libraries may talk on stderr too; the game says one line.
    size_t lines = 0;
    for (size_t at = said.find("marrowdale:"); at != std::string::npos;
         at = said.find("marrowdale:", at + 1))
        ++lines;
    bool oneLine =
        lines == 1 && said.find("marrowdale: no sound device answered") != std::string::npos;
    bool silentDriver =
        md_driver && md_driver->Alias && std::strcmp(md_driver->Alias, "nosound") == 0;
    int passes = HeadlessPassCount();
    bool waited = passMs > 0 ? ElapsedMs() >= 1000 && ElapsedMs() < 1000 + passMs &&
                                   passes == (1000 + passMs - 1) / passMs
                             : ElapsedMs() == 0 && passes > 10 && passes < 1000;
    PlaySound(SoundSelect);
    PlayMusic(0);
    UpdateAudio();
    ShutdownAudio();
    std::exit((silentDriver ? 0 : 1) | (waited ? 0 : 2) | (oneLine ? 0 : 4));
}

TEST_F(AudioTest, NoDeviceWithinASecondMeansSilenceAndOneLine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StartWithoutAnyDevice(sound, 13), testing::ExitedWithCode(0), "");
}

TEST_F(AudioTest, AClockThatStandsStillDoesNotHoldTheStartForEver) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StartWithoutAnyDevice(sound, 0), testing::ExitedWithCode(0), "");
}

}  // namespace
