// One run of the program: live, recorded to a journal, replayed in the window or verified
// without one.
#include "app/app.h"
#include "audio/audio.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"
#include "hosts/live.h"
#include "journal/journal.h"
#include "services/settings.h"

namespace {

// The journal decides the pace and the display; a verifying run has no window and no sound.
int RunReplay(StandInOptions options, const SessionOptions& session) {
    JournalHeader header{};
    if (!LoadJournal(session.replay, &header)) return 2;
    options.passMs = header.passMs;
    options.display = header.display;
    if (session.verify) {
        SetAudioDriver("nosound");
        StartHeadlessHost({.display = header.display, .passMs = header.passMs,
                           .startTick = header.startTick});
    } else if (!StartStandIn(options)) {
        return 1;
    }
    if (!OpenDump(session.dumpState, session.replay)) {
        session.verify ? StopHeadlessHost() : StopStandIn();
        return 2;
    }
    StartReplay(session.verify);
    int status = WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    int ended = EndJournal();
    SaveSettings();
    bool failed = DisplayFailedGame();
    session.verify ? StopHeadlessHost() : StopStandIn();
    return CloseDump(status != 0 ? status : ended != 0 ? ended : failed ? 1 : 0);
}

}  // namespace

// main, once the command line is read: runs the game as it asks; the exit status.
int RunSession(const StandInOptions& options, const SessionOptions& session) {
    if (session.replay) return RunReplay(options, session);
    if (session.record && !OpenRecording(session.record)) return 2;
    if (!StartStandIn(options)) {
        EndJournal();
        return 1;
    }
    if (session.record && !StartRecording()) {
        StopStandIn();
        return 2;
    }
    int status = WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    int ended = EndJournal();
    // Everything is saved while a quit signal still only asks for a quit; the host's stop
    // gives the signals their default meaning back.
    SaveSettings();
    bool failed = DisplayFailedGame();
    StopStandIn();
    return status != 0 ? status : ended != 0 ? ended : failed ? 1 : 0;
}
