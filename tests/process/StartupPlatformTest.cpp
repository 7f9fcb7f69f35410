// The platform services that main() relies on before anything else runs:
// the single-instance lock and the desktop set-up.

#include "platform/system/Desktop.h"
#include "platform/system/SingleInstance.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFont>
#include <QFontInfo>
#include <QPushButton>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using talvora::platform::acquireInstanceLock;
using talvora::platform::InstanceLock;

namespace {

// Child processes report what acquireInstanceLock said through their exit
// status; a holder reports "acquired" on a pipe and then waits to be killed.
int lockInChild(const char* name)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(static_cast<int>(acquireInstanceLock(name)));
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Holder
{
    pid_t pid = -1;
    pid_t grandchild = -1; // a program it started, still running after it dies
};

Holder startHolder(const char* name, bool startProgram)
{
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    Holder holder;
    holder.pid = fork();
    if (holder.pid == 0) {
        close(ready[0]);
        const InstanceLock result = acquireInstanceLock(name);
        pid_t grandchild = 0;
        if (startProgram) {
            grandchild = fork();
            if (grandchild == 0) {
                execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
                _exit(127);
            }
        }
        const int message[2] = {static_cast<int>(result), static_cast<int>(grandchild)};
        if (write(ready[1], message, sizeof message) != sizeof message)
            _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    int message[2] = {-1, -1};
    EXPECT_EQ(read(ready[0], message, sizeof message), static_cast<ssize_t>(sizeof message));
    close(ready[0]);
    EXPECT_EQ(message[0], static_cast<int>(InstanceLock::Acquired));
    holder.grandchild = message[1];
    return holder;
}

void killAndReap(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

class InstanceLockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/talvora-locktest-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        const char* previous = std::getenv("XDG_RUNTIME_DIR");
        m_previousRuntimeDir = previous ? previous : "";
        m_hadRuntimeDir = previous != nullptr;
        setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
    }
    void TearDown() override
    {
        if (m_hadRuntimeDir)
            setenv("XDG_RUNTIME_DIR", m_previousRuntimeDir.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        fs::remove_all(m_dir);
    }

    fs::path m_dir;
    std::string m_previousRuntimeDir;
    bool m_hadRuntimeDir = false;
};

} // namespace

TEST_F(InstanceLockTest, SecondProcessIsRefusedUntilTheHolderIsKilled)
{
    const Holder holder = startHolder("Talvora", false);
    EXPECT_TRUE(fs::exists(m_dir / "Talvora.lock"));
    EXPECT_EQ(lockInChild("Talvora"), static_cast<int>(InstanceLock::HeldElsewhere));
    EXPECT_EQ(lockInChild("Talvora"), static_cast<int>(InstanceLock::HeldElsewhere));
    // Another name is another lock.
    EXPECT_EQ(lockInChild("Other"), static_cast<int>(InstanceLock::Acquired));

    killAndReap(holder.pid);
    EXPECT_EQ(lockInChild("Talvora"), static_cast<int>(InstanceLock::Acquired));
}

// Until its exec the started program still shares the lock's descriptor;
// only the program itself, once running, must not hold it.
bool waitUntilRunning(pid_t pid, const std::string& program)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::string name;
        if (std::getline(comm, name) && name == program)
            return true;
        usleep(10000);
    }
    return false;
}

TEST_F(InstanceLockTest, ProgramsStartedByTheHolderDoNotKeepTheLock)
{
    const Holder holder = startHolder("Talvora", true);
    ASSERT_GT(holder.grandchild, 0);
    ASSERT_TRUE(waitUntilRunning(holder.grandchild, "sleep"));
    killAndReap(holder.pid);
    EXPECT_EQ(lockInChild("Talvora"), static_cast<int>(InstanceLock::Acquired));
    kill(holder.grandchild, SIGKILL);
}

TEST_F(InstanceLockTest, WithoutRuntimeDirectoryTheLockIsPerUserInTmp)
{
    unsetenv("XDG_RUNTIME_DIR");
    const std::string name = "TalvoraLockTest" + std::to_string(getpid());
    const fs::path expected = "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
    const Holder holder = startHolder(name.c_str(), false);
    EXPECT_TRUE(fs::exists(expected));
    EXPECT_EQ(lockInChild(name.c_str()), static_cast<int>(InstanceLock::HeldElsewhere));
    killAndReap(holder.pid);
    fs::remove(expected);
}

TEST_F(InstanceLockTest, PlantedSymbolicLinkIsNotFollowed)
{
    const fs::path victim = m_dir / "victim";
    fs::create_symlink(victim, m_dir / "Talvora.lock");
    EXPECT_EQ(lockInChild("Talvora"), static_cast<int>(InstanceLock::Unavailable));
    EXPECT_FALSE(fs::exists(victim));
}

TEST(Desktop, StyleSheetFamiliesAndStandardButtonsAreChinese)
{
    int argc = 1;
    char name[] = "startup_platform_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    talvora::platform::setUpDesktop();

    for (const char* family : {"SourceHanSansCN-Regular", "SourceHanSansCN-Medium", "SourceHanSansCN-Normal",
                               "PingFangSC-Regular", "MicrosoftYaHei"}) {
        const QFont font(QString::fromLatin1(family));
        // What the font database resolves the name to, not just the table entry.
        EXPECT_EQ(QFontInfo(font).family().toStdString(), "Noto Sans CJK SC") << family;
    }
    EXPECT_EQ(QFontInfo(QApplication::font()).family().toStdString(), "Noto Sans CJK SC");

    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text().toStdString(), "确定");
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().toStdString(), "取消");
}

TEST(Desktop, NoOpenGlStackUnlessTheEnvironmentChoosesOne)
{
    for (const char* given : {"", "glx", "xcb_egl"}) {
        qputenv("QT_XCB_GL_INTEGRATION", given);
        talvora::platform::prepareDesktop();
        EXPECT_EQ(qgetenv("QT_XCB_GL_INTEGRATION").toStdString(), *given ? given : "none") << given;
    }
    qunsetenv("QT_XCB_GL_INTEGRATION");
    talvora::platform::prepareDesktop();
    EXPECT_EQ(qgetenv("QT_XCB_GL_INTEGRATION").toStdString(), "none");
}
