#include "ServiceProcess.h"

#include <curl/curl.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace devservice_test {

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

ServiceProcess::ServiceProcess(std::string binary, std::string dataFile, std::string certDirectory, int port)
    : m_binary(std::move(binary)), m_dataFile(std::move(dataFile)), m_certDirectory(std::move(certDirectory)),
      m_logFile(m_dataFile + ".log"), m_port(port ? port : freeLoopbackPort())
{
}

ServiceProcess::~ServiceProcess()
{
    stop();
}

std::string ServiceProcess::baseUrl() const
{
    return "https://127.0.0.1:" + std::to_string(m_port);
}

bool ServiceProcess::healthy() const
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return false;
    const std::string url = baseUrl() + "/health";
    const std::string ca = caFile();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 2L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    return code == CURLE_OK && status == 200;
}

bool ServiceProcess::start(std::string* error)
{
    const std::string port = std::to_string(m_port);
    m_pid = ::fork();
    if (m_pid < 0) {
        *error = "fork failed";
        return false;
    }
    if (m_pid == 0) {
        const int log = ::open(m_logFile.c_str(), O_CREAT | O_WRONLY | O_APPEND, 0644);
        const int null = ::open("/dev/null", O_RDONLY);
        if (log >= 0) {
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
        }
        if (null >= 0)
            ::dup2(null, STDIN_FILENO);
        ::execl(m_binary.c_str(), m_binary.c_str(), "--port", port.c_str(), "--data", m_dataFile.c_str(),
                "--certs", m_certDirectory.c_str(), "--no-demo-data", "--media-interface", "lo",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (healthy())
            return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            std::ifstream log(m_logFile);
            std::ostringstream text;
            text << log.rdbuf();
            *error = "devservice exited during start-up: " + text.str();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    *error = "devservice did not answer /health on port " + port;
    stop();
    return false;
}

int ServiceProcess::stop()
{
    if (m_pid <= 0)
        return 0;
    const pid_t pid = m_pid;
    m_pid = -1;
    ::kill(pid, SIGTERM);
    for (int attempt = 0; attempt < 100; ++attempt) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

} // namespace devservice_test
