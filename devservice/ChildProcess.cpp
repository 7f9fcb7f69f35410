#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace devservice {
namespace {

constexpr auto kStopGrace = std::chrono::seconds(5);
constexpr auto kFirstBackoff = std::chrono::seconds(1);
constexpr auto kLongestBackoff = std::chrono::seconds(30);
// A child that ran this long was healthy; its next failure starts the
// back-off afresh.
constexpr auto kHealthyRun = std::chrono::seconds(60);

std::string describeStatus(int status)
{
    if (WIFEXITED(status))
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("ended by signal ") + std::to_string(WTERMSIG(status));
    return "ended";
}

} // namespace

ChildProcess::ChildProcess(std::string name, std::vector<std::string> argv, std::string logFile, Log log)
    : m_name(std::move(name)), m_argv(std::move(argv)), m_logFile(std::move(logFile)), m_log(std::move(log))
{
}

ChildProcess::~ChildProcess()
{
    stop();
}

pid_t ChildProcess::pid() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pid;
}

pid_t ChildProcess::spawn()
{
    std::vector<char*> argv;
    for (std::string& arg : m_argv)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int logFd = ::open(m_logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (logFd < 0)
        return -1;
    const pid_t parent = ::getpid();

    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        // The service blocks its stop signals and ignores SIGPIPE; the child
        // must not inherit either.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        // A group of its own: a Ctrl-C at the terminal reaches the service,
        // which then stops the child in order.
        ::setpgid(0, 0);
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0)
            ::dup2(devNull, 0);
        ::dup2(logFd, 1);
        ::dup2(logFd, 2);
        ::syscall(SYS_close_range, 3U, ~0U, 0U);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(logFd);
    return child;
}

void ChildProcess::watch()
{
    auto backoff = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstBackoff);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bStopping) {
        const pid_t child = spawn();
        const auto started = std::chrono::steady_clock::now();
        if (child > 0) {
            m_pid = child;
            m_changed.notify_all();
            lock.unlock();
            m_log(m_name + " (pid " + std::to_string(child) + ") started, log " + m_logFile);
            // Waits without reaping, so that stop() never signals a
            // recycled pid.
            siginfo_t info{};
            while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) != 0 &&
                   errno == EINTR) {
            }
            lock.lock();
            int status = 0;
            ::waitpid(child, &status, 0);
            m_pid = 0;
            m_changed.notify_all();
            if (m_bStopping)
                break;
            if (std::chrono::steady_clock::now() - started >= kHealthyRun)
                backoff = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstBackoff);
            m_log(m_name + " (pid " + std::to_string(child) + ") " + describeStatus(status) +
                  "; starting it again in " + std::to_string(backoff.count() / 1000.0).substr(0, 4) + " s");
        } else {
            m_log(m_name + ": cannot start " + m_argv.front() + ": " + std::strerror(errno));
        }
        m_changed.wait_for(lock, backoff, [this] { return m_bStopping; });
        backoff =
            std::min(backoff * 2, std::chrono::duration_cast<std::chrono::milliseconds>(kLongestBackoff));
    }
}

bool ChildProcess::installed(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return ::access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t colon = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, colon - start);
        if (::access(((folder.empty() ? "." : folder) + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = colon + 1;
    }
    return false;
}

void ChildProcess::start()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bStarted)
            return;
        m_bStarted = true;
    }
    m_watcher = std::thread([this] { watch(); });
}

void ChildProcess::stop()
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_bStarted)
            return;
        m_bStarted = false;
        m_bStopping = true;
        if (m_pid > 0)
            ::kill(m_pid, SIGTERM);
        m_changed.notify_all();
        if (!m_changed.wait_for(lock, kStopGrace, [this] { return m_pid == 0; })) {
            m_log(m_name + " (pid " + std::to_string(m_pid) + ") ignored SIGTERM; killing it");
            ::kill(m_pid, SIGKILL);
        }
    }
    if (m_watcher.joinable())
        m_watcher.join();
}

} // namespace devservice
