// Fuzz target: any bytes sent to the score server as HTTP requests, read as its connections
// read them, are refused or answered by its routes with a status, and never crash it. The
// table is an SQLite database in memory; a journal "replays" by a rule of the target's own from
// its first byte, so that every outcome is reached quickly.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/server.h"

namespace {

// Journals starting "MDJOURNL" make an entry named by their next bytes as letters; others are
// refused, found busy, failed or without an entry by their first byte.
ReplayOutcome ReplayByRule(const std::string& journal) {
    if (journal.rfind("MDJOURNL", 0) == 0) {
        std::string name;
        for (size_t i = 8; i < journal.size() && name.size() < 10; ++i) name += static_cast<char>('A' + journal[i] % 26);
        return {ReplayOutcome::Entry, static_cast<int32_t>(journal.size()), name, {}};
    }
    switch (journal[0] % 4) {
        case 0: return {ReplayOutcome::NoEntry, 0, {}, {}};
        case 1: return {ReplayOutcome::Busy, 0, {}, {}};
        case 2: return {ReplayOutcome::Failed, 0, {}, "The replay failed."};
        default: return {ReplayOutcome::Refused, 0, {}, "The journal is not one."};
    }
}

void Ready() {
    static bool ready = [] {
        Service.store = OpenSqliteStore(":memory:");
        if (!Service.store) __builtin_trap();
        Service.replay = ReplayByRule;
        Allowed = {1000000, 1000000};
        Service.site["index.html"] = "<!DOCTYPE html>";
        TrustProxy("192.0.2.0/24");
        return true;
    }();
    (void)ready;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    Ready();
    std::string request(reinterpret_cast<const char*>(bytes), size);
    RequestHead head;
    std::string sentence;
    int status = ReadRequestHead(request, &head, &sentence);
    if (status > 0 && (status < 400 || status > 431 || sentence.empty())) __builtin_trap();
    // Read in two parts, as a slow client sends it, the head reads the same.
    size_t part = size / 2;
    RequestHead first, again;
    if (part > 0 && ReadRequestHead(request.substr(0, part), &first, &sentence) < 0 &&
        (ReadRequestHead(request, &again, &sentence, part) != status ||
         (status == 0 && (again.length != head.length || again.forwarded != head.forwarded)))) {
        __builtin_trap();
    }
    if (status != 0) return 0;
    // The body as the connections would wait for it: what follows the head, no more.
    if (request.size() < head.length + head.bodyLength) return 0;
    std::string client = ClientAddress("192.0.2.1", head.forwardedFor);
    bool closed = false;
    std::string answer = AnswerRequest(head.forwarded + request.substr(head.length, head.bodyLength), client, false, &closed);
    if (answer.compare(0, 9, "HTTP/1.1 ") != 0) __builtin_trap();
    return 0;
}
