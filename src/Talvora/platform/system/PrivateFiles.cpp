#include "PrivateFiles.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvora::platform {
namespace {

constexpr mode_t kPrivateDirectoryMode = 0700;
constexpr mode_t kPrivateFileMode = 0600;

bool isAbsolute(const char* path)
{
    return path && path[0] == '/';
}

// A trailing "/" makes the kernel resolve a symbolic link even under
// O_NOFOLLOW, so it is cut before such an open.
std::string withoutTrailingSeparators(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string homeDirectory()
{
    const char* home = std::getenv("HOME");
    if (isAbsolute(home))
        return home;
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        isAbsolute(found->pw_dir))
        return found->pw_dir;
    return std::string();
}

// Creates every missing level of path with mode 0700; levels that exist are
// left as they are.
bool makeDirectories(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string level = path.substr(0, slash);
        if (mkdir(level.c_str(), kPrivateDirectoryMode) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

bool isWritableDirectory(const std::string& path)
{
    struct stat status;
    return !path.empty() && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           access(path.c_str(), W_OK | X_OK) == 0;
}

std::string userStateDirectory(const std::string& application)
{
    std::string base;
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    if (isAbsolute(stateHome)) {
        base = stateHome;
    } else {
        const std::string home = homeDirectory();
        if (home.empty())
            return std::string();
        base = withoutTrailingSeparators(home) + "/.local/state";
    }
    const std::string directory = withoutTrailingSeparators(base) + "/" + application;
    return makeDirectories(directory) ? directory + "/" : std::string();
}

int makeDirectoryPrivate(const std::string& path)
{
    const int fd =
        open(withoutTrailingSeparators(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat status;
    int result = fstat(fd, &status);
    if (result == 0 && status.st_uid != geteuid()) {
        errno = EPERM;
        result = -1;
    }
    if (result == 0 && (status.st_mode & 07777) != kPrivateDirectoryMode)
        result = fchmod(fd, kPrivateDirectoryMode);
    const int savedErrno = errno;
    close(fd);
    errno = savedErrno;
    return result == 0 ? 0 : -1;
}

FILE* openPrivateFile(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                               : withoutTrailingSeparators(path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        errno = EISDIR;
        return nullptr;
    }
    const int directoryFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (directoryFd < 0)
        return nullptr;
    const int fd = openat(directoryFd, name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                          kPrivateFileMode);
    int savedErrno = errno;
    close(directoryFd);
    if (fd < 0) {
        errno = savedErrno;
        return nullptr;
    }
    // A file left by an earlier run may carry wider rights; device files such
    // as /dev/null are not ours to change.
    struct stat status;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 07777) != kPrivateFileMode)
        fchmod(fd, kPrivateFileMode);
    FILE* file = fdopen(fd, "w+");
    if (!file) {
        savedErrno = errno;
        close(fd);
        errno = savedErrno;
    }
    return file;
}

} // namespace talvora::platform
