// One run of the program: live (recorded, so that a high score's game can be kept and a game the
// program's end interrupts goes on at the next start), resumed from a journal, recorded to a
// journal, replayed in the window or verified without one.
#include <cstdio>
#include <string>
#include <vector>

#include "app/app.h"
#include "audio/audio.h"
#include "game/game.h"
#include "handheld/standin.h"
#include "handheld/system.h"
#include "hosts/headless/headless.h"
#include "hosts/live.h"
#include "journal/journal.h"
#include "services/games.h"
#include "services/settings.h"

namespace {

// A live run, as its pass hook keeps up with it.
struct LiveRun {
    StandInOptions options;
    std::string journal;         // the passing journal of the run, when there is one
    bool keepsGame = false;      // a game the program's end interrupts is kept to go on
    int32_t namesSeen = 0;       // the names confirmed so far, as last seen
    int32_t closesSeen = 0;      // the close requests so far, as last seen
    bool wasInPlay = false;      // a game was in play at the end of the pass before
    uint64_t writesSeen = 0;     // the journal's writes to its file, as last kept
    bool cutForResume = false;   // asked to end in play: the journal kept to go on from there
    // A resumed game's replay: the journal it came from, and how it ended.
    std::string resumedFrom;
    bool claimed = false;        // resumedFrom is a claimed game in progress, not a given file
    bool wentLive = false;
    bool abandoned = false;      // not in play where its journal ends: nothing to go on with
    bool windowFailed = false;
    std::vector<std::string> startAgain;
};

LiveRun Run;

// Whether a game is in play: its Play screen or the name entry after it, with no quit asked.
bool GameInPlay() {
    return (ScreenState == Play || ScreenState == EnterName) && RunFlag != QuitRunFlag;
}

// A name confirmed with DONE keeps the game so far under its date and score and offers it to the
// world's table.
void KeepConfirmedGame() {
    if (ConfirmedNames == Run.namesSeen) return;
    Run.namesSeen = ConfirmedNames;
    std::vector<uint8_t> journal;
    if (!JournalSoFar(&journal)) return;
    std::string kept = KeepGame(journal, LastConfirmed.score);
    if (!kept.empty()) OfferKeptGame(kept, journal);
}

// The program asked to end (a close, a signal, the display lost) while a game is in play: the
// journal is kept as it stood before, to go on with at the next start.
void KeepInterruptedGame() {
    if (CloseRequests == Run.closesSeen) return;
    bool first = Run.closesSeen == 0;
    bool inPlay = (ScreenState == Play || ScreenState == EnterName);
    Run.closesSeen = CloseRequests;
    if (first && inPlay && Run.keepsGame) Run.cutForResume = CutJournalForResume();
}

// Each time the journal went to its file while a game is in play: the host keeps the game in
// progress with it. A game that is no longer in play goes to the file at once, so that it is
// never resumed; one the player left (or named and saved) takes the host's copy with it, and a
// run off the play screens keeps nothing to resume (a page would load twice for it).
void KeepProgress() {
    bool inPlay = GameInPlay();
    bool offPlay = ScreenState != Play && ScreenState != EnterName;
    if (Run.wasInPlay && !inPlay) {
        WriteJournalOut();
        if (Run.keepsGame && offPlay) DropGameInProgress(false);
    }
    Run.wasInPlay = inPlay;
    if (!Run.keepsGame || offPlay) return;
    uint64_t writes = 0;
    const std::vector<uint8_t>& journal = RecordedJournal(&writes);
    if (writes == Run.writesSeen) return;
    Run.writesSeen = writes;
    KeepGameInProgress(Run.journal, journal);
}

// The driver the player chose, for the sound of a game that goes on live.
void UsePlayersAudioDriver() {
    SetAudioDriver(Run.options.audioDriver.empty() ? nullptr : Run.options.audioDriver.c_str());
}

// A resumed game's replay reached the end of its journal: a game in play goes on live, recorded
// into this run's journal, the live host showing it paused, its sound started; any other ends
// unseen. One line says where it went on.
void GoOnLive() {
    if (!GameInPlay() || CloseRequests > 0) {
        Run.abandoned = true;
        AbandonResume();
        return;
    }
    uint64_t pass = 0;
    DWORD milliseconds = 0;
    ResumePoint(&pass, &milliseconds);
    bool recording = ContinueRecording(Run.journal.c_str());
    Run.keepsGame = recording && Run.options.resume;
    Run.wentLive = true;
    // A claimed journal that could not be written on is set aside by the next start.
    if (Run.claimed && recording) std::remove(Run.resumedFrom.c_str());
    UsePlayersAudioDriver();
    RestartAudio();
    HoldAudioOutput(true);
    if (!TakeOverStandIn()) {
        Run.windowFailed = true;
        RequestQuit();
        RequestQuit();
        return;
    }
    std::string from = Run.claimed ? std::string("left in progress") : "in " + Run.resumedFrom;
    std::fprintf(stderr, "marrowdale: resumed the game %s from second %lu of its run (pass %llu)\n",
                 from.c_str(), static_cast<unsigned long>(milliseconds / 1000),
                 static_cast<unsigned long long>(pass));
}

// At the end of each pass of a live run (a resumed one's replay too).
void AfterLivePass(int, void*) {
    KeepConfirmedGame();
    KeepInterruptedGame();
    if (ResumeReached()) GoOnLive();
    KeepProgress();
}

// The end of a live run: a passing journal goes unless it holds a game to go on with.
int EndLiveRun(int status, bool recordedToFile) {
    int ended = EndJournal();
    if (!Run.journal.empty() && !Run.cutForResume) {
        std::remove(Run.journal.c_str());
        if (Run.keepsGame) DropGameInProgress(false);
    }
    // Everything is saved while a quit signal still only asks for a quit; the host's stop
    // gives the signals their default meaning back.
    SaveSettings();
    bool failed = DisplayFailedGame() || Run.windowFailed;
    StopStandIn();
    return status != 0 ? status : recordedToFile && ended != 0 ? ended : failed ? 1 : 0;
}

// A journal that can't be resumed: a claimed game in progress set aside, a given file left where
// it is; one line says why.
void SetAside(const char* why) {
    if (Run.claimed) {
        std::string aside = SetGameAside(Run.resumedFrom);
        std::fprintf(stderr, "marrowdale: the game left in progress cannot be resumed (%s); %s%s\n", why,
                     aside.empty() ? "it is removed" : "it is set aside as ", aside.c_str());
    } else {
        std::fprintf(stderr, "marrowdale: cannot resume %s: %s\n", Run.resumedFrom.c_str(), why);
    }
    DropGameInProgress(true);
}

// The journal to resume read and checked; false (after it is set aside) when it can't go on.
bool TakeGameToResume(JournalHeader* header) {
    std::vector<uint8_t> bytes;
    const char* problem = nullptr;
    if (ReadJournalFile(Run.resumedFrom.c_str(), &bytes, &problem) &&
        TakeResume(bytes.data(), bytes.size(), header, &problem)) {
        return true;
    }
    SetAside(problem);
    return false;
}

// The given journal, or the game left in progress, replayed without a window or sound to the
// end of its whole passes, then gone on with live. False when no game was there to go on with
// (or it could not be read): the start goes on as usual. Otherwise the run is over, with
// *status; a game that could not go on once it replayed starts the program again, afresh, as
// the game's records are the replayed game's by then.
bool ResumeGame(const char* file, int* status) {
    *status = 1;
    if (!OpenStandIn(Run.options)) return true;
    if (OtherCopyRuns(WindowClassName)) return false;
    Run.resumedFrom = file ? file : ClaimGameInProgress();
    Run.claimed = !file;
    JournalHeader header{};
    if (Run.resumedFrom.empty() || !TakeGameToResume(&header)) return false;
    Run.journal = PassingJournalPath(false);
    if (Run.journal.empty()) {
        if (Run.claimed) GiveBackGame(Run.resumedFrom);
        return false;
    }
    SetAudioDriver("nosound");
    StartHeadlessHost({.display = header.display, .passMs = header.passMs,
                       .startTick = header.startTick});
    StartResume();
    SetPassHook(AfterLivePass, nullptr);
    int result = WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    if (Run.wentLive) {
        *status = EndLiveRun(result, false);
        return true;
    }
    std::string problem = ResumeProblem() ? ResumeProblem() : "";
    EndJournal();
    StopHeadlessHost();
    if (!problem.empty()) {
        SetAside(problem.c_str());
    } else if (Run.abandoned && Run.claimed) {
        std::remove(Run.resumedFrom.c_str());
        DropGameInProgress(false);
    } else if (Run.abandoned) {
        std::fprintf(stderr, "marrowdale: cannot resume %s: its game was not in play where it ends\n",
                     Run.resumedFrom.c_str());
        DropGameInProgress(false);
    } else if (Run.claimed) {
        // Asked to end during the replay: the game waits for a later start.
        GiveBackGame(Run.resumedFrom);
    }
    StopStandIn();
    if (!problem.empty() || Run.abandoned) StartAgain(Run.startAgain);
    *status = problem.empty() && !Run.abandoned ? 0 : 1;
    return true;
}

// The loaded journal (from journalPath, if a file) played on the host just started, which
// stop ends: the exit status.
int PlayLoadedJournal(bool verify, const char* dumpState, const char* journalPath,
                      void (*stop)()) {
    if (!OpenDump(dumpState, journalPath)) {
        stop();
        return 2;
    }
    StartReplay(verify);
    int status = WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    int ended = EndJournal();
    if (!verify) SaveSettings();
    bool failed = DisplayFailedGame();
    stop();
    return CloseDump(status != 0 ? status : ended != 0 ? ended : failed ? 1 : 0);
}

// The journal decides the pace and the display; a verifying run has no window and no sound.
int RunReplay(StandInOptions options, const SessionOptions& session) {
    JournalHeader header{};
    if (!LoadJournal(session.replay, &header)) return 2;
    if (session.verify) return VerifyLoadedJournal(header, session.dumpState, session.replay);
    options.passMs = header.passMs;
    options.display = header.display;
    if (!StartStandIn(options)) return 1;
    return PlayLoadedJournal(false, session.dumpState, session.replay, StopStandIn);
}

}  // namespace

// --verify, and the score server's replays: the loaded journal on the headless host.
int VerifyLoadedJournal(const JournalHeader& header, const char* dumpState,
                        const char* journalPath) {
    SetAudioDriver("nosound");
    StartHeadlessHost({.display = header.display, .passMs = header.passMs,
                       .startTick = header.startTick});
    return PlayLoadedJournal(true, dumpState, journalPath, StopHeadlessHost);
}

// main, once the command line is read: runs the game as it asks; the exit status. A live game
// without --record is recorded all the same, under a passing name that goes at the end unless
// the program's end interrupted a game in play: the next start (or --resume FILE) goes on
// with it. With a score server named, a new game's clock starts on the server's challenge when
// it gives one.
int RunSession(const StandInOptions& options, const SessionOptions& session) {
    if (session.replay) return RunReplay(options, session);
    if (session.record && !OpenRecording(session.record)) return 2;
    Run = LiveRun{};
    Run.options = options;
    Run.startAgain = session.startAgain;
    bool paced = options.passMs >= 1;
    int status = 0;
    if (!session.record && paced && !session.noResume && (options.resume || session.resume) &&
        ResumeGame(session.resume, &status)) {
        return status;
    }
    Run = LiveRun{};
    Run.options = options;
    DWORD challenge = 0;
    bool challenged = TakeChallengeTick(options, &challenge);
    if (!StartStandIn(options)) {
        EndJournal();
        return 1;
    }
    if (challenged) SetVirtualTick(challenge);
    if (!session.record && paced) Run.journal = PassingJournalPath(!options.resume);
    bool opened = session.record || (!Run.journal.empty() && OpenRecording(Run.journal.c_str()));
    bool recording = opened && StartRecording();
    if (session.record && !recording) {
        StopStandIn();
        return 2;
    }
    Run.keepsGame = recording && !session.record && options.resume;
    if (recording) SetPassHook(AfterLivePass, nullptr);
    return EndLiveRun(WinMain(nullptr, nullptr, nullptr, SW_SHOW), session.record != nullptr);
}
