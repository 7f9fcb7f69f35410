// The meeting rooms against media servers in memory: one room per meeting,
// one token and publisher id per participant, rooms that go when ended or
// left empty, rooms made again after a server restart, where new meetings
// land, rooms that move off a server that stops answering, the host's
// moderation, and TURN credentials.

#include "MediaRooms.h"
#include "FakeRoomServer.h"
#include "JanusAdmin.h"
#include "JanusProcess.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <thread>

namespace devservice {
namespace {

using namespace std::chrono_literals;

struct MediaRoomsTest : ::testing::Test
{
    std::shared_ptr<FakeRoomServer> server = std::make_shared<FakeRoomServer>();
    std::vector<std::string> log;
    std::mutex logMutex;

    std::unique_ptr<MediaRooms> make(std::vector<std::shared_ptr<RoomServer>> servers,
                                     std::chrono::milliseconds linger = 60s,
                                     std::chrono::milliseconds health = kDefaultHealthPeriod)
    {
        return std::make_unique<MediaRooms>(
            servers, linger,
            [this](const std::string& line) {
                std::lock_guard<std::mutex> lock(logMutex);
                log.push_back(line);
            },
            health);
    }
};

TEST_F(MediaRoomsTest, ParticipantsShareTheRoomWithTokensOfTheirOwn)
{
    auto rooms = make({server});
    const auto host = rooms->admit("85000000001", "session-a");
    const auto guest = rooms->admit("85000000001", "session-b");
    ASSERT_TRUE(host && guest);
    EXPECT_EQ(host->server, "ws://127.0.0.1:8188");
    EXPECT_EQ(host->room, guest->room);
    EXPECT_EQ(host->pin, guest->pin);
    EXPECT_GE(host->pin.size(), 32u);
    EXPECT_NE(host->token, guest->token);
    EXPECT_NE(host->participantId, guest->participantId);
    EXPECT_GT(host->participantId, 0u);
    EXPECT_LE(host->participantId, uint64_t(1) << 53);
    EXPECT_TRUE(host->iceServers.empty());
    ASSERT_EQ(server->roomCount(), 1u);
    const RoomSettings settings = server->rooms.begin()->second;
    EXPECT_EQ(settings.pin, host->pin);
    EXPECT_GE(settings.secret.size(), 32u);
    EXPECT_NE(settings.secret, settings.pin);

    // Coming back replaces the old token and keeps the id, so that the
    // others keep one tile; leaving takes the token away.
    const auto again = rooms->admit("85000000001", "session-a");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->participantId, host->participantId);
    EXPECT_FALSE(server->hasToken(host->token));
    EXPECT_TRUE(server->hasToken(again->token));
    rooms->leave("85000000001", "session-b");
    EXPECT_FALSE(server->hasToken(guest->token));
    EXPECT_EQ(server->roomCount(), 1u);

    rooms->end("85000000001");
    EXPECT_EQ(server->roomCount(), 0u);
    EXPECT_TRUE(server->tokens.empty());
    EXPECT_FALSE(rooms->hasRoom("85000000001"));

    // No secret in what the service logs.
    for (const std::string& line : log) {
        for (const std::string& secret : {host->pin, host->token, guest->token, settings.secret})
            EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
}

TEST_F(MediaRoomsTest, EmptyRoomGoesAfterTheLingerAndOccupiedOneStays)
{
    auto rooms = make({server}, 100ms);
    ASSERT_TRUE(rooms->admit("1", "a"));
    ASSERT_TRUE(rooms->admit("2", "b"));
    rooms->leave("1", "a");
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(rooms->hasRoom("1"));
    EXPECT_TRUE(rooms->hasRoom("2"));
    EXPECT_EQ(server->roomCount(), 1u);
    // The rest go with the service.
    rooms.reset();
    EXPECT_EQ(server->roomCount(), 0u);
    EXPECT_TRUE(server->tokens.empty());
}

TEST_F(MediaRoomsTest, RoomLostInARestartIsMadeAgainWithItsTokens)
{
    auto rooms = make({server});
    const auto first = rooms->admit("7", "a");
    ASSERT_TRUE(first);
    server->restart();
    const auto second = rooms->admit("7", "b");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->room, first->room);
    EXPECT_EQ(second->pin, first->pin);
    EXPECT_TRUE(server->hasToken(first->token));
    EXPECT_TRUE(server->hasToken(second->token));

    server->down = true;
    EXPECT_FALSE(rooms->admit("7", "c"));
    EXPECT_FALSE(rooms->admit("8", "c"));
}

TEST_F(MediaRoomsTest, NewMeetingsGoToTheServerWithFewestRooms)
{
    auto other = std::make_shared<FakeRoomServer>("ws://127.0.0.1:9188");
    auto rooms = make({server, other});
    for (const char* meeting : {"1", "2", "3", "4"})
        ASSERT_TRUE(rooms->admit(meeting, "a"));
    EXPECT_EQ(server->roomCount(), 2u);
    EXPECT_EQ(other->roomCount(), 2u);
    rooms->end("1");
    rooms->end("3");
    EXPECT_EQ(rooms->admit("5", "a")->server, server->clientUrl());

    // A server that does not answer passes the meeting on.
    server->down = true;
    const auto passed = rooms->admit("6", "a");
    ASSERT_TRUE(passed);
    EXPECT_EQ(passed->server, other->clientUrl());
    EXPECT_EQ(other->roomCount(), 3u);
}

TEST_F(MediaRoomsTest, HostMutesAndRemovesOthersButIsNotRemoved)
{
    auto rooms = make({server});
    const auto host = rooms->admit("9", "host", {"张三", true});
    const auto li = rooms->admit("9", "li", {"李四", false});
    const auto wang = rooms->admit("9", "wang", {"王五", false});
    ASSERT_TRUE(host && li && wang);
    for (const auto& admitted : {host, li, wang})
        server->join(admitted->participantId);

    const auto roster = rooms->roster("9", "li");
    ASSERT_TRUE(roster);
    ASSERT_EQ(roster->size(), 3u);
    for (const RosterEntry& entry : *roster)
        EXPECT_EQ(entry.host, entry.id == host->participantId) << entry.displayName;
    EXPECT_FALSE(rooms->roster("9", "stranger"));
    EXPECT_FALSE(rooms->roster("10", "li"));

    struct Case
    {
        const char* what;
        std::function<Moderation()> act;
        Moderation expected;
    };
    const uint64_t unknown = host->participantId + li->participantId + wang->participantId;
    const Case cases[] = {
        {"mute one", [&] { return rooms->mute("9", li->participantId); }, Moderation::Done},
        {"mute an unknown id", [&] { return rooms->mute("9", unknown); }, Moderation::NoSuchParticipant},
        {"mute in an unknown meeting", [&] { return rooms->mute("10", std::nullopt); },
         Moderation::NoSuchParticipant},
        {"remove the host", [&] { return rooms->kick("9", host->participantId); }, Moderation::HostProtected},
        {"remove an unknown id", [&] { return rooms->kick("9", unknown); }, Moderation::NoSuchParticipant},
        {"remove one", [&] { return rooms->kick("9", li->participantId); }, Moderation::Done},
        {"remove them twice", [&] { return rooms->kick("9", li->participantId); },
         Moderation::NoSuchParticipant},
        {"mute all", [&] { return rooms->mute("9", std::nullopt); }, Moderation::Done},
        // Lifting the host's mute is each one's own, by their session.
        {"unmute oneself", [&] { return rooms->unmuteSelf("9", "wang"); }, Moderation::Done},
        {"unmute someone removed", [&] { return rooms->unmuteSelf("9", "li"); },
         Moderation::NoSuchParticipant},
        {"unmute a stranger", [&] { return rooms->unmuteSelf("9", "stranger"); },
         Moderation::NoSuchParticipant},
        {"unmute in an unknown meeting", [&] { return rooms->unmuteSelf("10", "wang"); },
         Moderation::NoSuchParticipant},
    };
    for (const Case& test : cases)
        EXPECT_EQ(test.act(), test.expected) << test.what;
    EXPECT_TRUE(server->isMuted(li->participantId));
    EXPECT_FALSE(server->isMuted(wang->participantId));
    EXPECT_FALSE(server->isMuted(host->participantId));
    // The removed one is out of the room, their token gone, and kept out.
    EXPECT_FALSE(server->hasToken(li->token));
    EXPECT_EQ(rooms->roster("9", "host")->size(), 2u);
    EXPECT_FALSE(rooms->roster("9", "li"));
    EXPECT_TRUE(rooms->removed("9", "li"));
    EXPECT_FALSE(rooms->removed("9", "wang"));

    server->down = true;
    EXPECT_EQ(rooms->mute("9", wang->participantId), Moderation::Unreachable);
}

TEST_F(MediaRoomsTest, RoomsOfASilentServerMoveWithTheirPinsAndTokens)
{
    auto other = std::make_shared<FakeRoomServer>("ws://127.0.0.1:9188");
    auto rooms = make({server, other}, 60s, 50ms);
    std::map<std::string, MediaAdmission> first;
    for (const char* meeting : {"1", "2", "3", "4"})
        first[meeting] = *rooms->admit(meeting, std::string("host-") + meeting);
    ASSERT_EQ(server->roomCount(), 2u);

    server->down = true;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (other->roomCount() < 4 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(other->roomCount(), 4u);
    for (const auto& [meeting, before] : first) {
        // Those in the meeting can come back in with the token they have,
        // and a new admission names the server that answers.
        EXPECT_TRUE(other->hasToken(before.token)) << meeting;
        const auto again = rooms->admit(meeting, "guest");
        ASSERT_TRUE(again);
        EXPECT_EQ(again->server, other->clientUrl());
        EXPECT_EQ(again->pin, before.pin);
    }

    // Once it answers again, what the moved rooms left there is cleared.
    server->down = false;
    const auto cleared = std::chrono::steady_clock::now() + 5s;
    while (server->roomCount() > 0 && std::chrono::steady_clock::now() < cleared)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(server->roomCount(), 0u);
    EXPECT_TRUE(server->tokens.empty());
}

TEST_F(MediaRoomsTest, RoomsOfAServerThatTimesOutMoveOnlyAfterTwoChecks)
{
    auto other = std::make_shared<FakeRoomServer>("ws://127.0.0.1:9188");
    auto rooms = make({server, other}, 60s, 20ms);
    for (const char* meeting : {"1", "2"})
        rooms->admit(meeting, std::string("host-") + meeting);
    const size_t stay = server->roomCount();
    ASSERT_GT(stay, 0u);
    const auto waitFor = [](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        return done();
    };
    // One silent check, then answers: a stall, and the rooms stay.
    server->silentChecks = 1;
    const int before = server->probes;
    ASSERT_TRUE(waitFor([&] { return server->probes >= before + 3; }));
    EXPECT_EQ(server->roomCount(), stay);
    EXPECT_EQ(other->roomCount(), 2u - stay);
    // Two in a row: a hang, and they move.
    server->silentChecks = 2;
    EXPECT_TRUE(waitFor([&] { return other->roomCount() == 2u; }));
}

TEST_F(MediaRoomsTest, AdmissionsCarryTurnCredentialsForTheMeetingAndAnHour)
{
    // RFC 2202's second HMAC-SHA1 case, in base64.
    EXPECT_EQ(turnCredential("Jefe", "what do ya want for nothing?"), "7/zfauXrL6LSdBbV8YTfnCWafHk=");

    auto rooms = make({server});
    rooms->setTurn({"turn:127.0.0.1:3478?transport=udp", "shared-secret"});
    const long long before = std::time(nullptr);
    const auto admitted = rooms->admit("5", "a", {"张三", true, 45min + 1h});
    ASSERT_TRUE(admitted);
    ASSERT_EQ(admitted->iceServers.size(), 1u);
    const IceServer& ice = admitted->iceServers[0];
    EXPECT_EQ(ice.url, "turn:127.0.0.1:3478?transport=udp");
    const size_t colon = ice.username.find(':');
    ASSERT_NE(colon, std::string::npos);
    const long long expiry = std::stoll(ice.username.substr(0, colon));
    EXPECT_GE(expiry, before + 105 * 60);
    EXPECT_LE(expiry, std::time(nullptr) + 105 * 60);
    EXPECT_EQ(ice.username.substr(colon + 1), std::to_string(admitted->participantId));
    EXPECT_EQ(ice.credential, turnCredential("shared-secret", ice.username));
    for (const std::string& line : log)
        EXPECT_EQ(line.find(ice.credential), std::string::npos) << line;
}

TEST(MediaOptions, ServersAndPortRangesAreCheckedWhole)
{
    JanusEndpoint endpoint;
    EXPECT_TRUE(
        parseJanusEndpoint("wss://127.0.0.1:8989,https://127.0.0.1:7889/admin,s3cret,k3y", endpoint));
    EXPECT_EQ(endpoint.clientUrl, "wss://127.0.0.1:8989");
    EXPECT_EQ(endpoint.adminUrl, "https://127.0.0.1:7889/admin");
    EXPECT_EQ(endpoint.adminSecret, "s3cret");
    EXPECT_EQ(endpoint.roomAdminKey, "k3y");
    for (const char* bad :
         {"", "ws://a:1,http://a:2/admin,s", "ws://a:1,http://a:2/admin,s,k,extra",
          "http://a:1,http://a:2/admin,s,k", "ws://a:1,ws://a:2/admin,s,k", "ws://a:1,http://a:2,s,k",
          "ws://a:1,http://a:2/admin,,k", "ws://a:1,http://a:2/admin,s\n,k"})
        EXPECT_FALSE(parseJanusEndpoint(bad, endpoint)) << bad;

    // An admin URL without a path reaches nothing, and says so.
    JanusAdmin unreachable({"ws://127.0.0.1:1", "not a url", "s", "k"});
    EXPECT_FALSE(unreachable.ping());
    EXPECT_EQ(unreachable.roomExists(1), RoomAnswer::Unreachable);

    int low = 0;
    int high = 0;
    EXPECT_TRUE(parsePortRange("20000-20199", low, high));
    EXPECT_EQ(low, 20000);
    EXPECT_EQ(high, 20199);
    for (const char* bad : {"", "20000", "20199-20000", "80-90", "20000-70000", "-1-5", "20000-20199 "})
        EXPECT_FALSE(parsePortRange(bad, low, high)) << bad;

    TurnServer turn;
    EXPECT_TRUE(parseTurnServer("turn:127.0.0.1:3478?transport=udp,s3cret,with,commas", turn));
    EXPECT_EQ(turn.url, "turn:127.0.0.1:3478?transport=udp");
    EXPECT_EQ(turn.secret, "s3cret,with,commas");
    EXPECT_TRUE(parseTurnServer("turns:[::1]:5349,k", turn));
    for (const char* bad : {"", "turn:a:1", "turn:a:1,", "stun:a:1,s", "http://a,s", "turn:a b:1,s",
                            "turn:a:1?transport=sctp,s", "turn:a:1,s\n"})
        EXPECT_FALSE(parseTurnServer(bad, turn)) << bad;
}

} // namespace
} // namespace devservice
