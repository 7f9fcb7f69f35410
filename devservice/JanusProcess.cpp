#include "JanusProcess.h"

#include <thread>

namespace devservice {

JanusProcess::JanusProcess(JanusSettings settings, Log log)
    : m_settings(std::move(settings)), m_log(std::move(log))
{
}

JanusProcess::~JanusProcess()
{
    stop();
}

pid_t JanusProcess::pid() const
{
    return m_child ? m_child->pid() : 0;
}

bool JanusProcess::start(std::chrono::milliseconds ready)
{
    if (!writeJanusConfiguration(m_settings, m_endpoint, m_log))
        return false;
    const std::string& folder = m_settings.folder;
    m_child = std::make_unique<ChildProcess>(
        "janus",
        std::vector<std::string>{m_settings.binary, "-C", folder + "/janus.jcfg", "-F", folder, "-o"},
        folder + "/janus.log", m_log);
    m_log("janus: WebSocket " + m_endpoint.clientUrl);
    m_child->start();
    JanusAdmin admin(m_endpoint);
    const auto deadline = std::chrono::steady_clock::now() + ready;
    while (std::chrono::steady_clock::now() < deadline) {
        if (pid() > 0 && admin.ping())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    m_log("janus did not answer within " + std::to_string(ready.count() / 1000) + " s (see " + folder +
          "/janus.log); meetings wait for it");
    return false;
}

void JanusProcess::stop()
{
    if (m_child)
        m_child->stop();
}

} // namespace devservice
