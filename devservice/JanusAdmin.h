#pragma once
// A Janus instance reached through its Admin API over HTTP: tokens with
// add_token/remove_token, and the VideoRoom's rooms with message_plugin.
//
// Rooms go through the Admin API rather than a Janus API session because
// message_plugin hands the request straight to the plugin's synchronous
// handler: no session, handle or keep-alive to look after, no token of the
// service's own that a leak could turn into a way in, and the admin secret
// already guards it. The room admin key is sent as well, as VideoRoom asks
// for it on create whatever the path.

#include "RoomServer.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct cJSON;

namespace httplib {
class Client;
}

namespace devservice {

struct JanusEndpoint
{
    std::string clientUrl; // ws://127.0.0.1:8188
    std::string adminUrl;  // http://127.0.0.1:7088/admin
    std::string adminSecret;
    std::string roomAdminKey;
};

// "WS_URL,ADMIN_URL,ADMIN_SECRET,ROOM_ADMIN_KEY"; false when a part is missing
// or a URL has the wrong scheme.
bool parseJanusEndpoint(const std::string& text, JanusEndpoint& endpoint);

class JanusAdmin : public RoomServer
{
public:
    explicit JanusAdmin(JanusEndpoint endpoint);
    ~JanusAdmin() override;

    std::string clientUrl() const override { return m_endpoint.clientUrl; }
    bool ping() override;
    PingAnswer probe() override;
    bool addToken(const std::string& token) override;
    bool addEchoToken(const std::string& token) override;
    bool removeToken(const std::string& token) override;
    RoomAnswer roomExists(uint64_t room) override;
    RoomAnswer createRoom(const RoomSettings& settings) override;
    RoomAnswer destroyRoom(uint64_t room, const std::string& secret) override;
    RoomAnswer muteAudio(const RoomSettings& room, const std::vector<uint64_t>& participants, bool mute) override;
    RoomAnswer kick(const RoomSettings& room, uint64_t participant) override;

private:
    // The answer's body for a request of the given kind ("janus" field) with
    // its fields (a JSON object's inner text), sent to the admin path plus
    // `below` (a session or handle); empty when unreachable.
    std::string call(const std::string& kind, const std::string& fields, const std::string& below = {});
    std::string videoRoom(const std::string& request);
    // Calls `visit` with the session path ("/<id>"), publisher id and
    // VideoRoom information of every publisher handle in the room; false
    // when Janus did not answer.
    bool forEachPublisher(
        uint64_t room,
        const std::function<void(const std::string& session, uint64_t id, const cJSON* info)>& visit);

    JanusEndpoint m_endpoint;
    std::string m_path;
    std::mutex m_mutex; // guards m_client: one request at a time
    std::unique_ptr<httplib::Client> m_client;
    // The health check's own connection, with short timeouts, so that a
    // server that hangs is found out quickly and a slow request elsewhere
    // does not hold the check up.
    std::mutex m_probeMutex;
    std::unique_ptr<httplib::Client> m_probe;
};

} // namespace devservice
