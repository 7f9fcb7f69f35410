#include "MediaRooms.h"

#include "Random.h"

#include <openssl/rand.h>

#include <algorithm>
#include <ctime>

namespace devservice {
namespace {

// 128 bits, as hex: pins, secrets and tokens.
constexpr size_t kSecretBytes = 16;
constexpr int kRoomIdAttempts = 5;
// Room and publisher ids travel as JSON numbers, exact up to 2^53.
constexpr uint64_t kIdMask = (uint64_t(1) << 52) - 1;

std::optional<uint64_t> randomId()
{
    uint64_t value = 0;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&value), sizeof value) != 1)
        return std::nullopt;
    return (value & kIdMask) + 1;
}

} // namespace

MediaRooms::MediaRooms(std::vector<std::shared_ptr<RoomServer>> servers, std::chrono::milliseconds linger,
                       Log log, std::chrono::milliseconds healthPeriod)
    : m_linger(linger), m_healthPeriod(healthPeriod), m_log(std::move(log))
{
    for (auto& server : servers)
        m_servers.push_back({std::move(server), true, {}});
    m_reaper = std::thread([this] { reap(); });
    m_watcher = std::thread([this] { watch(); });
}

MediaRooms::~MediaRooms()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStopping = true;
    }
    m_wake.notify_all();
    m_reaper.join();
    m_watcher.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& [meeting, room] : m_rooms)
        destroy(meeting, room, "the service stops");
    m_rooms.clear();
    for (const auto& [participant, echo] : m_echoTokens)
        echo.first->removeToken(echo.second);
}

void MediaRooms::setTurn(TurnServer turn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_turn = std::move(turn);
}

bool MediaRooms::answering(const RoomServer* server) const
{
    for (const Server& entry : m_servers) {
        if (entry.server.get() == server)
            return entry.answering;
    }
    return false;
}

std::optional<MediaRooms::Room> MediaRooms::openRoom(const std::string& meeting, const RoomSettings* keep,
                                                     const RoomServer* avoid)
{
    // Answering servers first, fewest rooms first; a server that cannot
    // take the room passes it on.
    std::vector<std::shared_ptr<RoomServer>> order;
    // A room that moves goes only where a server answers now.
    for (const Server& entry : m_servers) {
        if (entry.server.get() != avoid && (!keep || entry.answering))
            order.push_back(entry.server);
    }
    const auto count = [this](const RoomServer* server) {
        return std::count_if(m_rooms.begin(), m_rooms.end(),
                             [server](const auto& entry) { return entry.second.server.get() == server; });
    };
    std::stable_sort(order.begin(), order.end(), [this, &count](const auto& a, const auto& b) {
        const bool aUp = answering(a.get());
        const bool bUp = answering(b.get());
        if (aUp != bUp)
            return aUp;
        return count(a.get()) < count(b.get());
    });
    RoomSettings settings;
    if (keep) {
        settings = *keep;
    } else {
        const std::optional<std::string> pin = randomHex(kSecretBytes);
        const std::optional<std::string> secret = randomHex(kSecretBytes);
        if (!pin || !secret)
            return std::nullopt;
        settings = {0, "meeting " + meeting, *pin, *secret};
    }
    for (const auto& server : order) {
        for (int attempt = 0; attempt < kRoomIdAttempts; ++attempt) {
            // A moved room keeps its id where it can.
            if (!keep || attempt > 0) {
                const std::optional<uint64_t> id = randomId();
                if (!id)
                    return std::nullopt;
                settings.room = *id;
            }
            Room room;
            room.server = server;
            room.settings = settings;
            const RoomAnswer answer = server->createRoom(room.settings);
            if (answer == RoomAnswer::Done) {
                m_log("meeting " + meeting + ": room " + std::to_string(settings.room) + " created on " +
                      server->clientUrl());
                return room;
            }
            if (answer == RoomAnswer::Unreachable)
                break; // the id was free; the server is not
        }
        m_log("meeting " + meeting + ": media server " + server->clientUrl() + " cannot take a room");
    }
    return std::nullopt;
}

bool MediaRooms::ensureOnServer(const std::string& meeting, Room& room)
{
    // A server that stopped answering gets one short question rather than
    // the full wait; one that answers it (a restarted Janus) is back.
    if (!answering(room.server.get())) {
        if (!room.server->ping())
            return false;
        for (Server& entry : m_servers) {
            if (entry.server == room.server)
                entry.answering = true;
        }
    }
    const RoomAnswer exists = room.server->roomExists(room.settings.room);
    if (exists == RoomAnswer::Done)
        return true;
    if (exists == RoomAnswer::Unreachable) {
        // Marked at once, so that the admissions after this one do not wait
        // for it too before the health check has come round.
        for (Server& entry : m_servers) {
            if (entry.server == room.server)
                entry.answering = false;
        }
        m_log("media server " + room.server->clientUrl() + " stopped answering");
        return false;
    }
    // The server lost it, having restarted: the same room again, so that
    // those still in the meeting need nothing new from the service.
    if (room.server->createRoom(room.settings) != RoomAnswer::Done)
        return false;
    for (const auto& [session, participant] : room.participants)
        room.server->addToken(participant.token);
    m_log("meeting " + meeting + ": room " + std::to_string(room.settings.room) + " made again on " +
          room.server->clientUrl());
    return true;
}

bool MediaRooms::move(const std::string& meeting, Room& room)
{
    // The same pin and secret on another server, and the tokens of those in
    // the meeting, so that whoever asks for admission again finds the room.
    std::optional<Room> moved = openRoom(meeting, &room.settings, room.server.get());
    if (!moved)
        return false;
    Leftover leftover{room.settings.room, room.settings.secret, {}};
    for (const auto& [session, participant] : room.participants) {
        moved->server->addToken(participant.token);
        leftover.tokens.push_back(participant.token);
    }
    for (Server& entry : m_servers) {
        if (entry.server == room.server)
            entry.leftovers.push_back(std::move(leftover));
    }
    m_log("meeting " + meeting + ": moved from " + room.server->clientUrl() + " to " +
          moved->server->clientUrl());
    room.server = moved->server;
    room.settings = moved->settings;
    return true;
}

std::optional<MediaAdmission> MediaRooms::admit(const std::string& meeting, const std::string& participant,
                                                const Attendee& attendee)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_rooms.find(meeting);
    if (it == m_rooms.end()) {
        std::optional<Room> room = openRoom(meeting, nullptr, nullptr);
        if (!room)
            return std::nullopt;
        room->emptySince = std::chrono::steady_clock::now();
        it = m_rooms.emplace(meeting, std::move(*room)).first;
    } else if (!ensureOnServer(meeting, it->second) && !move(meeting, it->second)) {
        return std::nullopt;
    }
    Room& room = it->second;
    const std::optional<std::string> token = randomHex(kSecretBytes);
    // Someone admitted again (back after a lost connection, or moved to
    // another server) keeps their id, so that the others keep their tile
    // and a stale subscription never outlives them under an old id.
    const auto known = room.participants.find(participant);
    std::optional<uint64_t> id = known != room.participants.end() ? known->second.id : randomId();
    while (known == room.participants.end() && id && participantById(room, *id))
        id = randomId();
    if (!token || !id || !room.server->addToken(*token))
        return std::nullopt;
    Participant& entry = room.participants[participant];
    if (!entry.token.empty())
        room.server->removeToken(entry.token);
    entry = {*token, *id, attendee.displayName, attendee.host};

    MediaAdmission admission{room.server->clientUrl(), room.settings.room, room.settings.pin, *token, *id, {}};
    if (m_turn) {
        const auto expiry = std::time(nullptr) + attendee.validFor.count();
        admission.iceServers.push_back(turnIceServer(*m_turn, *id, expiry));
    }
    return admission;
}

void MediaRooms::leave(const std::string& meeting, const std::string& participant)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_rooms.find(meeting);
    if (it == m_rooms.end())
        return;
    Room& room = it->second;
    const auto found = room.participants.find(participant);
    if (found == room.participants.end())
        return;
    room.server->removeToken(found->second.token);
    room.participants.erase(found);
    if (room.participants.empty()) {
        room.emptySince = std::chrono::steady_clock::now();
        m_wake.notify_all();
    }
}

void MediaRooms::end(const std::string& meeting)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_rooms.find(meeting);
    if (it == m_rooms.end())
        return;
    destroy(meeting, it->second, "the host ended the meeting");
    m_rooms.erase(it);
}

bool MediaRooms::removed(const std::string& meeting, const std::string& participant) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_rooms.find(meeting);
    return it != m_rooms.end() && it->second.removed.count(participant) != 0;
}

std::optional<std::vector<RosterEntry>> MediaRooms::roster(const std::string& meeting,
                                                           const std::string& participant) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_rooms.find(meeting);
    if (it == m_rooms.end() || it->second.participants.count(participant) == 0)
        return std::nullopt;
    std::vector<RosterEntry> entries;
    for (const auto& [session, entry] : it->second.participants)
        entries.push_back({entry.id, entry.displayName, entry.host});
    return entries;
}

MediaRooms::Participant* MediaRooms::participantById(Room& room, uint64_t id)
{
    for (auto& [session, participant] : room.participants) {
        if (participant.id == id)
            return &participant;
    }
    return nullptr;
}

Moderation MediaRooms::mute(const std::string& meeting, std::optional<uint64_t> participantId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_rooms.find(meeting);
    if (it == m_rooms.end())
        return Moderation::NoSuchParticipant;
    Room& room = it->second;
    std::vector<uint64_t> targets;
    if (participantId) {
        if (!participantById(room, *participantId))
            return Moderation::NoSuchParticipant;
        targets.push_back(*participantId);
    } else {
        for (const auto& [session, participant] : room.participants) {
            if (!participant.host)
                targets.push_back(participant.id);
        }
    }
    return moderateAudio(room, targets, true);
}

Moderation MediaRooms::unmuteSelf(const std::string& meeting, const std::string& participant)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_rooms.find(meeting);
    if (it == m_rooms.end())
        return Moderation::NoSuchParticipant;
    const auto self = it->second.participants.find(participant);
    if (self == it->second.participants.end())
        return Moderation::NoSuchParticipant;
    return moderateAudio(it->second, {self->second.id}, false);
}

Moderation MediaRooms::moderateAudio(Room& room, const std::vector<uint64_t>& targets, bool mute)
{
    // Someone admitted who has not joined the room yet has nothing to mute.
    if (!targets.empty() && room.server->muteAudio(room.settings, targets, mute) == RoomAnswer::Unreachable)
        return Moderation::Unreachable;
    return Moderation::Done;
}

Moderation MediaRooms::kick(const std::string& meeting, uint64_t participantId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_rooms.find(meeting);
    if (it == m_rooms.end())
        return Moderation::NoSuchParticipant;
    Room& room = it->second;
    const auto found =
        std::find_if(room.participants.begin(), room.participants.end(),
                     [participantId](const auto& entry) { return entry.second.id == participantId; });
    if (found == room.participants.end())
        return Moderation::NoSuchParticipant;
    if (found->second.host)
        return Moderation::HostProtected;
    // The token first: once it is gone, no new session can come back in.
    room.server->removeToken(found->second.token);
    if (room.server->kick(room.settings, participantId) == RoomAnswer::Unreachable)
        m_log("meeting " + meeting + ": participant " + std::to_string(participantId) +
              " could not be put out of room " + std::to_string(room.settings.room) + "; their token is gone");
    room.removed.insert(found->first);
    room.participants.erase(found);
    if (room.participants.empty()) {
        room.emptySince = std::chrono::steady_clock::now();
        m_wake.notify_all();
    }
    return Moderation::Done;
}

bool MediaRooms::hasRoom(const std::string& meeting) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rooms.count(meeting) != 0;
}

void MediaRooms::destroy(const std::string& meeting, Room& room, const char* why)
{
    for (const auto& [session, participant] : room.participants)
        room.server->removeToken(participant.token);
    room.participants.clear();
    const RoomAnswer answer = room.server->destroyRoom(room.settings.room, room.settings.secret);
    m_log("meeting " + meeting + ": room " + std::to_string(room.settings.room) +
          (answer == RoomAnswer::Unreachable ? " could not be destroyed (" : " destroyed (") + why + ")");
}

void MediaRooms::reap()
{
    // Checks a few times per linger time, at most once a second.
    const auto period = std::min<std::chrono::milliseconds>(
        std::chrono::seconds(1), std::max(m_linger / 4, std::chrono::milliseconds(50)));
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bStopping) {
        m_wake.wait_for(lock, period);
        const auto now = std::chrono::steady_clock::now();
        for (auto it = m_rooms.begin(); it != m_rooms.end() && !m_bStopping;) {
            if (it->second.participants.empty() && now - it->second.emptySince >= m_linger) {
                destroy(it->first, it->second, "empty");
                it = m_rooms.erase(it);
            } else {
                ++it;
            }
        }
    }
}

void MediaRooms::watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bStopping) {
        m_wake.wait_for(lock, m_healthPeriod);
        if (m_bStopping)
            break;
        // The servers are asked without the lock, so that a server that hangs
        // holds up no admission; the list itself never changes.
        std::vector<std::shared_ptr<RoomServer>> servers;
        for (const Server& entry : m_servers)
            servers.push_back(entry.server);
        lock.unlock();
        std::vector<PingAnswer> probes;
        for (const auto& server : servers)
            probes.push_back(server->probe());
        lock.lock();
        std::vector<bool> answers;
        for (size_t i = 0; i < m_servers.size(); ++i) {
            // A server that merely keeps silent (stalled for a moment) gets
            // a second check before its rooms move: moving them early makes
            // two rooms of one meeting once it answers again. A real hang is
            // thus found within two periods and two time-outs (12 s by
            // default); a refused connection still moves the rooms at once.
            Server& entry = m_servers[i];
            entry.silentChecks = probes[i] == PingAnswer::TimedOut ? entry.silentChecks + 1 : 0;
            answers.push_back(probes[i] == PingAnswer::Answered ||
                              (probes[i] == PingAnswer::TimedOut && entry.silentChecks < 2 && entry.answering));
        }
        for (size_t i = 0; i < m_servers.size(); ++i) {
            Server& entry = m_servers[i];
            if (entry.answering != answers[i])
                m_log("media server " + entry.server->clientUrl() +
                      (answers[i] ? " answers again" : " stopped answering"));
            entry.answering = answers[i];
            if (!entry.answering || entry.leftovers.empty())
                continue;
            for (const Leftover& leftover : entry.leftovers) {
                for (const std::string& token : leftover.tokens)
                    entry.server->removeToken(token);
                entry.server->destroyRoom(leftover.room, leftover.secret);
            }
            entry.leftovers.clear();
        }
        // Rooms on a server that stopped answering go where one answers.
        for (auto& [meeting, room] : m_rooms) {
            if (!answering(room.server.get()))
                move(meeting, room);
        }
    }
}

std::optional<MediaAdmission> MediaRooms::echoTest(const std::string& participant)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::optional<std::string> token = randomHex(kSecretBytes);
    if (!token)
        return std::nullopt;
    for (const Server& entry : m_servers) {
        const std::shared_ptr<RoomServer>& server = entry.server;
        if (!entry.answering || !server->addEchoToken(*token))
            continue;
        auto previous = m_echoTokens.find(participant);
        if (previous != m_echoTokens.end()) {
            previous->second.first->removeToken(previous->second.second);
            previous->second = {server, *token};
        } else {
            m_echoTokens.emplace(participant, std::make_pair(server, *token));
        }
        MediaAdmission access;
        access.server = server->clientUrl();
        access.token = *token;
        return access;
    }
    return std::nullopt;
}

} // namespace devservice
