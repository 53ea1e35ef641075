// One copy of the game a user: a lock and a socket in the user's runtime folder, so a later
// start finds the copy running and asks it to raise its window.
#pragma once

#include <string>

// True when another process of this user runs a window of className.
bool OtherCopyRunning(const std::u16string& className);
// Publishes this process's window of className for other copies to find.
void PublishInstance(const std::u16string& className);
// Asks the copy running className to raise its window; false if nobody answered.
bool AskOtherCopyToRaise(const std::u16string& className);
// The socket raise requests come in on, for a look whether one waits; -1 when not listening.
int InstanceRequestDescriptor();
// Accepts pending raise requests (non-blocking); the number accepted.
int ServeInstanceRequests();
// Total raise requests this process has served since it published.
int InstanceRaiseRequests();
void WithdrawInstance();
