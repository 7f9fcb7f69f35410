#include "log/Log.h"
#include "log/LineText.h"

#include "platform/system/ProcessInfo.h"
#include "tkr.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using talvora::platform::LocalTime;

namespace {

// A fresh directory per test, removed afterwards.
class LogDirTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/talvora-logtest-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        // Detach the sink from a file that is about to vanish.
        openLogFile("/dev/null");
        fs::remove_all(m_dir);
    }

    std::string logDir() const { return (m_dir / "Logs").string() + "/"; }

    fs::path m_dir;
};

std::vector<std::string> readLines(const fs::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<fs::path> filesIn(const fs::path& dir)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    return files;
}

// Files whose names say when they were written: "<prefix><age>", each one
// hour older than the next, created in an order that differs from both the
// name order and the age order.
void makeAgedFiles(const fs::path& dir, const std::string& prefix, int count)
{
    fs::create_directories(dir);
    const auto now = fs::file_time_type::clock::now();
    for (int i = 0; i < count; ++i) {
        const int age = (i * 7) % count;
        const fs::path path = dir / (prefix + std::to_string(100 + age) + ".txt");
        std::ofstream(path) << "old";
        fs::last_write_time(path, now - std::chrono::hours(age + 1));
    }
}

std::set<std::string> namesIn(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

const std::string kTimeAndThread = R"(\d{4} \d{2}:\d{2}:\d{2}\.\d{3}000 [ \d]{4}\d+ )";

} // namespace

TEST(LogLayout, PrefixFieldsArePaddedAsSpecified)
{
    const LocalTime time{2024, 3, 7, 9, 5, 3, 42};
    EXPECT_EQ(logLinePrefix(time, 4321, "/src/Talvora/main.cpp", 82, "INFO"),
              "[ I0307 09:05:03.042000  4321 main.cpp:82]");

    const LocalTime late{2025, 12, 31, 23, 59, 58, 999};
    EXPECT_EQ(logLinePrefix(late, 88, "a.cpp", 7, "WARNING"), "[ W1231 23:59:58.999000    88 a.cpp:7]");
    EXPECT_EQ(logLinePrefix(time, 123456, "a.cpp", 1, "INFO"), "[ I0307 09:05:03.042000 123456 a.cpp:1]");

    const LocalTime midnight{2024, 1, 1, 0, 0, 0, 7};
    EXPECT_EQ(logLinePrefix(midnight, 1, "b.cpp", 100000, "INFO"),
              "[ I0101 00:00:00.007000     1 b.cpp:100000]");
}

TEST(LogLayout, SourceIsTheBaseName)
{
    const LocalTime time{2024, 3, 7, 9, 5, 3, 0};
    const std::string head = "[ I0307 09:05:03.000000     1 ";
    // The last forward slash wins even when a backslash comes after it.
    EXPECT_EQ(logLinePrefix(time, 1, "C:\\work/src\\Talvora/x\\y.cpp", 5, "INFO"), head + "x\\y.cpp:5]");
    EXPECT_EQ(logLinePrefix(time, 1, "C:\\work\\src\\Talvora.cpp", 5, "INFO"), head + "Talvora.cpp:5]");
    EXPECT_EQ(logLinePrefix(time, 1, "Talvora.cpp", 5, "INFO"), head + "Talvora.cpp:5]");
    EXPECT_EQ(logLinePrefix(time, 1, "dir/", 5, "INFO"), head + ":5]");
}

TEST(LogLayout, FileNameCarriesStartTimeAndProcessId)
{
    EXPECT_EQ(logFileName(LocalTime{2024, 3, 7, 9, 5, 3, 999}, 5120), "CPS_20240307-090503.5120.txt");
    EXPECT_EQ(logFileName(LocalTime{2025, 12, 31, 23, 59, 59, 0}, 7), "CPS_20251231-235959.7.txt");
    // Two runs in the same second differ only in the process id.
    EXPECT_NE(logFileName(LocalTime{2024, 3, 7, 9, 5, 3, 1}, 5120),
              logFileName(LocalTime{2024, 3, 7, 9, 5, 3, 1}, 5121));
}

TEST_F(LogDirTest, InitCreatesTheDirectoryAndWritesTheInitLine)
{
    ASSERT_EQ(initLogIn(logDir()), 0);
    const std::vector<fs::path> files = filesIn(logDir());
    ASSERT_EQ(files.size(), 1u);
    const std::regex name(R"(CPS_\d{8}-\d{6}\.)" + std::to_string(getpid()) + R"(\.txt)");
    EXPECT_TRUE(std::regex_match(files[0].filename().string(), name)) << files[0];

    const int line = __LINE__ + 1;
    LOG_WARNING << "count " << 42 << ' ' << -7 << " 张三";
    LOG_INFO << "";

    const std::vector<std::string> lines = readLines(files[0]);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(R"(\[ I)" + kTimeAndThread + R"(Log\.cpp:\d+\]=========Talvora init======)")))
        << lines[0];
    char thread[16];
    std::snprintf(thread, sizeof thread, "%5lu", talvora::platform::currentThreadId());
    EXPECT_TRUE(std::regex_match(
        lines[1], std::regex(R"(\[ W\d{4} \d{2}:\d{2}:\d{2}\.\d{3}000 )" + std::string(thread) +
                             " LogTest\\.cpp:" + std::to_string(line) + R"(\]count 42 -7 张三)")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(\[ I)" + kTimeAndThread + R"(LogTest\.cpp:\d+\])")))
        << lines[2];
}

TEST_F(LogDirTest, ControlCharactersAreEscapedSoAStatementStaysOneLine)
{
    ASSERT_EQ(initLogIn(logDir()), 0);
    // A value that tries to end the line and forge one of its own.
    // C1 controls as UTF-8 (CSI, OSC) and as lone bytes; 三 ends in 0x89,
    // which stays a part of its character.
    static const char kForged[] = "a\nb\r\tc\x01\x1b[31m\x7f\\n 张三\xC2\x9B"
                                  "2J\xC2\x9D"
                                  "0;t\x9B\xC2\xA0\0end"
                                  "\n[ I0101 00:00:00.000000     1 x.cpp:1]forged";
    LOG_INFO << "topic:" << std::string(kForged, sizeof kForged - 1);

    const std::vector<std::string> lines = readLines(filesIn(logDir()).at(0));
    ASSERT_EQ(lines.size(), 2u);
    const std::string expected = R"(topic:a\nb\r\tc\x01\x1B[31m\x7F\n 张三\xC2\x9B2J\xC2\x9D0;t\x9B)"
                                 "\xC2\xA0"
                                 R"(\x00end\n[ I0101 00:00:00.000000     1 x.cpp:1]forged)";
    ASSERT_GE(lines[1].size(), expected.size());
    EXPECT_EQ(lines[1].substr(lines[1].size() - expected.size()), expected) << lines[1];
}

TEST(SingleLine, BreaksBecomeSpacesAndBidiControlsAreDropped)
{
    const struct
    {
        const char* value;
        const char* expected;
    } cases[] = {
        {"周会评审", "周会评审"},
        {"周会\xE2\x80\xA8会议码：1\xE2\x80\xA9x", "周会 会议码：1 x"}, // U+2028, U+2029
        {"a\nb\r\nc\td\x0B\x0C\xC2\x85"
         "e",
         "a b  c d   e"},                               // LF, CR, TAB, VT, FF, NEL
        {"\xE2\x80\xAEgpj.exe\xE2\x80\xAC", "gpj.exe"}, // RLO ... PDF
        {"\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAD\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9x", "x"},
        {"\x1B[31m\x7F\xC2\x9B"
         "2J\xC2\x9D",
         "[31m2J"}, // C0, DEL, CSI, OSC
        {"\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
         "\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA"},
        {"bad\xC2\xFF\x9B", "bad\xC2\xFF\x9B"}, // left to the reader's decoder
    };
    for (const auto& c : cases)
        EXPECT_EQ(talvora::singleLine(c.value), c.expected) << c.value;
}

TEST_F(LogDirTest, InitLogWritesBesideTheExecutable)
{
    char exe[TKR_MAX_PATH];
    ASSERT_GT(TKR_GetCurExePath(exe, sizeof exe), 0);
    const fs::path logs = fs::path(exe).parent_path() / "Logs";
    const std::string ownSuffix = "." + std::to_string(getpid()) + ".txt";

    ASSERT_EQ(initLog(), 0);
    LOG_INFO << "beside the executable";

    std::vector<fs::path> own;
    for (const fs::path& file : filesIn(logs)) {
        const std::string name = file.filename().string();
        if (name.size() > ownSuffix.size() &&
            name.compare(name.size() - ownSuffix.size(), ownSuffix.size(), ownSuffix) == 0)
            own.push_back(file);
    }
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(readLines(own[0]).size(), 2u);
    openLogFile("/dev/null");
    fs::remove(own[0]);
    std::error_code leftInPlaceWhenNotEmpty;
    fs::remove(logs, leftInPlaceWhenNotEmpty);
}

TEST_F(LogDirTest, PruningKeepsNineOldFilesPerDirectory)
{
    const fs::path logs = logDir();
    makeAgedFiles(logs, "CPS_", 12);
    makeAgedFiles(logs / "archive", "CPS_", 15);
    makeAgedFiles(logs / "archive" / "deeper", "CPS_", 3);
    // Very old, but not ours to delete.
    for (const char* name : {"cps_lower.txt", "other.txt", "CPS"}) {
        std::ofstream(logs / name) << "keep";
        fs::last_write_time(logs / name, fs::file_time_type::clock::now() - std::chrono::hours(1000));
    }
    fs::create_directory(logs / "CPS_directory");
    // A link back to the directory must not send the walk round in circles.
    fs::create_directory_symlink(".", logs / "loop");

    ASSERT_EQ(initLogIn(logs.string() + "/"), 0);

    std::set<std::string> expectedTop = {"cps_lower.txt", "other.txt",     "CPS",
                                         "archive",       "CPS_directory", "loop"};
    for (int age = 0; age < 9; ++age)
        expectedTop.insert("CPS_" + std::to_string(100 + age) + ".txt");
    std::set<std::string> top = namesIn(logs);
    int newFiles = 0;
    for (auto it = top.begin(); it != top.end();) {
        if (it->find("." + std::to_string(getpid()) + ".txt") != std::string::npos) {
            ++newFiles;
            it = top.erase(it);
        } else {
            ++it;
        }
    }
    EXPECT_EQ(newFiles, 1);
    EXPECT_EQ(top, expectedTop);

    std::set<std::string> expectedArchive = {"deeper"};
    for (int age = 0; age < 9; ++age)
        expectedArchive.insert("CPS_" + std::to_string(100 + age) + ".txt");
    EXPECT_EQ(namesIn(logs / "archive"), expectedArchive);
    EXPECT_EQ(namesIn(logs / "archive" / "deeper").size(), 3u);
}

TEST_F(LogDirTest, ExactlyNineOldFilesAreAllKept)
{
    const fs::path logs = logDir();
    makeAgedFiles(logs, "CPS_", 9);
    removeOldLogs(logs.string());
    EXPECT_EQ(namesIn(logs).size(), 9u);
    makeAgedFiles(logs, "CPS_x", 1);
    removeOldLogs(logs.string());
    EXPECT_EQ(namesIn(logs).size(), 9u);
    EXPECT_EQ(namesIn(logs).count("CPS_108.txt"), 0u);
}

TEST_F(LogDirTest, ConcurrentLinesNeverInterleave)
{
    ASSERT_EQ(initLogIn(logDir()), 0);
    constexpr int kThreads = 8;
    constexpr int kLinesPerThread = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string payload(300, static_cast<char>('a' + t));
            for (int i = 0; i < kLinesPerThread; ++i)
                LOG_INFO << "thread " << t << " line " << i << ' ' << payload;
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const std::vector<std::string> lines = readLines(filesIn(logDir()).at(0));
    ASSERT_EQ(lines.size(), 1u + kThreads * kLinesPerThread);
    const std::regex layout(R"(\[ I)" + kTimeAndThread +
                            R"(LogTest\.cpp:\d+\]thread (\d) line (\d+) ([a-h]{300}))");
    std::vector<int> nextLine(kThreads, 0);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, layout)) << lines[i];
        const int t = std::stoi(match[1]);
        // Each thread's lines keep their order and its payload stays whole.
        EXPECT_EQ(std::stoi(match[2]), nextLine[t]++);
        EXPECT_EQ(match[3].str(), std::string(300, static_cast<char>('a' + t)));
    }
}

TEST_F(LogDirTest, UnopenableFileIsReportedAndLoggingGoesOn)
{
    ASSERT_EQ(initLogIn(logDir()), 0);
    const fs::path earlier = filesIn(logDir()).at(0);

    const std::string unreachable = (m_dir / "missing" / "Logs").string() + "/";
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(initLogIn(unreachable), 0);
    LOG_WARNING << "dropped";
    const std::string out = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(out, "(fopen)create log file fail:" + std::to_string(ENOENT));
    EXPECT_FALSE(fs::exists(m_dir / "missing"));
    // The earlier file is left as it was; nothing goes anywhere now.
    EXPECT_EQ(readLines(earlier).size(), 1u);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(openLogFile((m_dir / "missing" / "x").c_str()), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "(fopen)create log file fail:" + std::to_string(ENOENT));
}

namespace {

mode_t modeOf(const fs::path& path)
{
    struct stat status;
    return lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Sets an environment variable for one scope.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace

TEST_F(LogDirTest, LogGoesToTheUserStateDirectoryUnlessBesideIsAWritableBuildTree)
{
    const fs::path state = m_dir / "state";
    const ScopedEnv stateHome("XDG_STATE_HOME", state.string());
    const std::string fallback = (state / "Talvora" / "Logs").string() + "/";

    // Writable, outside a build tree: an installed copy run by root.
    const fs::path installed = m_dir / "usr" / "bin";
    fs::create_directories(installed);
    EXPECT_EQ(chooseLogDirectory(installed.string() + "/"), fallback);
    EXPECT_FALSE(fs::exists(installed / "Logs"));

    // In a build tree, however deep.
    const fs::path writable = m_dir / "build" / "src" / "Talvora";
    fs::create_directories(writable);
    std::ofstream(m_dir / "build" / "CMakeCache.txt") << "# CMake";
    EXPECT_EQ(chooseLogDirectory(writable.string() + "/"), (writable / "Logs").string() + "/");

    // Not writable: missing, or Logs taken by something that is no directory.
    EXPECT_EQ(chooseLogDirectory((m_dir / "missing").string() + "/"), fallback);
    std::ofstream(writable / "Logs") << "not a directory";
    EXPECT_EQ(chooseLogDirectory(writable.string() + "/"), fallback);
    EXPECT_EQ(modeOf(state / "Talvora"), 0700u);

    // Without XDG_STATE_HOME (or with a relative one) the home's .local/state.
    const ScopedEnv home("HOME", (m_dir / "home").string());
    const ScopedEnv relative("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(chooseLogDirectory(""),
              (m_dir / "home" / ".local" / "state" / "Talvora" / "Logs").string() + "/");
    EXPECT_EQ(modeOf(m_dir / "home" / ".local"), 0700u);

    ASSERT_EQ(initLogIn(fallback), 0);
    EXPECT_EQ(filesIn(fallback).size(), 1u);
}

TEST_F(LogDirTest, DirectoryAndFileAreTheUsersAloneWhateverTheUmask)
{
    struct RestoreUmask
    {
        mode_t mask;
        ~RestoreUmask() { umask(mask); }
    } restore{umask(0)};
    ASSERT_EQ(initLogIn(logDir()), 0);
    EXPECT_EQ(modeOf(logDir()), 0700u);
    EXPECT_EQ(modeOf(filesIn(logDir()).at(0)), 0600u);

    // A directory left by an earlier version is narrowed.
    const fs::path older = m_dir / "older";
    fs::create_directory(older);
    fs::permissions(older, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    ASSERT_EQ(initLogIn(older.string() + "/"), 0);
    EXPECT_EQ(modeOf(older), 0700u);
    EXPECT_EQ(modeOf(filesIn(older).at(0)), 0600u);
}

TEST_F(LogDirTest, SymbolicLinksAreNeverFollowed)
{
    const std::string kOpenFailure = "(fopen)create log file fail:";
    // Logs as a link to a directory full of old logs: nothing is pruned,
    // nothing created, and the failure is reported.
    const fs::path target = m_dir / "elsewhere";
    makeAgedFiles(target, "CPS_", 12);
    const mode_t targetMode = modeOf(target);
    fs::create_directory_symlink(target, m_dir / "Logs");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(initLogIn(logDir()), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout().rfind(kOpenFailure, 0), 0u);
    EXPECT_EQ(namesIn(target).size(), 12u);
    EXPECT_EQ(modeOf(target), targetMode);

    // A link in place of the file itself.
    const fs::path victim = m_dir / "victim.txt";
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, m_dir / "CPS_link.txt");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(openLogFile((m_dir / "CPS_link.txt").c_str()), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kOpenFailure + std::to_string(ELOOP));
    EXPECT_EQ(readLines(victim), std::vector<std::string>{"keep"});
}
