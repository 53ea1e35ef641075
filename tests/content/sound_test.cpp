// Tests of the built effects and tune: libmikmod loads them, the tune is heard and loops on its
// own, the effects differ as they should, and the builder is repeatable and names bad recipes.
#include <gtest/gtest.h>
#include <mikmod.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string Built = std::string(MARROWDALE_BUILD_DIR) + "/Sound/";
const char* const EffectNames[] = {"select", "fire", "stole", "pick"};

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

std::string MakeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "marrowdale-sound-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return {};
    return std::string(name.data()) + "/";
}

// libmikmod with the given driver; drivers and loaders are registered once per process.
bool StartLibrary(const char* alias, const std::string& parameters) {
    static bool registered = false;
    if (!registered) {
        MikMod_RegisterAllDrivers();
        MikMod_RegisterAllLoaders();
        registered = true;
    }
    md_device = static_cast<UWORD>(MikMod_DriverFromAlias(alias));
    if (MikMod_Init(parameters.c_str()) != 0) return false;
    MikMod_SetNumVoices(-1, 4);
    MikMod_EnableOutput();
    return true;
}

// The 16-bit mono samples of a built effect, as values in -1..1.
std::vector<double> EffectSamples(const std::string& name, uint32_t* rate) {
    std::vector<uint8_t> bytes = ReadBytes(Built + name + ".wav");
    std::vector<double> samples;
    if (bytes.size() < 44) return samples;
    std::memcpy(rate, bytes.data() + 24, 4);
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
        samples.push_back(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8) / 32768.0);
    }
    return samples;
}

// Zero crossings a second over a stretch: a rough measure of pitch (or of noise).
double CrossingRate(const std::vector<double>& s, size_t from, size_t to, uint32_t rate) {
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) crossings += (s[i - 1] < 0.0) != (s[i] < 0.0);
    return crossings * static_cast<double>(rate) / static_cast<double>(to - from);
}

TEST(SoundContent, EveryEffectLoadsAsAShortMonoSample) {
    ASSERT_TRUE(StartLibrary("nosound", ""));
    for (const char* name : EffectNames) {
        SAMPLE* sample = Sample_Load((Built + name + ".wav").c_str());
        ASSERT_NE(sample, nullptr) << name;
        EXPECT_GT(sample->length, 0u) << name;
        EXPECT_LT(sample->length, sample->speed / 2) << name << " lasts half a second or more";
        Sample_Free(sample);
    }
    MikMod_Exit();
}

TEST(SoundContent, TheTuneIsAFourChannelModuleOfFullScaleInstruments) {
    ASSERT_TRUE(StartLibrary("nosound", ""));
    MODULE* module = Player_Load((Built + "music0.mod").c_str(), 4, 0);
    ASSERT_NE(module, nullptr) << MikMod_strerror(MikMod_errno);
    EXPECT_EQ(module->numchn, 4);
    EXPECT_EQ(module->numins, 31);
    EXPECT_STREQ(module->modtype, "Protracker");
    Player_Free(module);
    MikMod_Exit();

    // The header: 31 instrument records, then the order, then "M.K."; samples follow the patterns.
    std::vector<uint8_t> mod = ReadBytes(Built + "music0.mod");
    ASSERT_GT(mod.size(), 1084u);
    EXPECT_EQ(std::string(mod.begin() + 1080, mod.begin() + 1084), "M.K.");
    int patterns = 0;
    for (int i = 0; i < 128; ++i) patterns = std::max(patterns, mod[952 + i] + 1);
    size_t sample = 1084 + static_cast<size_t>(patterns) * 1024;
    int instruments = 0;
    for (int slot = 0; slot < 31; ++slot) {
        const uint8_t* record = mod.data() + 20 + 30 * slot;
        size_t length = 2u * (record[22] << 8 | record[23]);
        if (!length) continue;
        ++instruments;
        EXPECT_EQ(record[25], 64) << "instrument " << slot + 1 << " is not at full volume";
        int peak = 0;
        for (size_t i = 0; i < length; ++i)
            peak = std::max(peak, std::abs(static_cast<int8_t>(mod[sample + i])));
        EXPECT_GE(peak, 127) << "instrument " << slot + 1 << " is not full scale";
        sample += length;
    }
    EXPECT_GE(instruments, 4);
    EXPECT_EQ(sample, mod.size());
}

TEST(SoundContent, TheTuneIsHeardForLongerThanHalfAMinuteAndLoopsOnItsOwn) {
    std::string folder = MakeTempFolder();
    std::string recording = folder + "tune.wav";
    ASSERT_TRUE(StartLibrary("wav", "file=" + recording));
    MODULE* module = Player_Load((Built + "music0.mod").c_str(), 4, 0);
    ASSERT_NE(module, nullptr);
    Player_Start(module);  // no wrap: the module must loop by itself
    const double seconds = 100.0;
    const int updates = static_cast<int>(seconds * md_mixfreq / 8192.0);
    int lastPosition = 0;
    double loopedAt = 0.0;
    for (int i = 0; i < updates; ++i) {
        MikMod_Update();
        if (loopedAt == 0.0 && module->sngpos < lastPosition) loopedAt = module->sngtime / 1024.0;
        lastPosition = module->sngpos;
    }
    EXPECT_TRUE(Player_Active());
    Player_Stop();
    Player_Free(module);
    MikMod_Exit();
    EXPECT_GE(loopedAt, 32.0) << "the tune repeats too soon";
    EXPECT_LT(loopedAt, 90.0) << "the tune never went back";

    std::vector<uint8_t> bytes = ReadBytes(recording);
    ASSERT_GT(bytes.size(), 44u);
    const int16_t* frames = reinterpret_cast<const int16_t*>(bytes.data() + 44);
    size_t frameCount = (bytes.size() - 44) / 4;
    EXPECT_GT(frameCount, static_cast<size_t>((loopedAt + 5.0) * md_mixfreq));
    size_t perSecond = md_mixfreq;
    for (size_t start = 0; start + perSecond <= frameCount; start += perSecond) {
        double sum = 0.0;
        for (size_t i = 2 * start; i < 2 * (start + perSecond); ++i)
            sum += static_cast<double>(frames[i]) * frames[i];
        ASSERT_GT(std::sqrt(sum / (2.0 * perSecond)), 1000.0)
            << "quiet at " << start / perSecond << " s";
    }
    fs::remove_all(folder);
}

TEST(SoundContent, TheEffectsAreEasyToTellApart) {
    uint32_t rate = 0;
    std::vector<double> select = EffectSamples("select", &rate);
    ASSERT_GT(rate, 0u);
    EXPECT_LT(select.size(), rate / 16u) << "select is no short click";

    std::vector<double> fire = EffectSamples("fire", &rate);
    std::vector<double> stole = EffectSamples("stole", &rate);
    std::vector<double> pick = EffectSamples("pick", &rate);
    size_t third = stole.size() / 3;
    EXPECT_LT(CrossingRate(stole, 2 * third, stole.size(), rate),
              0.8 * CrossingRate(stole, 0, third, rate))
        << "stole does not fall";
    third = pick.size() / 3;
    EXPECT_GT(CrossingRate(pick, 2 * third, pick.size(), rate),
              1.2 * CrossingRate(pick, 0, third, rate))
        << "pick does not rise";
    // A puff is noise: far more crossings at its start than any tone of the others.
    EXPECT_GT(CrossingRate(fire, 0, fire.size() / 4, rate),
              2.0 * CrossingRate(stole, 0, stole.size() / 4, rate));
    EXPECT_GT(fire.size(), 4 * select.size());
}

// Runs the builder on a content folder into out; returns its exit status and its stderr.
int RunBuilder(const std::string& content, const std::string& out, std::string* said) {
    std::string errors = out + ".stderr";
    std::string command = std::string(MARROWDALE_BUILD_DIR) + "/marrowdale-content --content '" +
                          content + "' --out '" + out + "' 2> '" + errors + "'";
    int status = std::system(command.c_str());
    std::vector<uint8_t> text = ReadBytes(errors);
    said->assign(text.begin(), text.end());
    return status;
}

TEST(SoundContent, TheSameRecipesGiveTheSameBytes) {
    std::string folder = MakeTempFolder();
    std::string said;
    ASSERT_EQ(RunBuilder(std::string(MARROWDALE_SOURCE_DIR) + "/content", folder + "out", &said), 0)
        << said;
    for (const char* name : {"select.wav", "fire.wav", "stole.wav", "pick.wav", "music0.mod"}) {
        EXPECT_EQ(ReadBytes(folder + "out/Sound/" + name), ReadBytes(Built + name)) << name;
    }
    fs::remove_all(folder);
}

TEST(SoundContent, ABadRecipeIsNamedByFileAndLine) {
    struct Fault {
        const char* file;
        const char* line;  // appended to the recipe
        const char* expected;
    };
    const Fault faults[] = {
        {"fire.sfx", "voice hiss for 0.1", "unknown wave 'hiss'"},
        {"pick.sfx", "voice sine at 0.3 for 0.3 hz C7", "an effect must end before 0.5 s"},
        {"music0.tune", "bar odd | C2:4 E2:4 G2:4 |", "a bar fills 16 rows"},
        {"music0.tune", "pattern coda", "pattern 'coda' has no 'end'"},
    };
    for (const Fault& fault : faults) {
        std::string folder = MakeTempFolder();
        fs::copy(std::string(MARROWDALE_SOURCE_DIR) + "/content", folder + "content",
                 fs::copy_options::recursive);
        std::string recipe = folder + "content/sound/" + fault.file;
        size_t lines = 0;
        {
            std::ifstream in(recipe);
            std::string text;
            while (std::getline(in, text)) ++lines;
        }
        std::ofstream(recipe, std::ios::app) << fault.line << "\n";
        std::string said;
        EXPECT_NE(RunBuilder(folder + "content", folder + "out", &said), 0) << fault.file;
        std::string where = recipe + ":" + std::to_string(lines + 1) + ": ";
        EXPECT_EQ(said.rfind(where, 0), 0u) << said;
        EXPECT_NE(said.find(fault.expected), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        fs::remove_all(folder);
    }
}

}  // namespace
