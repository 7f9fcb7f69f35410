// The meeting rooms against media servers in memory: one room per meeting,
// one token per participant, rooms that go when ended or left empty, rooms
// made again after a server restart, and where new meetings land.

#include "MediaRooms.h"
#include "FakeRoomServer.h"
#include "JanusAdmin.h"
#include "JanusProcess.h"

#include <gtest/gtest.h>

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
                                     std::chrono::milliseconds linger = 60s)
    {
        return std::make_unique<MediaRooms>(servers, linger, [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(logMutex);
            log.push_back(line);
        });
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
    ASSERT_EQ(server->roomCount(), 1u);
    const RoomSpec spec = server->rooms.begin()->second;
    EXPECT_EQ(spec.pin, host->pin);
    EXPECT_GE(spec.secret.size(), 32u);
    EXPECT_NE(spec.secret, spec.pin);

    // Coming back replaces the old token; leaving takes it away.
    const auto again = rooms->admit("85000000001", "session-a");
    ASSERT_TRUE(again);
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
        for (const std::string& secret : {host->pin, host->token, guest->token, spec.secret})
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

TEST(MediaOptions, ServersAndPortRangesAreCheckedWhole)
{
    JanusEndpoint endpoint;
    EXPECT_TRUE(
        parseJanusEndpoint("wss://media.example:8989,https://media.example:7889/admin,s3cret,k3y", endpoint));
    EXPECT_EQ(endpoint.clientUrl, "wss://media.example:8989");
    EXPECT_EQ(endpoint.adminUrl, "https://media.example:7889/admin");
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
}

} // namespace
} // namespace devservice
