#pragma once
// The client's log: one plain-text file per run in Logs/ beside the
// executable when it runs from a build tree, otherwise in the user's state
// directory (an installed copy, whoever runs it). Only the user can read it.
// Any thread may log; a statement is written as one whole line when it ends:
//
//     LOG_INFO << "meeting " << meetingNumber << " started";
//
// Statements made before initLog() (or after the file failed to open) are
// dropped. Control characters in what a statement streams are written
// escaped (LineText.h), so a line break inside a value never splits a line.

#include "platform/system/ProcessInfo.h"

#include <cstdio>
#include <sstream>
#include <string>

// Prunes the old logs, opens this run's file and writes the init line.
// Returns 0; a file that cannot be opened is reported on standard output and
// leaves the log silent, it never stops the start.
int initLog();

// Same as initLog() for a log directory chosen by the caller (a path ending
// in a separator). The directory is made private to the user (mode 0700); a
// symbolic link or a directory of another user is refused like a file that
// cannot be opened.
int initLogIn(const std::string& logDirectory);

// The log directory of an executable in exeDirectory (ending in a separator):
// its Logs/ when the executable lies in a build tree and Logs/ can be
// written there, otherwise Logs/ in the user's state directory for Talvora
// (~/.local/state/Talvora/Logs/ by default).
std::string chooseLogDirectory(const std::string& exeDirectory);

// Whether exeDirectory or a directory above it holds CMake's cache
// (CMakeCache.txt): a build tree, which an installed copy never lies in.
bool isInBuildTree(const std::string& exeDirectory);

// Opens path like mode "w+" as the log's file and returns the handle (null on
// failure, in which case later lines are dropped). The file is created with
// mode 0600 and never through a symbolic link.
FILE* openLogFile(const char* path);

// Keeps at most 9 files whose names begin with "CPS_" in directory and in
// each of its sub-directories (every directory counted on its own); older
// ones are deleted first. Other entries are left alone.
void removeOldLogs(const std::string& directory);

// "CPS_YYYYMMDD-hhmmss.<pid>.txt"
std::string logFileName(const talvora::platform::LocalTime& time, unsigned long processId);

// The line prefix, e.g. "[ I0307 09:05:03.042000  4321 main.cpp:82]".
std::string logLinePrefix(const talvora::platform::LocalTime& time, unsigned long threadId,
                          const char* sourceFile, int sourceLine, const char* levelName);

// One logging statement. The prefix is built (and the clock read) when the
// statement starts; the line is written when the temporary is destroyed.
class LogLine
{
public:
    LogLine(const char* sourceFile, int sourceLine, const char* levelName);
    ~LogLine();

    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    std::ostream& stream() { return m_stream; }

private:
    std::ostringstream m_stream;
};

#define LOG_INFO LogLine(__FILE__, __LINE__, "INFO").stream()
#define LOG_WARNING LogLine(__FILE__, __LINE__, "WARNING").stream()
