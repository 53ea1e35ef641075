// What each address may ask of the table: games a minute and seconds of replay a minute, the
// journals already refused (remembered for a day), and which address a request counts for
// when it came through a trusted proxy.
#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "handheld/standin.h"
#include "server/server.h"

namespace {

using Clock = std::chrono::steady_clock;

// An allowance's record is cleared of full buckets beyond this many addresses.
constexpr size_t MostTrackedAddresses = 100000;
constexpr auto RefusalRemembered = std::chrono::hours(24);
constexpr size_t MostRememberedRefusals = 100000;

struct Bucket {
    double left;
    Clock::time_point filled;
};

// Per address, a bucket that fills at perMinute a minute up to perMinute.
struct Allowance {
    std::mutex lock;
    std::unordered_map<std::string, Bucket> buckets;
};

Allowance Submissions, ReplayTime;

// The bucket of address, filled up to now (the caller holds the lock); full buckets of others
// are forgotten when too many addresses are tracked.
Bucket& FilledBucket(Allowance& allowance, int perMinute, const std::string& address) {
    Clock::time_point now = Clock::now();
    auto refill = [&](Bucket& bucket) {
        double seconds = std::chrono::duration<double>(now - bucket.filled).count();
        bucket.left = std::min<double>(perMinute, bucket.left + seconds * perMinute / 60.0);
        bucket.filled = now;
    };
    if (allowance.buckets.size() > MostTrackedAddresses) {
        for (auto item = allowance.buckets.begin(); item != allowance.buckets.end();) {
            refill(item->second);
            item = item->second.left >= perMinute ? allowance.buckets.erase(item) : std::next(item);
        }
    }
    auto [slot, fresh] = allowance.buckets.try_emplace(AddressKey(address), Bucket{static_cast<double>(perMinute), now});
    if (!fresh) refill(slot->second);
    return slot->second;
}

// Whether address's bucket holds more than least, taking take from it if so; else the whole
// seconds until it will.
bool Draw(Allowance& allowance, int perMinute, const std::string& address, double least, double take,
          int* waitSeconds) {
    if (perMinute <= 0) return true;
    std::lock_guard<std::mutex> hold(allowance.lock);
    Bucket& bucket = FilledBucket(allowance, perMinute, address);
    if (bucket.left > least) {
        bucket.left -= take;
        return true;
    }
    *waitSeconds = static_cast<int>((least - bucket.left) * 60.0 / perMinute) + 1;
    return false;
}

// ---- Refused journals, by their ids ---------------------------------------------------------

struct RefusalRecord {
    std::mutex lock;
    std::unordered_map<std::string, std::string> reasons;
    std::deque<std::pair<Clock::time_point, std::string>> order;  // oldest first
};

RefusalRecord Refusals;

// Forgets the refusals older than a day, and the oldest beyond the most kept (lock held).
void ForgetOldRefusals(Clock::time_point now) {
    while (!Refusals.order.empty() && (now - Refusals.order.front().first > RefusalRemembered ||
                                       Refusals.order.size() > MostRememberedRefusals)) {
        Refusals.reasons.erase(Refusals.order.front().second);
        Refusals.order.pop_front();
    }
}

// ---- Trusted proxies -------------------------------------------------------------------------

struct Network {
    int family;
    unsigned char bytes[16];
    int prefix;
};

std::vector<Network> TrustedProxies;

// An address as its family and bytes, an IPv4 address mapped into IPv6 read as IPv4.
bool ReadAddress(const std::string& text, int* family, unsigned char bytes[16]) {
    if (inet_pton(AF_INET, text.c_str(), bytes) == 1) {
        *family = AF_INET;
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), bytes) != 1) return false;
    static const unsigned char Mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    *family = AF_INET6;
    if (std::memcmp(bytes, Mapped, sizeof Mapped) == 0) {
        std::memmove(bytes, bytes + 12, 4);
        *family = AF_INET;
    }
    return true;
}

bool Within(const Network& network, int family, const unsigned char bytes[16]) {
    if (family != network.family) return false;
    int whole = network.prefix / 8, bits = network.prefix % 8;
    if (std::memcmp(bytes, network.bytes, static_cast<size_t>(whole)) != 0) return false;
    unsigned char mask = static_cast<unsigned char>(0xff00 >> bits);
    return bits == 0 || (bytes[whole] & mask) == (network.bytes[whole] & mask);
}

bool FromTrustedProxy(const std::string& address) {
    int family = 0;
    unsigned char bytes[16];
    if (!ReadAddress(address, &family, bytes)) return false;
    return std::any_of(TrustedProxies.begin(), TrustedProxies.end(),
                       [&](const Network& network) { return Within(network, family, bytes); });
}

}  // namespace

AllowanceSettings Allowed;

std::string AddressKey(const std::string& address) {
    int family = 0;
    unsigned char bytes[16];
    if (!ReadAddress(address, &family, bytes)) return address;
    char text[INET6_ADDRSTRLEN];
    if (family == AF_INET) return inet_ntop(AF_INET, bytes, text, sizeof text);
    // One IPv6 network (a /64) is one home's, however many addresses it uses.
    std::memset(bytes + 8, 0, 8);
    return std::string(inet_ntop(AF_INET6, bytes, text, sizeof text)) + "/64";
}

bool TakeSubmission(const std::string& address, int* waitSeconds) {
    return Draw(Submissions, Allowed.games, address, 1 - 1e-9, 1, waitSeconds);
}

bool ReplayTimeLeft(const std::string& address, int* waitSeconds) {
    return Draw(ReplayTime, Allowed.replaySeconds, address, 0, 0, waitSeconds);
}

void SpendReplayTime(const std::string& address, double seconds) {
    int wait = 0;
    Draw(ReplayTime, Allowed.replaySeconds, address, -1e300, seconds, &wait);
}

bool RememberedRefusal(const std::string& id, std::string* reason) {
    std::lock_guard<std::mutex> hold(Refusals.lock);
    ForgetOldRefusals(Clock::now());
    auto found = Refusals.reasons.find(id);
    if (found == Refusals.reasons.end()) return false;
    *reason = found->second;
    ++Metrics.remembered;
    return true;
}

void RememberRefusal(const std::string& id, const std::string& reason) {
    std::lock_guard<std::mutex> hold(Refusals.lock);
    Clock::time_point now = Clock::now();
    if (!Refusals.reasons.emplace(id, reason).second) return;
    Refusals.order.emplace_back(now, id);
    ForgetOldRefusals(now);
}

bool TrustProxy(const std::string& cidr) {
    size_t slash = cidr.find('/');
    Network network{};
    if (!ReadAddress(cidr.substr(0, slash), &network.family, network.bytes)) return false;
    int largest = network.family == AF_INET ? 32 : 128;
    network.prefix = largest;
    if (slash != std::string::npos && !ParseWholeNumber(cidr.c_str() + slash + 1, 0, largest, &network.prefix)) {
        return false;
    }
    TrustedProxies.push_back(network);
    return true;
}

bool TrustedProxy(const std::string& address) { return !TrustedProxies.empty() && FromTrustedProxy(address); }

std::string ClientAddress(const std::string& peer, const std::vector<std::string>& forwardedFor) {
    if (!TrustedProxy(peer)) return peer;
    // From the right, each hop a trusted proxy added, up to the first hop that is no proxy of
    // ours: whatever lies left of it, its sender wrote.
    std::string client = peer;
    for (auto hop = forwardedFor.rbegin(); hop != forwardedFor.rend(); ++hop) {
        int family = 0;
        unsigned char bytes[16];
        if (!ReadAddress(*hop, &family, bytes)) break;
        client = *hop;
        if (!FromTrustedProxy(client)) break;
    }
    return client;
}
