#pragma once
// The Janus that the service runs for itself when no external media server
// is named: a configuration of its own in the service's data folder, one
// child process watched by a thread, started again when it dies, stopped
// with the service. The child also dies when the service does
// (PR_SET_PDEATHSIG), so it never outlives it even after a SIGKILL.

#include "JanusConfig.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace devservice {

class JanusProcess
{
public:
    using Log = std::function<void(const std::string&)>;

    JanusProcess(JanusSettings settings, Log log);
    ~JanusProcess(); // stop()
    JanusProcess(const JanusProcess&) = delete;
    JanusProcess& operator=(const JanusProcess&) = delete;

    // Writes the configuration, starts the child and waits up to `ready` for
    // its Admin API to answer. False (with a log line) when the
    // configuration cannot be written or Janus does not answer in time; the
    // watcher keeps trying in the background in the second case.
    bool start(std::chrono::milliseconds ready);
    // SIGTERM, then SIGKILL after a few seconds; returns once it has ended.
    void stop();

    // Valid once start() has been called.
    JanusEndpoint endpoint() const { return m_endpoint; }
    pid_t pid() const;

private:
    bool writeConfiguration();
    pid_t spawn();
    void watch();

    JanusSettings m_settings;
    Log m_log;
    JanusEndpoint m_endpoint;

    mutable std::mutex m_mutex; // guards m_pid, m_bStopping, m_bStarted
    std::condition_variable m_changed;
    pid_t m_pid = 0;
    bool m_bStopping = false;
    bool m_bStarted = false;
    std::thread m_watcher;
};

} // namespace devservice
