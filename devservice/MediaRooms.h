#pragma once
// The media rooms of the meetings: which media server holds a meeting's
// room, its pin and secret, and for every admitted participant a Janus
// token and the publisher id they join with. A room is made by the first
// admission and lives until the host ends the meeting or until it has stood
// empty for the linger time. When a server loses a room (a restarted Janus),
// the next admission makes it again under the same id and pin and gives back
// the tokens of those still in the meeting. Every server is checked every
// few seconds; the rooms of one that stops answering move to the others, so
// that participants who ask for admission again land on a server that works.

#include "RoomServer.h"
#include "Turn.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace devservice {

// How long an empty room waits for someone to come back.
constexpr std::chrono::seconds kDefaultRoomLinger{60};
// How often every media server is asked whether it still answers.
constexpr std::chrono::seconds kDefaultHealthPeriod{5};

struct MediaAdmission
{
    std::string server; // the clients' WebSocket URL
    uint64_t room = 0;
    std::string pin;
    std::string token;
    uint64_t participantId = 0; // the VideoRoom publisher id to join with
    std::vector<IceServer> iceServers;
};

// Who someone is in the meeting, as the others see them.
struct Attendee
{
    std::string displayName;
    bool host = false;
    // How long the admission's TURN credentials stay valid.
    std::chrono::seconds validFor{std::chrono::hours(2)};
};

struct RosterEntry
{
    uint64_t id = 0;
    std::string displayName;
    bool host = false;
};

enum class Moderation
{
    Done,
    NoSuchParticipant,
    HostProtected, // the host cannot be removed from their own meeting
    Unreachable,
};

class MediaRooms
{
public:
    using Log = std::function<void(const std::string&)>;

    MediaRooms(std::vector<std::shared_ptr<RoomServer>> servers, std::chrono::milliseconds linger, Log log,
               std::chrono::milliseconds healthPeriod = kDefaultHealthPeriod);
    // Destroys every room still open, with its tokens.
    ~MediaRooms();
    MediaRooms(const MediaRooms&) = delete;
    MediaRooms& operator=(const MediaRooms&) = delete;

    // TURN credentials go with every admission from now on.
    void setTurn(TurnServer turn);

    // Admits one participant (a signed-in client, named by its session) to
    // the meeting's room, making the room when there is none. A participant
    // admitted again gets a new token and publisher id in place of the old.
    // Nothing when no media server can take the meeting.
    std::optional<MediaAdmission> admit(const std::string& meeting, const std::string& participant,
                                        const Attendee& attendee = {});
    // Takes the participant's token back.
    void leave(const std::string& meeting, const std::string& participant);
    // Destroys the meeting's room for everyone, with every token.
    void end(const std::string& meeting);

    // Whether the host removed this participant from the meeting; they are
    // not admitted again under the same session.
    bool removed(const std::string& meeting, const std::string& participant) const;
    // Those admitted now; nothing when `participant` is not one of them.
    std::optional<std::vector<RosterEntry>> roster(const std::string& meeting,
                                                   const std::string& participant) const;
    // Mutes one participant's audio for everyone, or (no id) everyone's but
    // the host's.
    Moderation mute(const std::string& meeting, std::optional<uint64_t> participantId);
    // Lifts that moderation from the participant's own audio (named by their
    // session): anyone may unmute themselves, nobody else.
    Moderation unmuteSelf(const std::string& meeting, const std::string& participant);
    // Puts the participant out of the room and takes their token back.
    Moderation kick(const std::string& meeting, uint64_t participantId);

    bool hasRoom(const std::string& meeting) const;

    // A token for the test call (Janus's EchoTest) on the first media
    // server that answers; the participant's previous one is taken back.
    // Only server and token are set.
    std::optional<MediaAdmission> echoTest(const std::string& participant);

private:
    struct Participant
    {
        std::string token;
        uint64_t id = 0;
        std::string displayName;
        bool host = false;
    };
    struct Room
    {
        std::shared_ptr<RoomServer> server;
        RoomSettings settings;
        std::map<std::string, Participant> participants; // session -> participant
        std::set<std::string> removed;                   // sessions the host removed
        std::chrono::steady_clock::time_point emptySince;
    };
    // What a room left behind on a server that stopped answering: cleared
    // once it answers again, so that old tokens open nothing there.
    struct Leftover
    {
        uint64_t room = 0;
        std::string secret;
        std::vector<std::string> tokens;
    };
    struct Server
    {
        std::shared_ptr<RoomServer> server;
        bool answering = true;
        int silentChecks = 0; // consecutive health checks that timed out
        std::vector<Leftover> leftovers;
    };

    std::optional<Room> openRoom(const std::string& meeting, const RoomSettings* keep, const RoomServer* avoid);
    bool ensureOnServer(const std::string& meeting, Room& room);
    bool move(const std::string& meeting, Room& room);
    bool answering(const RoomServer* server) const;
    Participant* participantById(Room& room, uint64_t id);
    static Moderation moderateAudio(Room& room, const std::vector<uint64_t>& targets, bool mute);
    void destroy(const std::string& meeting, Room& room, const char* why);
    void reap();
    void watch();

    const std::chrono::milliseconds m_linger;
    const std::chrono::milliseconds m_healthPeriod;
    Log m_log;

    // Guards everything below; held across server calls except the health
    // check's.
    mutable std::mutex m_mutex;
    std::vector<Server> m_servers;
    std::map<std::string, Room> m_rooms; // meeting number -> room
    std::optional<TurnServer> m_turn;
    // participant -> the server and token of their test call
    std::map<std::string, std::pair<std::shared_ptr<RoomServer>, std::string>> m_echoTokens;
    bool m_bStopping = false;
    std::condition_variable m_wake;
    std::thread m_reaper;
    std::thread m_watcher;
};

} // namespace devservice
