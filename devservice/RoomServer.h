#pragma once
// One media server as the meeting rooms see it: tokens that let a client
// attach, and VideoRoom rooms. JanusAdmin speaks to a real Janus; tests put a
// double in its place.

#include <cstdint>
#include <string>
#include <vector>

namespace devservice {

// What the service creates for one meeting. Every secret is random and never
// leaves the service except the pin, which goes to admitted participants.
struct RoomSettings
{
    uint64_t room = 0;
    std::string description;
    std::string pin;
    std::string secret;
};

enum class RoomAnswer
{
    Done,        // created, destroyed, or (for roomExists) present
    Absent,      // roomExists: no such room; createRoom: the id is taken
    Unreachable, // the server did not answer as expected
};

// How a server took the health check's question.
enum class PingAnswer
{
    Answered,
    Refused,  // nothing listens there: the process is gone
    TimedOut, // connected but silent: it may be stalled only for a moment
};

class RoomServer
{
public:
    virtual ~RoomServer() = default;

    // WebSocket URL that clients connect to.
    virtual std::string clientUrl() const = 0;

    virtual bool ping() = 0;
    // The health check's question; a server that cannot tell a refusal from
    // a silence says Refused, so that its rooms move at once.
    virtual PingAnswer probe() { return ping() ? PingAnswer::Answered : PingAnswer::Refused; }
    virtual bool addToken(const std::string& token) = 0;
    // A token for the test call's plugin (EchoTest) only.
    virtual bool addEchoToken(const std::string& token) { return addToken(token); }
    virtual bool removeToken(const std::string& token) = 0;

    virtual RoomAnswer roomExists(uint64_t room) = 0;
    virtual RoomAnswer createRoom(const RoomSettings& settings) = 0;
    virtual RoomAnswer destroyRoom(uint64_t room, const std::string& secret) = 0;

    // Moderation by the room's secret. Muting covers the audio that those of
    // the publisher ids who are in the room publish at the time (Absent when
    // none of them is); they may unmute themselves afterwards, once `mute`
    // false has lifted it: until then the server drops their audio. Kick:
    // Absent when nobody with that id is in the room.
    virtual RoomAnswer muteAudio(const RoomSettings& room, const std::vector<uint64_t>& participants,
                                 bool mute) = 0;
    virtual RoomAnswer kick(const RoomSettings& room, uint64_t participant) = 0;
};

} // namespace devservice
