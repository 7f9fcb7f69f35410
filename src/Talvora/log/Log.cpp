#include "Log.h"

#include "log/LineText.h"
#include "platform/system/PrivateFiles.h"
#include "tkr.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr char kSeparator = '/';
constexpr char kLogFilePrefix[] = "CPS_";
constexpr std::size_t kOldLogsKept = 9;

// Lock for file. Held around each write and flush of a finished line, and
// while the handle is replaced.
struct LogSink
{
    std::mutex mutex;
    FILE* file = nullptr;
};

LogSink& sink()
{
    static LogSink instance;
    return instance;
}

std::string joinPath(const std::string& directory, const char* name)
{
    std::string path = directory;
    if (path.empty() || path.back() != kSeparator)
        path += kSeparator;
    return path + name;
}

const char* baseName(const char* path)
{
    if (const char* slash = std::strrchr(path, '/'))
        return slash + 1;
    if (const char* backslash = std::strrchr(path, '\\'))
        return backslash + 1;
    return path;
}

struct OldLog
{
    int64_t timeStamp;
    std::string path;
};

// Makes file (null when it could not be opened) the log's file, reporting a
// failure with the last error code.
FILE* adoptLogFile(FILE* file)
{
    const uint32_t error = TKR_GetLastError();
    if (!file) {
        std::printf("(fopen)create log file fail:%u", error);
        std::fflush(stdout);
    }
    LogSink& logSink = sink();
    std::lock_guard<std::mutex> lock(logSink.mutex);
    // Only one file is ever open, even when the log is started twice.
    if (logSink.file)
        std::fclose(logSink.file);
    logSink.file = file;
    return file;
}

} // namespace

std::string logFileName(const talvora::platform::LocalTime& time, unsigned long processId)
{
    char name[96];
    std::snprintf(name, sizeof name, "CPS_%04d%02d%02d-%02d%02d%02d.%lu.txt", time.year, time.month, time.day,
                  time.hour, time.minute, time.second, processId);
    return name;
}

std::string logLinePrefix(const talvora::platform::LocalTime& time, unsigned long threadId,
                          const char* sourceFile, int sourceLine, const char* levelName)
{
    const char levelLetter = levelName && *levelName ? levelName[0] : '?';
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "[ %c%02d%02d %02d:%02d:%02d.%06d %5lu ", levelLetter, time.month,
                  time.day, time.hour, time.minute, time.second, time.millisecond * 1000, threadId);
    std::string text = prefix;
    text += sourceFile ? baseName(sourceFile) : "";
    text += ':';
    text += std::to_string(sourceLine);
    text += ']';
    return text;
}

FILE* openLogFile(const char* path)
{
    // The log holds the user's conferencing code: only the user may read it.
    return adoptLogFile(talvora::platform::openPrivateFile(path));
}

void removeOldLogs(const std::string& directory)
{
    TKR_Dir* dir = TKR_OpenDir(directory.c_str());
    if (!dir)
        return;
    std::vector<OldLog> logs;
    std::vector<std::string> subDirectories;
    TKR_FileInfo info;
    while (TKR_FindFileInDir(dir, &info) == 1) {
        if (info.isDirectory) {
            if (std::strcmp(info.name, ".") != 0 && std::strcmp(info.name, "..") != 0)
                subDirectories.push_back(joinPath(directory, info.name));
        } else if (std::strncmp(info.name, kLogFilePrefix, sizeof kLogFilePrefix - 1) == 0) {
            logs.push_back({info.timeStamp, joinPath(directory, info.name)});
        }
    }
    TKR_CloseDir(dir);

    for (const std::string& subDirectory : subDirectories)
        removeOldLogs(subDirectory);

    // Equal time stamps are ranked by name so that the choice is stable.
    std::sort(logs.begin(), logs.end(), [](const OldLog& a, const OldLog& b) {
        return a.timeStamp != b.timeStamp ? a.timeStamp < b.timeStamp : a.path < b.path;
    });
    const std::size_t excess = logs.size() > kOldLogsKept ? logs.size() - kOldLogsKept : 0;
    for (std::size_t i = 0; i < excess; ++i)
        TKR_DeleteFile(logs[i].path.c_str());
}

int initLogIn(const std::string& logDirectory)
{
    if (TKR_AccessFile(logDirectory.c_str()) != 0)
        TKR_MakeDir(logDirectory.c_str());
    // A directory that is a symbolic link, or that belongs to someone else,
    // is neither pruned nor written.
    if (talvora::platform::makeDirectoryPrivate(logDirectory) != 0) {
        adoptLogFile(nullptr);
    } else {
        removeOldLogs(logDirectory);
        const std::string name =
            logFileName(talvora::platform::currentLocalTime(), talvora::platform::currentProcessId());
        openLogFile(joinPath(logDirectory, name.c_str()).c_str());
    }
    LOG_INFO << "=========Talvora init======";
    return 0;
}

bool isInBuildTree(const std::string& exeDirectory)
{
    std::string directory = exeDirectory;
    while (!directory.empty()) {
        if (TKR_AccessFile(joinPath(directory, "CMakeCache.txt").c_str()) == 0)
            return true;
        directory.erase(directory.find_last_not_of(kSeparator) + 1);
        const std::size_t parent = directory.rfind(kSeparator);
        directory.erase(parent == std::string::npos ? 0 : parent + 1);
    }
    return false;
}

std::string chooseLogDirectory(const std::string& exeDirectory)
{
    const std::string beside = exeDirectory + "Logs" + kSeparator;
    // An unknown location of the program never means the working directory.
    // Logs is looked up without the separator, so that a file of that name
    // counts as taken. An installed copy writes beside itself never, even
    // where it could (run by root): nothing would remove that folder.
    if (!exeDirectory.empty() && isInBuildTree(exeDirectory) &&
        (TKR_AccessFile((exeDirectory + "Logs").c_str()) == 0
             ? talvora::platform::isWritableDirectory(beside)
             : talvora::platform::isWritableDirectory(exeDirectory)))
        return beside;
    const std::string state = talvora::platform::userStateDirectory("Talvora");
    return state.empty() ? beside : state + "Logs" + kSeparator;
}

int initLog()
{
    char exePath[TKR_MAX_PATH] = {};
    std::string directory;
    if (TKR_GetCurExePath(exePath, sizeof exePath) > 0) {
        directory = exePath;
        directory.erase(directory.rfind(kSeparator) + 1);
    }
    return initLogIn(chooseLogDirectory(directory));
}

LogLine::LogLine(const char* sourceFile, int sourceLine, const char* levelName)
{
    m_stream << logLinePrefix(talvora::platform::currentLocalTime(), talvora::platform::currentThreadId(),
                              sourceFile, sourceLine, levelName);
}

LogLine::~LogLine()
{
    // Destructors must not throw: a line that cannot be built for want of
    // memory is dropped instead of ending the process.
    try {
        std::string line = talvora::oneLine(m_stream.str());
        line += '\n';
        LogSink& logSink = sink();
        std::lock_guard<std::mutex> lock(logSink.mutex);
        if (logSink.file) {
            std::fwrite(line.data(), 1, line.size(), logSink.file);
            std::fflush(logSink.file);
        }
    } catch (const std::exception&) {
    }
}
