#pragma once
// TURN for participants behind a NAT, after the TURN REST API convention:
// each admission carries a username "<expiry unix time>:<participant>" and
// the credential base64(HMAC-SHA1(shared secret, username)), which coturn
// (use-auth-secret with the same secret) checks without asking the service.
// The service either runs a coturn of its own on 127.0.0.1 (TurnProcess) or
// names an external one.

#include "ChildProcess.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace devservice {

struct TurnServer
{
    std::string url; // turn:HOST:PORT?transport=udp
    std::string secret;
};

// One entry of an admission's "ice_servers".
struct IceServer
{
    std::string url;
    std::string username;
    std::string credential;
};

// "URL,SECRET" with a turn: or turns: URL; false when malformed.
bool parseTurnServer(const std::string& text, TurnServer& turn);

std::string turnCredential(const std::string& secret, const std::string& username);
IceServer turnIceServer(const TurnServer& turn, uint64_t participant, long long expiry);

struct TurnSettings
{
    std::string folder;                // created if need be; holds turnserver.conf and turnserver.log
    std::string address = "127.0.0.1"; // where it listens and relays from
    int relayMin = 20200;
    int relayMax = 20699;
    // Where relayed media may go besides 127.0.0.0/8: the addresses Janus
    // gathers on (the --media-interface interfaces).
    std::vector<std::string> peerInterfaces;
    std::string binary = "turnserver";
};

class TurnProcess
{
public:
    using Log = std::function<void(const std::string&)>;

    TurnProcess(TurnSettings settings, Log log);
    ~TurnProcess();
    TurnProcess(const TurnProcess&) = delete;
    TurnProcess& operator=(const TurnProcess&) = delete;

    // Writes the configuration with a new secret, starts coturn and waits up
    // to `ready` for it to answer a STUN request. False with a log line when
    // it cannot be set up or does not answer.
    bool start(std::chrono::milliseconds ready);
    void stop();

    TurnServer server() const { return m_server; }
    pid_t pid() const;

private:
    bool writeConfiguration();

    TurnSettings m_settings;
    Log m_log;
    TurnServer m_server;
    int m_port = 0;
    std::unique_ptr<ChildProcess> m_child;
};

} // namespace devservice
