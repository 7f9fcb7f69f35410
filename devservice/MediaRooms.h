#pragma once
// The media rooms of the meetings: which media server holds a meeting's
// room, its pin and secret, and the Janus token of every admitted
// participant. A room is made by the first admission and lives until the
// host ends the meeting or until it has stood empty for the linger time.
// When a server loses a room (a restarted Janus), the next admission makes
// it again under the same id and pin and gives back the tokens of those
// still in the meeting.

#include "RoomServer.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace devservice {

// How long an empty room waits for someone to come back.
constexpr std::chrono::seconds kDefaultRoomLinger{60};

struct MediaAdmission
{
    std::string server; // the clients' WebSocket URL
    uint64_t room = 0;
    std::string pin;
    std::string token;
};

class MediaRooms
{
public:
    using Log = std::function<void(const std::string&)>;

    MediaRooms(std::vector<std::shared_ptr<RoomServer>> servers, std::chrono::milliseconds linger, Log log);
    // Destroys every room still open, with its tokens.
    ~MediaRooms();
    MediaRooms(const MediaRooms&) = delete;
    MediaRooms& operator=(const MediaRooms&) = delete;

    // Admits one participant (a signed-in client, named by its session) to
    // the meeting's room, making the room when there is none. A participant
    // admitted again gets a new token in place of the old. Nothing when no
    // media server can take the meeting.
    std::optional<MediaAdmission> admit(const std::string& meeting, const std::string& participant);
    // Takes the participant's token back.
    void leave(const std::string& meeting, const std::string& participant);
    // Destroys the meeting's room for everyone, with every token.
    void end(const std::string& meeting);

    bool hasRoom(const std::string& meeting) const;

    // A token for the test call (Janus's EchoTest) on the first media
    // server that answers; the participant's previous one is taken back.
    // Only server and token are set.
    std::optional<MediaAdmission> echoTest(const std::string& participant);

private:
    struct Room
    {
        std::shared_ptr<RoomServer> server;
        RoomSpec spec;
        std::map<std::string, std::string> tokens; // participant -> token
        std::chrono::steady_clock::time_point emptySince;
    };

    std::optional<Room> openRoom(const std::string& meeting);
    bool ensureOnServer(const std::string& meeting, Room& room);
    void destroy(const std::string& meeting, Room& room, const char* why);
    void reap();

    std::vector<std::shared_ptr<RoomServer>> m_servers;
    const std::chrono::milliseconds m_linger;
    Log m_log;

    mutable std::mutex m_mutex;          // guards m_rooms and m_bStopping; held across server calls
    std::map<std::string, Room> m_rooms; // meeting number -> room
    // participant -> the server and token of their test call
    std::map<std::string, std::pair<std::shared_ptr<RoomServer>, std::string>> m_echoTokens;
    bool m_bStopping = false;
    std::condition_variable m_wake;
    std::thread m_reaper;
};

} // namespace devservice
