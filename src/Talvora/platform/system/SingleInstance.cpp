#include "SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvora::platform {
namespace {

std::string lockFilePath(const char* name)
{
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    struct stat status;
    if (runtimeDir && *runtimeDir && stat(runtimeDir, &status) == 0 && S_ISDIR(status.st_mode) &&
        access(runtimeDir, W_OK) == 0)
        return std::string(runtimeDir) + "/" + name + ".lock";
    return std::string("/tmp/") + name + "-" + std::to_string(getuid()) + ".lock";
}

} // namespace

InstanceLock acquireInstanceLock(const char* name)
{
    const std::string path = lockFilePath(name);
    // O_NOFOLLOW: in /tmp another user could plant a symbolic link here.
    // O_CLOEXEC: a child process must not keep the lock alive after we die.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return InstanceLock::Unavailable;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        close(fd);
        return held ? InstanceLock::HeldElsewhere : InstanceLock::Unavailable;
    }
    // The descriptor stays open for the life of the process: the kernel
    // releases the lock when the process ends, however it ends.
    return InstanceLock::Acquired;
}

} // namespace talvora::platform
