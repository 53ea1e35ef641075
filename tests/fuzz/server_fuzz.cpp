// Fuzz target: any bytes sent to the score server as HTTP requests are answered with a status
// and never crash it. The table is an SQLite database in memory with one challenge open for the
// whole run; a journal "replays" by a rule of the target's own from its first byte, so that
// every outcome is reached quickly.
#include <httplib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "server/server.h"

namespace {

// Hands the request bytes to the server; what it answers goes nowhere.
class BytesStream : public httplib::Stream {
public:
    BytesStream(const uint8_t* bytes, size_t size) : at_(bytes), end_(bytes + size) {}
    bool is_readable() const override { return at_ < end_; }
    bool is_writable() const override { return true; }
    ssize_t read(char* into, size_t size) override {
        size_t taken = std::min(size, static_cast<size_t>(end_ - at_));
        if (taken > 0) std::memcpy(into, at_, taken);
        at_ += taken;
        return static_cast<ssize_t>(taken);
    }
    ssize_t write(const char*, size_t size) override { return static_cast<ssize_t>(size); }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "192.0.2.1";
        port = 4242;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 8080;
    }
    socket_t socket() const override { return 0; }

private:
    const uint8_t* at_;
    const uint8_t* end_;
};

class FuzzedServer : public httplib::Server {
public:
    bool Answer(httplib::Stream& stream) {
        bool closed = false;
        return process_request(stream, true, closed, nullptr);
    }
};

// The challenge open for the whole run: its token, and its tick, the seed of every journal of
// that many bytes.
constexpr char OpenToken[] = "0123456789abcdef0123456789abcdef";
constexpr uint32_t OpenTick = 48;

// Journals starting "MDJOURNL" make an entry named by their next bytes as letters, seeded with
// their size, whose play is their name's (so that journals of one name play one game); others
// are refused, found busy, failed or without an entry by their first byte.
ReplayOutcome ReplayByRule(const std::string& journal) {
    if (journal.rfind("MDJOURNL", 0) == 0) {
        std::string name;
        for (size_t i = 8; i < journal.size() && name.size() < 10; ++i) name += static_cast<char>('A' + journal[i] % 26);
        return {ReplayOutcome::Entry, static_cast<int32_t>(journal.size()), name, {}, Sha256Hex(name),
                static_cast<uint32_t>(journal.size())};
    }
    switch (journal[0] % 4) {
        case 0: return {ReplayOutcome::NoEntry, 0, {}, {}};
        case 1: return {ReplayOutcome::Busy, 0, {}, {}};
        case 2: return {ReplayOutcome::Failed, 0, {}, "The replay failed."};
        default: return {ReplayOutcome::Refused, 0, {}, "The journal is not one."};
    }
}

FuzzedServer* Ready() {
    static FuzzedServer* server = [] {
        Service.store = OpenSqliteStore(":memory:", false);
        bool stored = false;
        if (!Service.store || !Service.store->challenge(OpenToken, OpenTick, INT64_MAX, 0, &stored) || !stored) {
            __builtin_trap();
        }
        Service.replay = ReplayByRule;
        Service.submissionsPerMinute = 1000000;
        Service.site["index.html"] = "<!DOCTYPE html>";
        auto* made = new FuzzedServer;
        AddRoutes(made);
        return made;
    }();
    return server;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedServer* server = Ready();
    // A copy of exactly size bytes, so the sanitizer sees any read past the end.
    std::vector<uint8_t> copy(bytes, bytes + size);
    BytesStream stream(copy.data(), copy.size());
    server->Answer(stream);
    return 0;
}
