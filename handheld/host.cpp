// The host now serving the handheld's interfaces, and the one that serves while none runs.
#include "handheld/system.h"

namespace {

// Plain POSIX calls only: no window, no events, real time.
constexpr HostInterface NoHost{.kind = HostKind::None};

const HostInterface* Active = &NoHost;

}  // namespace

const HostInterface& ActiveHost() { return *Active; }

// A host's start (host) and end (null): the one that serves from now on.
void SwitchHost(const HostInterface* host) { Active = host ? host : &NoHost; }
