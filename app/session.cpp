// One run of the program: live (recorded, so that a high score's game can be kept), recorded
// to a journal, replayed in the window or verified without one.
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

// The names confirmed so far in this run, as the pass hook last saw them.
int32_t NamesSeen;

// At the end of each pass of a recorded live game: a name confirmed with DONE keeps the game
// so far under its date and score and offers it to the world's table.
void KeepConfirmedGame(int, void*) {
    if (ConfirmedNames == NamesSeen) return;
    NamesSeen = ConfirmedNames;
    std::vector<uint8_t> journal;
    if (!JournalSoFar(&journal)) return;
    std::string kept = KeepGame(journal, LastConfirmed.score);
    if (!kept.empty()) OfferKeptGame(kept, journal);
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
// without --record is recorded all the same, under a passing name that goes at the end; with a
// score server named, its clock starts on the server's challenge when it gives one.
int RunSession(const StandInOptions& options, const SessionOptions& session) {
    if (session.replay) return RunReplay(options, session);
    if (session.record && !OpenRecording(session.record)) return 2;
    DWORD challenge = 0;
    bool challenged = TakeChallengeTick(options, &challenge);
    if (!StartStandIn(options)) {
        EndJournal();
        return 1;
    }
    if (challenged) SetVirtualTick(challenge);
    std::string passing = session.record || options.passMs < 1 ? std::string() : PassingJournalPath();
    bool opened = session.record || (!passing.empty() && OpenRecording(passing.c_str()));
    bool recording = opened && StartRecording();
    if (session.record && !recording) {
        StopStandIn();
        return 2;
    }
    if (recording) {
        NamesSeen = 0;
        SetPassHook(KeepConfirmedGame, nullptr);
    }
    int status = WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    int ended = EndJournal();
    if (!passing.empty()) std::remove(passing.c_str());
    // Everything is saved while a quit signal still only asks for a quit; the host's stop
    // gives the signals their default meaning back.
    SaveSettings();
    bool failed = DisplayFailedGame();
    StopStandIn();
    return status != 0 ? status : session.record && ended != 0 ? ended : failed ? 1 : 0;
}
