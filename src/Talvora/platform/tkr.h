#pragma once
// The maker's portable runtime: the few file-system services the client uses
// (the executable's location and the log directory). Implemented over POSIX
// in tkr/. Paths are NUL-terminated UTF-8 with the native separator.

#include <cstdint>

extern "C" {

// Maximum length of a path handled by these operations, NUL included.
#define TKR_MAX_PATH 4096

typedef struct TKR_Dir TKR_Dir;

// One entry of a directory listing.
typedef struct TKR_FileInfo
{
    char name[256];    // entry name without directory, NUL-terminated
    int isDirectory;   // non-zero for a real directory (symbolic links are not followed)
    int64_t timeStamp; // last modification, nanoseconds since the epoch
    int64_t size;      // bytes
} TKR_FileInfo;

// Writes the full path of the running executable into buffer. Returns its
// length, or -1 when it cannot be read or does not fit (buffer untouched).
int TKR_GetCurExePath(char* buffer, int bufferSize);

// 0 when path exists, -1 otherwise.
int TKR_AccessFile(const char* path);

// Creates one directory level. 0 on success, -1 on failure (also when it exists).
int TKR_MakeDir(const char* path);

// Starts a listing of path; null on failure. Close it with TKR_CloseDir.
TKR_Dir* TKR_OpenDir(const char* path);

// Fills info with the next entry ("." and ".." included). 1 when an entry
// was found, 0 at the end of the listing, -1 on failure.
int TKR_FindFileInDir(TKR_Dir* dir, TKR_FileInfo* info);

void TKR_CloseDir(TKR_Dir* dir);

// Removes a file (not a directory). 0 on success, -1 on failure.
int TKR_DeleteFile(const char* path);

// The calling thread's last system error code (errno after a failed call of
// this library or of the C library).
uint32_t TKR_GetLastError(void);

} // extern "C"
