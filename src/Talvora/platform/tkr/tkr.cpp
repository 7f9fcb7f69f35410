#include "tkr.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

struct TKR_Dir
{
    DIR* handle;
    std::string path;
};

extern "C" {

int TKR_GetCurExePath(char* buffer, int bufferSize)
{
    if (!buffer || bufferSize <= 0) {
        errno = EINVAL;
        return -1;
    }
    char path[TKR_MAX_PATH];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length < 0)
        return -1;
    // readlink does not say whether it truncated; a full buffer may have.
    if (length >= static_cast<ssize_t>(sizeof path) || length >= bufferSize) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(buffer, path, static_cast<size_t>(length));
    buffer[length] = '\0';
    return static_cast<int>(length);
}

int TKR_AccessFile(const char* path)
{
    return access(path, F_OK) == 0 ? 0 : -1;
}

int TKR_MakeDir(const char* path)
{
    // The directories the client makes hold the user's own files (its log).
    return mkdir(path, 0700) == 0 ? 0 : -1;
}

TKR_Dir* TKR_OpenDir(const char* path)
{
    DIR* handle = opendir(path);
    if (!handle)
        return nullptr;
    return new TKR_Dir{handle, path};
}

int TKR_FindFileInDir(TKR_Dir* dir, TKR_FileInfo* info)
{
    if (!dir || !info) {
        errno = EINVAL;
        return -1;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir->handle);
        if (!entry)
            return errno == 0 ? 0 : -1;
        const size_t nameLength = std::strlen(entry->d_name);
        if (nameLength >= sizeof info->name)
            continue;

        std::string fullPath = dir->path;
        if (fullPath.empty() || fullPath.back() != '/')
            fullPath += '/';
        fullPath += entry->d_name;
        struct stat status;
        // An entry removed between readdir and lstat is simply skipped.
        if (lstat(fullPath.c_str(), &status) != 0)
            continue;

        std::memcpy(info->name, entry->d_name, nameLength + 1);
        info->isDirectory = S_ISDIR(status.st_mode) ? 1 : 0;
        info->timeStamp = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
        info->size = static_cast<int64_t>(status.st_size);
        return 1;
    }
}

void TKR_CloseDir(TKR_Dir* dir)
{
    if (!dir)
        return;
    closedir(dir->handle);
    delete dir;
}

int TKR_DeleteFile(const char* path)
{
    return unlink(path) == 0 ? 0 : -1;
}

uint32_t TKR_GetLastError(void)
{
    return static_cast<uint32_t>(errno);
}

} // extern "C"
