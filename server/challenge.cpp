// Challenges: start ticks the server draws, so that the seed a game takes as it loads is not
// the player's to pick; each with a token that claims it for one game, open for half an hour.
#include <openssl/rand.h>

#include "server/server.h"

namespace {

constexpr size_t TokenBytes = 16;

}  // namespace

bool IsChallengeToken(const std::string& text) {
    return text.size() == 2 * TokenBytes && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

Drawn DrawChallenge(const ScoreStore* store, int64_t now, std::string* token, uint32_t* tick) {
    unsigned char drawn[TokenBytes + 4];
    if (RAND_bytes(drawn, sizeof drawn) != 1) return Drawn::NoRandom;
    *token = LowerHex(drawn, TokenBytes);
    *tick = 0;
    for (int i = 0; i < 4; ++i) *tick |= static_cast<uint32_t>(drawn[TokenBytes + i]) << (8 * i);
    bool stored = false;
    if (!store->challenge(*token, *tick, now + ChallengeSeconds, now, &stored)) return Drawn::StoreDown;
    return stored ? Drawn::Open : Drawn::Full;
}

std::string ChallengeRefusal(Stored stored) {
    switch (stored) {
        case Stored::ChallengeUnknown: return "The challenge's token is not one this table gave.";
        case Stored::ChallengeExpired:
            return "The challenge's token has expired: a challenge is open for " +
                   std::to_string(ChallengeSeconds / 60) + " minutes.";
        case Stored::ChallengeUsed:
            return "The challenge's token served another game already: a challenge is good for one game.";
        case Stored::ChallengeElsewhere:
            return "The game was not played on the challenge its token names: it starts at another tick.";
        case Stored::Added:
        case Stored::Had: break;
    }
    return {};
}
