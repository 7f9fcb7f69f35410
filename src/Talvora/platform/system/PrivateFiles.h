#pragma once
// Where the client may keep files of its own (its log) and how they are made:
// only the user who runs it can read them, and no symbolic link planted in
// their place is ever followed. Paths are UTF-8 with "/" separators.

#include <cstdio>
#include <string>

namespace talvora::platform {

// True when this process may add entries to the directory at path.
bool isWritableDirectory(const std::string& path);

// The user's directory for what an application keeps between runs, ending in
// a separator: "$XDG_STATE_HOME/<application>/", or
// "~/.local/state/<application>/" when XDG_STATE_HOME is not an absolute
// path. Missing levels are created with mode 0700. Empty when the user has no
// home directory or the directory cannot be made.
std::string userStateDirectory(const std::string& application);

// Makes the existing directory at path private to this user (mode 0700).
// Refuses a symbolic link, anything but a directory, and a directory of
// another user: -1 with errno set. 0 on success.
int makeDirectoryPrivate(const std::string& path);

// Opens path for reading and writing as an empty file that only this user can
// read (mode 0600): created, or truncated when it exists. Neither the file
// nor its directory may be a symbolic link. Null with errno set on failure.
FILE* openPrivateFile(const std::string& path);

} // namespace talvora::platform
