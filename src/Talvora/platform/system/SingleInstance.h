#pragma once
// The one-instance-per-user rule: a named lock that lives exactly as long as
// the process holding it, crash or SIGKILL included.

namespace talvora::platform {

enum class InstanceLock
{
    Acquired,      // this process is the only one; the lock is held until it ends
    HeldElsewhere, // another running process holds the lock
    Unavailable,   // the lock file could not be opened; nothing is known
};

// Takes the lock called name (an flock on "<name>.lock" in $XDG_RUNTIME_DIR,
// or on "/tmp/<name>-<uid>.lock" without one). Call it once per process.
InstanceLock acquireInstanceLock(const char* name);

} // namespace talvora::platform
