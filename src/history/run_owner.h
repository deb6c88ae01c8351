// Which process records a run. A run is owned while a process writes into it; the owner is
// kept in the history so that another process (a second window, a scheduled --resume) can tell
// a run that is still going from one whose program died.
#pragma once

#include <string>

namespace velmora::history {

// This process as a run's owner: host, boot, pid and the pid's start time, so that a pid the
// system gave to another program after a crash or a reboot is not taken for the owner.
std::string ThisProcessOwner();
// The same for another process of this host.
std::string ProcessOwner(long pid);

// Whether the owner text names a process that still runs: false for an empty text, another
// boot of this host, a gone pid or a pid now started at another time. A process on another
// host is taken as alive: nothing here can tell.
bool OwnerAlive(const std::string& owner);

// This machine's name and the user's login, as a run records who made it.
std::string ThisMachine();
std::string ThisUser();

// The owner's pid and host, for messages: "pid 4711, build-box".
std::string OwnerText(const std::string& owner);

}  // namespace velmora::history
