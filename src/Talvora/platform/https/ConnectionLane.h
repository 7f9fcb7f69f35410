#pragma once
// A multi handle of libcurl together with the connections that libcurl keeps
// open in it after a transfer: the lane that the next transfer to the same
// origin takes. One transfer at a time uses a lane.

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talvora::https {

class ConnectionLane
{
public:
    // multi() is null when libcurl had no memory for the multi handle.
    ConnectionLane(std::string origin, uint64_t generation);
    ~ConnectionLane(); // closes the connections kept in it
    ConnectionLane(const ConnectionLane&) = delete;
    ConnectionLane& operator=(const ConnectionLane&) = delete;

    CURLM* multi() const { return m_multi; }
    const std::string& origin() const { return m_origin; }
    uint64_t generation() const { return m_generation; }

    // Lets the lane follow `easy`'s connections (their sockets, and how long
    // the server says it keeps them while idle). Anything but CURLE_OK: the
    // lane cannot follow them, and `easy` must not run on it.
    CURLcode attach(CURL* easy);
    // Once its transfer has ended: whether a kept connection can carry the
    // next request. One that the server has closed, or begun to close, or
    // that has been idle longer than the server keeps connections, cannot.
    bool holdsOpenConnection() const;
    void markIdle() { m_idleSince = std::chrono::steady_clock::now(); }

private:
    static curl_socket_t openSocket(void* lane, curlsocktype purpose, curl_sockaddr* address);
    static int closeSocket(void* lane, curl_socket_t socket);
    static size_t readHeader(char* data, size_t size, size_t count, void* lane);

    CURLM* m_multi;
    std::string m_origin;
    uint64_t m_generation;
    std::vector<curl_socket_t> m_sockets;
    std::chrono::steady_clock::time_point m_idleSince;
    // From the last answer's "Keep-Alive: timeout=N"; none when not given.
    std::optional<std::chrono::milliseconds> m_keptFor;
};

} // namespace talvora::https
