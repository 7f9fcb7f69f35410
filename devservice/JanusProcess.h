#pragma once
// The Janus that the service runs for itself when no external media server
// is named: a configuration of its own in the service's data folder, and
// one supervised child process (ChildProcess).

#include "ChildProcess.h"
#include "JanusConfig.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

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
    JanusSettings m_settings;
    Log m_log;
    JanusEndpoint m_endpoint;
    std::unique_ptr<ChildProcess> m_child;
};

} // namespace devservice
