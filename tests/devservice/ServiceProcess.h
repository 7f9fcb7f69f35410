#pragma once
// A development service started by a test or benchmark of its own: its own
// port, database (without the demo meetings) and certificate directory,
// stopped with SIGTERM.

#include <string>
#include <sys/types.h>

namespace devservice_test {

// A loopback port that nothing listens on at the moment of asking.
int freeLoopbackPort();

class ServiceProcess
{
public:
    // port 0 picks a free one.
    ServiceProcess(std::string binary, std::string dataFile, std::string certDirectory, int port = 0);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts the service and waits until /health answers over HTTPS trusting
    // certDirectory/ca.pem. False with *error filled when it does not come up.
    bool start(std::string* error);
    // SIGTERM, then waits; the exit status, or -1 when it had to be killed.
    int stop();

    int port() const { return m_port; }
    const std::string& logFile() const { return m_logFile; }
    std::string caFile() const { return m_certDirectory + "/ca.pem"; }
    std::string baseUrl() const;

private:
    bool healthy() const;

    std::string m_binary;
    std::string m_dataFile;
    std::string m_certDirectory;
    std::string m_logFile;
    int m_port;
    pid_t m_pid = -1;
};

} // namespace devservice_test
