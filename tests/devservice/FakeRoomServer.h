#pragma once
// A media server in memory for the meeting rooms' tests: keeps tokens and
// rooms as Janus would, can lose them all (a restart) or stop answering.

#include "RoomServer.h"

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace devservice {

class FakeRoomServer : public RoomServer
{
public:
    explicit FakeRoomServer(std::string url = "ws://127.0.0.1:8188") : m_url(std::move(url)) {}

    std::string clientUrl() const override { return m_url; }
    bool ping() override { return !down; }
    // Down is refused; `silentChecks` health checks time out first.
    PingAnswer probe() override
    {
        ++probes;
        if (silentChecks > 0) {
            --silentChecks;
            return PingAnswer::TimedOut;
        }
        return down ? PingAnswer::Refused : PingAnswer::Answered;
    }
    bool addToken(const std::string& token) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return !down && tokens.insert(token).second;
    }
    bool removeToken(const std::string& token) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        tokens.erase(token);
        return !down;
    }
    RoomAnswer roomExists(uint64_t room) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return down ? RoomAnswer::Unreachable : rooms.count(room) ? RoomAnswer::Done : RoomAnswer::Absent;
    }
    RoomAnswer createRoom(const RoomSettings& settings) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (down)
            return RoomAnswer::Unreachable;
        return rooms.emplace(settings.room, settings).second ? RoomAnswer::Done : RoomAnswer::Absent;
    }
    RoomAnswer destroyRoom(uint64_t room, const std::string& secret) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = rooms.find(room);
        if (down || (it != rooms.end() && it->second.secret != secret))
            return RoomAnswer::Unreachable;
        if (it == rooms.end())
            return RoomAnswer::Absent;
        rooms.erase(it);
        return RoomAnswer::Done;
    }

    // Those who joined the room (by publisher id), and whom moderation muted.
    RoomAnswer muteAudio(const RoomSettings& settings, const std::vector<uint64_t>& participants, bool mute) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (down)
            return RoomAnswer::Unreachable;
        bool anyone = false;
        for (const uint64_t participant : participants) {
            if (rooms.count(settings.room) && joined.count(participant)) {
                if (mute)
                    muted.insert(participant);
                else
                    muted.erase(participant);
                anyone = true;
            }
        }
        return anyone ? RoomAnswer::Done : RoomAnswer::Absent;
    }
    RoomAnswer kick(const RoomSettings& settings, uint64_t participant) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (down)
            return RoomAnswer::Unreachable;
        if (!rooms.count(settings.room) || !joined.erase(participant))
            return RoomAnswer::Absent;
        return RoomAnswer::Done;
    }
    void join(uint64_t participant)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        joined.insert(participant);
    }
    bool isMuted(uint64_t participant)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return muted.count(participant) != 0;
    }

    // Forgets everything, as a restarted Janus does.
    void restart()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        tokens.clear();
        rooms.clear();
    }
    size_t roomCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return rooms.size();
    }
    bool hasToken(const std::string& token)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return tokens.count(token) != 0;
    }

    std::atomic<bool> down{false};
    std::atomic<int> silentChecks{0};
    std::atomic<int> probes{0};
    std::set<std::string> tokens;
    std::map<uint64_t, RoomSettings> rooms;
    std::set<uint64_t> joined;
    std::set<uint64_t> muted;

private:
    std::string m_url;
    std::mutex m_mutex;
};

} // namespace devservice
