// The entries an earlier version stored before plays were known: each replayed once, in a
// thread of its own beside the server's replays, to learn its play; of two entries of one
// play the later comes off the table, and one the table's rules now refuse is said in the log
// for its operator to judge.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "server/server.h"

namespace {

constexpr int BusyWaitSeconds = 5;

struct BackfillRecord {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake;
    bool stopping = false;
};

BackfillRecord Backfill;

bool Stopping() {
    std::lock_guard<std::mutex> hold(Backfill.lock);
    return Backfill.stopping;
}

// The replay of one entry's journal, again after a wait while every worker is busy; false
// once the server stops.
bool ReplayEntry(const std::string& journal, ReplayOutcome* outcome) {
    for (;;) {
        *outcome = Service.replay(journal);
        if (outcome->kind != ReplayOutcome::Busy) return true;
        std::unique_lock<std::mutex> hold(Backfill.lock);
        Backfill.wake.wait_for(hold, std::chrono::seconds(BusyWaitSeconds), [] { return Backfill.stopping; });
        if (Backfill.stopping) return false;
    }
}

// One entry's play learnt and stored, or why it has none said.
void LearnPlay(const std::string& id) {
    std::string journal;
    bool found = false;
    ReplayOutcome outcome;
    if (!Service.store->journal(id, &journal, &found) || !found || !ReplayEntry(journal, &outcome)) return;
    if (outcome.kind != ReplayOutcome::Entry) {
        std::string why = outcome.kind == ReplayOutcome::NoEntry ? "no name is confirmed in it" : outcome.reason;
        std::fprintf(stderr, "marrowdale-scores: the entry %s, stored by an earlier version, has no play by "
                             "today's rules (%s); --hide %s takes it off the table\n",
                     id.c_str(), why.c_str(), id.c_str());
        return;
    }
    std::string hidden;
    if (!Service.store->setPlay(id, outcome.play, &hidden) || hidden.empty()) return;
    std::fprintf(stderr, "marrowdale-scores: the entry %s plays the game of an earlier entry; it is taken off "
                         "the table, its journal kept\n",
                 hidden.c_str());
}

void LearnPlays() {
    std::vector<std::string> ids;
    if (!Service.store->unplayed(&ids)) return;
    for (const std::string& id : ids) {
        if (Stopping()) return;
        LearnPlay(id);
    }
}

}  // namespace

void StartBackfill() { Backfill.thread = std::thread(LearnPlays); }

void StopBackfill() {
    {
        std::lock_guard<std::mutex> hold(Backfill.lock);
        Backfill.stopping = true;
    }
    Backfill.wake.notify_all();
    if (Backfill.thread.joinable()) Backfill.thread.join();
}
