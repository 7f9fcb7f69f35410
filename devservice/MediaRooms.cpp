#include "MediaRooms.h"

#include "Random.h"

#include <openssl/rand.h>

#include <algorithm>

namespace devservice {
namespace {

// 128 bits, as hex: pins, secrets and tokens.
constexpr size_t kSecretBytes = 16;
constexpr int kRoomIdAttempts = 5;
// Room ids travel as JSON numbers, exact up to 2^53.
constexpr uint64_t kRoomIdMask = (uint64_t(1) << 52) - 1;

std::optional<uint64_t> randomRoomId()
{
    uint64_t value = 0;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&value), sizeof value) != 1)
        return std::nullopt;
    return (value & kRoomIdMask) + 1;
}

} // namespace

MediaRooms::MediaRooms(std::vector<std::shared_ptr<RoomServer>> servers, std::chrono::milliseconds linger,
                       Log log)
    : m_servers(std::move(servers)), m_linger(linger), m_log(std::move(log))
{
    m_reaper = std::thread([this] { reap(); });
}

MediaRooms::~MediaRooms()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStopping = true;
    }
    m_wake.notify_all();
    m_reaper.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& [meeting, room] : m_rooms)
        destroy(meeting, room, "the service stops");
    m_rooms.clear();
    for (const auto& [participant, echo] : m_echoTokens)
        echo.first->removeToken(echo.second);
}

std::optional<MediaRooms::Room> MediaRooms::openRoom(const std::string& meeting)
{
    // Fewest rooms first; a server that cannot take the room passes it on.
    std::vector<std::shared_ptr<RoomServer>> order = m_servers;
    std::stable_sort(order.begin(), order.end(), [this](const auto& a, const auto& b) {
        const auto count = [this](const RoomServer* server) {
            return std::count_if(m_rooms.begin(), m_rooms.end(),
                                 [server](const auto& entry) { return entry.second.server.get() == server; });
        };
        return count(a.get()) < count(b.get());
    });
    const std::optional<std::string> pin = randomHex(kSecretBytes);
    const std::optional<std::string> secret = randomHex(kSecretBytes);
    if (!pin || !secret)
        return std::nullopt;
    for (const auto& server : order) {
        for (int attempt = 0; attempt < kRoomIdAttempts; ++attempt) {
            const std::optional<uint64_t> id = randomRoomId();
            if (!id)
                return std::nullopt;
            Room room;
            room.server = server;
            room.spec = {*id, "meeting " + meeting, *pin, *secret};
            const RoomAnswer answer = server->createRoom(room.spec);
            if (answer == RoomAnswer::Done) {
                m_log("meeting " + meeting + ": room " + std::to_string(*id) + " created on " +
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
    const RoomAnswer exists = room.server->roomExists(room.spec.room);
    if (exists == RoomAnswer::Done)
        return true;
    if (exists == RoomAnswer::Unreachable)
        return false;
    // The server lost it, having restarted: the same room again, so that
    // those still in the meeting need nothing new from the service.
    if (room.server->createRoom(room.spec) != RoomAnswer::Done)
        return false;
    for (const auto& [participant, token] : room.tokens)
        room.server->addToken(token);
    m_log("meeting " + meeting + ": room " + std::to_string(room.spec.room) + " made again on " +
          room.server->clientUrl());
    return true;
}

std::optional<MediaAdmission> MediaRooms::admit(const std::string& meeting, const std::string& participant)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_rooms.find(meeting);
    if (it == m_rooms.end()) {
        std::optional<Room> room = openRoom(meeting);
        if (!room)
            return std::nullopt;
        room->emptySince = std::chrono::steady_clock::now();
        it = m_rooms.emplace(meeting, std::move(*room)).first;
    } else if (!ensureOnServer(meeting, it->second)) {
        return std::nullopt;
    }
    Room& room = it->second;
    const std::optional<std::string> token = randomHex(kSecretBytes);
    if (!token || !room.server->addToken(*token))
        return std::nullopt;
    const auto previous = room.tokens.find(participant);
    if (previous != room.tokens.end()) {
        room.server->removeToken(previous->second);
        previous->second = *token;
    } else {
        room.tokens.emplace(participant, *token);
    }
    return MediaAdmission{room.server->clientUrl(), room.spec.room, room.spec.pin, *token};
}

void MediaRooms::leave(const std::string& meeting, const std::string& participant)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_rooms.find(meeting);
    if (it == m_rooms.end())
        return;
    Room& room = it->second;
    const auto token = room.tokens.find(participant);
    if (token == room.tokens.end())
        return;
    room.server->removeToken(token->second);
    room.tokens.erase(token);
    if (room.tokens.empty()) {
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

bool MediaRooms::hasRoom(const std::string& meeting) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rooms.count(meeting) != 0;
}

void MediaRooms::destroy(const std::string& meeting, Room& room, const char* why)
{
    for (const auto& [participant, token] : room.tokens)
        room.server->removeToken(token);
    room.tokens.clear();
    const RoomAnswer answer = room.server->destroyRoom(room.spec.room, room.spec.secret);
    m_log("meeting " + meeting + ": room " + std::to_string(room.spec.room) +
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
            if (it->second.tokens.empty() && now - it->second.emptySince >= m_linger) {
                destroy(it->first, it->second, "empty");
                it = m_rooms.erase(it);
            } else {
                ++it;
            }
        }
    }
}

std::optional<MediaAdmission> MediaRooms::echoTest(const std::string& participant)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::optional<std::string> token = randomHex(kSecretBytes);
    if (!token)
        return std::nullopt;
    for (const std::shared_ptr<RoomServer>& server : m_servers) {
        if (!server->ping() || !server->addToken(*token))
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
