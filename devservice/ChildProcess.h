#pragma once
// A server program that the service runs for itself (Janus, coturn): one
// child process watched by a thread, started again with a growing back-off
// when it dies, stopped with the service. The child also dies when the
// service does (PR_SET_PDEATHSIG), so it never outlives it even after a
// SIGKILL. Its output goes to a log file of its own.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace devservice {

class ChildProcess
{
public:
    using Log = std::function<void(const std::string&)>;

    // `name` names the child in the service's log.
    ChildProcess(std::string name, std::vector<std::string> argv, std::string logFile, Log log);
    ~ChildProcess(); // stop()
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Whether the program can be started: a path, or a name found on PATH.
    static bool installed(const std::string& program);

    // Starts the child and its watcher; returns at once.
    void start();
    // SIGTERM, then SIGKILL after a few seconds; returns once it has ended.
    void stop();
    // 0 while no child runs.
    pid_t pid() const;

private:
    pid_t spawn();
    void watch();

    const std::string m_name;
    std::vector<std::string> m_argv;
    const std::string m_logFile;
    Log m_log;

    mutable std::mutex m_mutex; // guards m_pid, m_bStopping, m_bStarted
    std::condition_variable m_changed;
    pid_t m_pid = 0;
    bool m_bStopping = false;
    bool m_bStarted = false;
    std::thread m_watcher;
};

} // namespace devservice
