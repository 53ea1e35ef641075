// A game the program's end interrupted, going on from its journal on the headless host: the
// golden high score game cut short in play is replayed to its last whole pass, where its state
// is the one a check of the cut journal dumps for that pass; recorded on from there (the high
// score file as it stands now noted, as it differs from the journal's), played to its name's
// DONE, its kept game and its whole journal replay on a score server's worker, and the file
// holds the entry once. A journal whose replay goes another way stops the game, not the program.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "audio/audio.h"
#include "game/game.h"
#include "hosts/headless/headless.h"
#include "journal/journal.h"
#include "tests/support/support.h"

namespace {

// Nine tenths of the golden high score game's bytes end in its play, its name entry to come.
constexpr size_t CutBytesOf100 = 90;
constexpr int32_t NobodysScore = -1;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

// A program of the build run on a command line: its exit status and what it said.
struct Answer {
    int status;
    std::string said;
};

Answer RunProgram(const std::string& folder, const std::string& command) {
    int status = std::system((command + " >" + folder + "said 2>&1").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(folder + "said")};
}

// The golden high score game, its first CutBytesOf100 hundredths: cut short in play.
std::vector<uint8_t> CutGoldenGame() {
    std::string whole = ReadText(std::string(MARROWDALE_SOURCE_DIR) + "/tests/golden/highscore.mdj");
    return std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() * CutBytesOf100 / 100);
}

// The resumed game, at the end of each pass: where the replay reaches the cut, its state is
// noted and the game goes on recording; then nobody plays until the name entry, where "AB"
// and Enter confirm the name, the game so far is kept, and the window is closed twice.
struct GoingOn {
    std::string recording;
    std::string state;
    int pass = 0;
    bool typed = false;
    std::vector<uint8_t> kept;
};

void PlayOn(int pass, void* context) {
    auto* game = static_cast<GoingOn*>(context);
    if (ResumeReached()) {
        game->pass = pass;
        game->state = StateLine(pass, true);
        ASSERT_TRUE(ContinueRecording(game->recording.c_str()));
    } else if (ScreenState == EnterName && !game->typed) {
        for (int key : {int{'A'}, int{'B'}, int{VK_RETURN}}) {
            HeadlessKeyDown(key);
            HeadlessKeyUp(key);
        }
        game->typed = true;
    } else if (ConfirmedNames == 1 && game->kept.empty()) {
        ASSERT_TRUE(JournalSoFar(&game->kept));
        HeadlessClose();
        HeadlessClose();
    }
}

// Replays the cut journal from memory on the headless host, as a start that resumes does.
bool ReplayToResume(const std::vector<uint8_t>& cut, const std::string& module, void* context,
                    PassHook hook, const char** problem) {
    JournalHeader header{};
    if (!TakeResume(cut.data(), cut.size(), &header, problem)) return false;
    SetAudioDriver("nosound");
    StartHeadlessHost({.display = header.display, .passMs = header.passMs,
                       .startTick = header.startTick, .modulePath = module.c_str()});
    StartResume();
    HeadlessSetPassHook(hook, context);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOW), 0);
    return true;
}

TEST(Resume, AGameCutShortInPlayGoesOnFromItsLastPassAndIsKeptWhole) {
    std::string folder = MakeGameFolder();
    std::vector<uint8_t> cut = CutGoldenGame();
    std::string cutPath = folder + "cut.mdj";
    WriteBytes(cutPath, cut);
    Answer check = RunProgram(folder, std::string(MARROWDALE_BUILD_DIR) + "/marrowdale --replay " + cutPath +
                                   " --verify --dump-state " + folder + "dump.jsonl");
    ASSERT_EQ(check.status, CutShortStatus) << check.said;
    // Meanwhile another copy saved a table of its own, unlike the one the game read at its start.
    std::vector<uint8_t> table;
    for (int i = 0; i < HighScoreCount; ++i) {
        HighScoreEntry entry{NobodysScore, "NOBODY"};
        auto* bytes = reinterpret_cast<const uint8_t*>(&entry);
        table.insert(table.end(), bytes, bytes + sizeof entry);
    }
    WriteBytes(folder + "highscores.dat", table);

    GoingOn game;
    game.recording = folder + "going-on.mdj";
    std::string module = FolderModulePath(folder);
    const char* problem = nullptr;
    ASSERT_TRUE(ReplayToResume(cut, module, &game, PlayOn, &problem)) << problem;
    EXPECT_EQ(ResumeProblem(), nullptr);
    EXPECT_EQ(EndJournal(), 0);
    StopHeadlessHost();

    std::string passLine = "{\"pass\":" + std::to_string(game.pass) + ",";
    std::string dump = ReadText(folder + "dump.jsonl");
    size_t at = dump.find(passLine);
    ASSERT_NE(at, std::string::npos) << "pass " << game.pass << " is not in the check's dump";
    EXPECT_EQ(dump.substr(at, dump.find('\n', at) + 1 - at), game.state);
    EXPECT_NE(check.said.find("cut short after pass " + std::to_string(game.pass) + ";"), std::string::npos)
        << check.said;
    EXPECT_NE(game.state.find("\"ScreenState\":2"), std::string::npos) << game.state;

    ASSERT_FALSE(game.kept.empty()) << "the game never reached its name's DONE";
    WriteBytes(folder + "kept.mdj", game.kept);
    std::string worker = std::string(MARROWDALE_BUILD_DIR) + "/marrowdale-scores --replay-worker <";
    Answer kept = RunProgram(folder, worker + folder + "kept.mdj");
    EXPECT_EQ(kept.status, 0) << kept.said;

    Answer whole = RunProgram(folder, std::string(MARROWDALE_BUILD_DIR) + "/marrowdale --replay " +
                                   game.recording + " --verify");
    EXPECT_EQ(whole.status, 0) << whole.said;
    EXPECT_EQ(ReadText(game.recording).compare(0, cut.size() / 2,
                                               std::string(cut.begin(), cut.begin() + cut.size() / 2)),
              0)
        << "the recording goes on in the journal it resumed";
    std::string saved = ReadText(folder + "highscores.dat");
    ASSERT_EQ(saved.size(), table.size());
    int32_t score = 0;
    saved.copy(reinterpret_cast<char*>(&score), sizeof score);
    // "entry SCORE SEED PLAY NAME": the worker's answer for a game the table lists.
    EXPECT_EQ(kept.said.rfind("entry " + std::to_string(score) + " ", 0), 0u) << kept.said;
    EXPECT_EQ(kept.said.substr(kept.said.size() - 4), " AB\n") << kept.said;
    EXPECT_EQ(saved.compare(4, 3, "AB\0", 3), 0) << "the entry heads the table";
    EXPECT_EQ(saved.compare(16 + 4, 6, "NOBODY"), 0) << "and is there once, above the other copy's";
    RemoveGameFolder(folder);
}

// A resumed game's replay that goes otherwise than its journal (a start tick one on seeds the
// random numbers otherwise) makes the game quit unseen; the difference is said, not acted on.
void NeverGoOn(int, void*) { EXPECT_FALSE(ResumeReached()); }

TEST(Resume, AJournalThatDivergesStopsTheGameButNotTheProgram) {
    std::string folder = MakeGameFolder();
    std::vector<uint8_t> cut = CutGoldenGame();
    cut[26] += 1;
    const char* problem = nullptr;
    ASSERT_TRUE(ReplayToResume(cut, FolderModulePath(folder), nullptr, NeverGoOn, &problem));
    ASSERT_NE(ResumeProblem(), nullptr);
    EXPECT_EQ(std::string(ResumeProblem()).rfind("replay diverges at pass ", 0), 0u) << ResumeProblem();
    EXPECT_EQ(EndJournal(), 0);
    StopHeadlessHost();

    std::string whole = ReadText(std::string(MARROWDALE_SOURCE_DIR) + "/tests/golden/highscore.mdj");
    std::vector<uint8_t> finished(whole.begin(), whole.end());
    JournalHeader header{};
    EXPECT_FALSE(TakeResume(finished.data(), finished.size(), &header, &problem));
    EXPECT_STREQ(problem, "its run ended");
    RemoveGameFolder(folder);
}

}  // namespace
