// A game kept at its name's DONE, recorded on the headless host as a live game is: the journal
// so far replays on a score server's worker to where it ends, every frame checked, and stands
// for the name confirmed there and for the same play as the run's whole journal; the run's own
// journal is untouched by it; scores changed at its end diverge there. The table's rules refuse
// a game of no points that a forged high score file made a high score, and a name of spaces.
// The run's passing journal is written to a file of its own, never through a link left at its
// name.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "game/game.h"
#include "game/play/play.h"
#include "hosts/headless/headless.h"
#include "journal/journal.h"
#include "services/games.h"
#include "shell/shell.h"
#include "tests/support/support.h"

namespace {

// Taps play, fires left and right in turn every FireEvery passes of play (or sits the game
// out), types its name and Enter (DONE), takes the journal so far at the end of the pass that
// confirmed the name, then closes the window twice (no credits).
constexpr int FireEvery = 20;

struct Player {
    bool fires = false;
    const char* name = "";
    bool tapped = false;
    bool typed = false;
    int passes = 0;
    std::vector<uint8_t> kept;
};

void Press(int key) {
    HeadlessKeyDown(key);
    HeadlessKeyUp(key);
}

void PlayGame(int, void* context) {
    auto* player = static_cast<Player*>(context);
    if (ScreenState == Menu && !player->tapped) {
        HeadlessStylusDown(121, 71);
        HeadlessStylusUp();
        player->tapped = true;
    } else if (ScreenState == Play && player->fires && ++player->passes % FireEvery == 0) {
        Press(player->passes / FireEvery % 2 ? 'Z' : 'X');
    } else if (ScreenState == EnterName && !player->typed) {
        for (const char* key = player->name; *key; ++key) Press(*key);
        Press(VK_RETURN);
        player->typed = true;
    } else if (player->typed && ConfirmedNames == 1 && player->kept.empty()) {
        ASSERT_TRUE(JournalSoFar(&player->kept));
        HeadlessClose();
        HeadlessClose();
    }
}

// What a score server's worker (marrowdale-scores --replay-worker) makes of a journal, in a
// process of its own as on the server: its exit status and what it said on stdout and stderr.
struct WorkerAnswer {
    int status;
    std::string said;
};

std::string ReadText(const std::string& path) {
    std::string text;
    if (FILE* in = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(in)) != EOF;) text += static_cast<char>(c);
        std::fclose(in);
    }
    return text;
}

WorkerAnswer Replay(const std::string& folder, const std::vector<uint8_t>& journal) {
    std::string path = folder + "sent.mdj";
    FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(journal.data(), 1, journal.size(), out);
    std::fclose(out);
    std::string command = std::string(MARROWDALE_BUILD_DIR) + "/marrowdale-scores --replay-worker <" +
                          path + " >" + folder + "said 2>&1";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(folder + "said")};
}

// The game's records as a fresh start of the program has them (a worker replays each journal
// in a process of its own).
void ResetGameRecords() {
    ScreenState = Intro;
    RunFlag = 0;
    Inactive = false;
    CloseRequests = IntroPhase = IntroFade = NameLength = BorderFrame = Now = LastFrame = 0;
    std::memset(NameBuffer, 0, sizeof NameBuffer);
    PlayField = PlayFieldRecord{};
    Latches = InputLatches{};
    MenuCursor = MenuCursorStart;
    NameCursor = ScreenCursor{0, 0, false};
}

// A recorded run of player against a table of negative scores, which no game misses: the
// journal kept at DONE, and the run's whole journal.
struct PlayedRun {
    std::string folder;
    std::vector<uint8_t> kept;
    std::string whole;
};

PlayedRun RecordRun(bool fires, const char* name) {
    Player player;
    player.fires = fires;
    player.name = name;
    PlayedRun run{MakeGameFolder(), {}, {}};
    FILE* table = std::fopen((run.folder + "highscores.dat").c_str(), "wb");
    for (int i = 0; table && i < HighScoreCount; ++i) {
        HighScoreEntry entry{-1, "NOBODY"};
        std::fwrite(&entry, sizeof entry, 1, table);
    }
    if (table) std::fclose(table);
    std::string module = FolderModulePath(run.folder);
    std::string recording = run.folder + "game.mdj";
    StartHeadlessHost({.modulePath = module.c_str()});
    ResetGameRecords();
    EXPECT_TRUE(OpenRecording(recording.c_str()));
    EXPECT_TRUE(StartRecording());
    HeadlessSetPassHook(PlayGame, &player);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOW), 0);
    EXPECT_EQ(EndJournal(), 0);
    StopHeadlessHost();
    run.kept = player.kept;
    run.whole = ReadText(recording);
    return run;
}

TEST(KeptGame, TheJournalSoFarReplaysToTheNamesDoneAndStandsForItsPlay) {
    PlayedRun run = RecordRun(true, "AB");
    ASSERT_FALSE(run.kept.empty());

    // "entry SCORE SEED PLAY NAME": the seed is the headless host's start tick.
    WorkerAnswer kept = Replay(run.folder, run.kept);
    ASSERT_EQ(kept.status, 0) << kept.said;
    int score = 0;
    unsigned seed = 0;
    char play[65] = {}, name[11] = {};
    ASSERT_EQ(std::sscanf(kept.said.c_str(), "entry %d %u %64s %10s", &score, &seed, play, name), 4) << kept.said;
    EXPECT_GT(score, 0);
    EXPECT_EQ(seed, 1000u);
    EXPECT_STREQ(name, "AB");
    WorkerAnswer whole = Replay(run.folder, std::vector<uint8_t>(run.whole.begin(), run.whole.end()));
    EXPECT_EQ(whole.status, 0) << whole.said;
    EXPECT_EQ(whole.said, kept.said) << "the run's whole journal is the same play";
    EXPECT_GT(run.whole.size(), run.kept.size());

    // The end mark: 'Z', the scores' checksum, their length, the passes (a varint).
    JournalHeader header{};
    ASSERT_TRUE(TakeJournal(run.kept.data(), run.kept.size(), "the kept game", &header));
    EXPECT_TRUE(header.endsInPlay);
    std::vector<uint8_t> changed = run.kept;
    size_t passBytes = 1;
    for (uint64_t passes = header.passes; passes >= 0x80; passes >>= 7) ++passBytes;
    changed[changed.size() - passBytes - 8] ^= 0x01;
    WorkerAnswer diverged = Replay(run.folder, changed);
    EXPECT_EQ(diverged.status, 1);
    EXPECT_NE(diverged.said.find("where the journal ends (high scores checksum"), std::string::npos) << diverged.said;
    RemoveGameFolder(run.folder);
}

TEST(KeptGame, TheTablesRulesRefuseNoPointsAndANameOfSpaces) {
    struct Refused {
        bool fires;
        const char* name;
        const char* rule;
    };
    const Refused refused[] = {
        {false, "AB", "the game scored 0 points, which beat no entry of the game's own table as it starts"},
        {true, "  ", "the name typed has no letter; the table lists names of at least one letter"},
    };
    for (const Refused& row : refused) {
        PlayedRun run = RecordRun(row.fires, row.name);
        ASSERT_FALSE(run.kept.empty());
        WorkerAnswer answer = Replay(run.folder, run.kept);
        EXPECT_EQ(answer.status, 2) << answer.said;
        EXPECT_NE(answer.said.find(row.rule), std::string::npos) << answer.said;
        RemoveGameFolder(run.folder);
    }
}

TEST(KeptGame, ThePassingJournalIsNeverWrittenThroughALinkAtItsName) {
    std::string home = MakeGameFolder();
    const char* given = std::getenv("XDG_DATA_HOME");
    std::string before = given ? given : "";
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    std::string folder = home + "marrowdale/games/";
    std::string other = home + "highscores.dat";
    FILE* out = std::fopen(other.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("the player's scores", out);
    std::fclose(out);
    ASSERT_EQ(std::system(("mkdir -p " + folder).c_str()), 0);
    std::string name = folder + "playing-" + std::to_string(getpid()) + ".mdj.part";
    ASSERT_EQ(symlink(other.c_str(), name.c_str()), 0);

    std::string passing = PassingJournalPath(false);
    EXPECT_EQ(passing, name);
    ASSERT_TRUE(OpenRecording(passing.c_str()));
    struct stat info{};
    EXPECT_TRUE(lstat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) << "the recording is no plain file of its own";
    EXPECT_EQ(EndJournal(), 0);
    EXPECT_EQ(ReadText(other), "the player's scores");
    given ? setenv("XDG_DATA_HOME", before.c_str(), 1) : unsetenv("XDG_DATA_HOME");
    RemoveGameFolder(home);
}

}  // namespace
