#pragma once
// The configuration of the Janus that the service runs for itself. It keeps
// Janus to what meetings need: the VideoRoom plugin, the WebSocket API and
// the HTTP Admin API, both on 127.0.0.1 only; tokens that the service hands
// out (token_auth); an admin secret and a room admin key that only the
// service knows, new on every start; a bounded RTP port range; ICE on the
// named interfaces only, without STUN, TURN or mDNS.

#include "JanusAdmin.h"

#include <functional>
#include <string>

namespace devservice {

struct JanusSettings
{
    std::string folder; // created if need be; holds configuration and janus.log
    int clientPort = 0; // 0: a free port, chosen when the configuration is written
    int adminPort = 0;
    int rtpMin = 20000;
    int rtpMax = 20199;
    std::string iceInterfaces; // ice_enforce_list; empty: Janus's own choice
    std::string binary = "janus";
};

// "MIN-MAX" with 1024 <= MIN <= MAX <= 65535.
bool parsePortRange(const std::string& text, int& min, int& max);

// Writes the configuration files into settings.folder (owner only), with
// links to the modules it loads, and fills in the ports left at 0. The
// endpoint gets the URLs and the new secrets. False, with a line to `log`,
// when Janus is not installed or the folder cannot be written.
bool writeJanusConfiguration(JanusSettings& settings, JanusEndpoint& endpoint,
                             const std::function<void(const std::string&)>& log);

} // namespace devservice
