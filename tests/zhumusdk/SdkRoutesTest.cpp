// The service's SDK endpoints on an in-process server over plain HTTP: what
// each answers for right, wrong and malformed input, and where an instant
// meeting lands in the store.

#include "FakeRoomServer.h"
#include "MediaRooms.h"
#include "Routes.h"
#include "Store.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <thread>
#include <unistd.h>

namespace devservice {
namespace {

const char* const kKey = "Xq7LmP2vRt9KsW4nBd6HyZ1cFg8JuE3oAi5T";
const char* const kSecret = "Np4TgY8wKe2RcV6mLs9QdH1zXb7FjU3aOi5W";

class SdkRoutesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/sdk-routes-XXXXXX";
        const int fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        close(fd);
        std::remove(pattern);
        m_path = pattern;
        m_store = std::make_unique<Store>(m_path);
        m_rooms = std::make_unique<MediaRooms>(std::vector<std::shared_ptr<RoomServer>>{m_media},
                                               std::chrono::seconds(60), [](const std::string&) {});
        registerSdkRoutes(m_server, *m_store, *m_rooms);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        m_client = std::make_unique<httplib::Client>("127.0.0.1", m_port);
    }

    void TearDown() override
    {
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
        m_rooms.reset();
        m_store.reset();
        std::remove(m_path.c_str());
    }

    // Status and body of a form POST.
    std::pair<int, std::string> post(const char* path, const httplib::Params& form,
                                     const httplib::Headers& headers = {})
    {
        const httplib::Result result = m_client->Post(path, headers, form);
        if (!result)
            return {0, "transport error"};
        return {result->status, result->body};
    }

    std::string sessionOf(const char* account, const char* password)
    {
        const auto [status, body] = post("/sdk/v1/login", {{"account", account}, {"password", password}});
        std::smatch match;
        static const std::regex session("\"session\":\"([0-9a-f]{32})\"");
        if (status != 200 || !std::regex_search(body, match, session))
            return {};
        return match[1];
    }

    static httplib::Headers bearer(const std::string& session)
    {
        return {{"Authorization", "Bearer " + session}};
    }

    std::string m_path;
    std::unique_ptr<Store> m_store;
    std::shared_ptr<FakeRoomServer> m_media = std::make_shared<FakeRoomServer>();
    std::unique_ptr<MediaRooms> m_rooms;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::unique_ptr<httplib::Client> m_client;
};

TEST_F(SdkRoutesTest, AuthorisesOnlyTheApplicationKeyAndSecret)
{
    EXPECT_EQ(post("/sdk/v1/auth", {{"app_key", kKey}, {"app_secret", kSecret}}).first, 200);
    EXPECT_EQ(
        post("/sdk/v1/auth", {{"app_key", kKey}, {"app_secret", "Np4TgY8wKe2RcV6mLs9QdH1zXb7FjU3aOi5X"}})
            .first,
        401);
    EXPECT_EQ(post("/sdk/v1/auth", {{"app_key", kSecret}, {"app_secret", kKey}}).first, 401);
    EXPECT_EQ(post("/sdk/v1/auth", {{"app_key", kKey}, {"app_secret", ""}}).first, 401);

    const auto [status, body] = post("/sdk/v1/auth", {{"app_key", kKey}});
    EXPECT_EQ(status, 400);
    EXPECT_NE(body.find("\"error\":\"bad_request\""), std::string::npos) << body;
    EXPECT_EQ(
        post("/sdk/v1/auth", {{"app_key", kKey}, {"app_secret", kSecret}, {"app_secret", "other"}}).first,
        400);
    EXPECT_EQ(post("/sdk/v1/auth", {{"app_key", std::string(5000, 'k')}, {"app_secret", kSecret}}).first,
              400);
}

TEST_F(SdkRoutesTest, LoginTakesTheEmailOrTheUserNameWithSuffix)
{
    EXPECT_FALSE(sessionOf("zhangsan@example.com", "Zs-Meet-2024").empty());
    EXPECT_FALSE(sessionOf("ZHANGSAN@example.com", "Zs-Meet-2024").empty());
    EXPECT_FALSE(sessionOf((std::string("zhangsan") + TALVORA_EMAIL_SUFFIX).c_str(), "Zs-Meet-2024").empty());
    EXPECT_FALSE(sessionOf((std::string("lisi") + TALVORA_EMAIL_SUFFIX).c_str(), "LiSi-Password-16").empty());
    EXPECT_NE(sessionOf("zhangsan@example.com", "Zs-Meet-2024"),
              sessionOf("zhangsan@example.com", "Zs-Meet-2024"));

    for (const auto& [account, password] :
         std::vector<std::pair<std::string, std::string>>{{"zhangsan@example.com", "zs-meet-2024"},
                                                          {"zhangsan@example.com", ""},
                                                          {"zhangsan", "Zs-Meet-2024"},
                                                          {"lisi@talvora.dev", "Zs-Meet-2024"},
                                                          {"nobody@example.com", "Zs-Meet-2024"},
                                                          {"", ""},
                                                          {"' OR 1=1 --", "x"}}) {
        const auto [status, body] = post("/sdk/v1/login", {{"account", account}, {"password", password}});
        EXPECT_EQ(status, 401) << account;
        EXPECT_EQ(body.find("session"), std::string::npos);
    }
    EXPECT_EQ(post("/sdk/v1/login", {{"account", "zhangsan@example.com"}}).first, 400);
}

TEST_F(SdkRoutesTest, InstantMeetingBelongsToTheSignedInAccountAndIsNotListed)
{
    const std::string session = sessionOf("lisi@talvora.dev", "LiSi-Password-16");
    ASSERT_FALSE(session.empty());
    EXPECT_EQ(post("/sdk/v1/meetings/start", {{"number", "0"}, {"no_video", "1"}}).first, 401);
    EXPECT_EQ(post("/sdk/v1/meetings/start", {{"number", "0"}, {"no_video", "1"}}, bearer("0123")).first,
              401);

    const auto [status, body] =
        post("/sdk/v1/meetings/start", {{"number", "0"}, {"no_video", "1"}}, bearer(session));
    ASSERT_EQ(status, 200) << body;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(body, match, std::regex("\"number\":\"([1-9][0-9]*)\"")));
    const std::optional<Meeting> meeting = m_store->meetingById(match[1]);
    ASSERT_TRUE(meeting);
    EXPECT_TRUE(meeting->instant);
    EXPECT_TRUE(meeting->noVideoHost);
    EXPECT_EQ(meeting->zcode, "ZC10002");
    EXPECT_TRUE(m_store->meetingsOf("ZC10002").empty());
}

TEST_F(SdkRoutesTest, StartAndJoinAdmitExistingMeetingsOnly)
{
    const std::string session = sessionOf("zhangsan@example.com", "Zs-Meet-2024");
    const std::string other = sessionOf("lisi@talvora.dev", "LiSi-Password-16");
    const auto started =
        post("/sdk/v1/meetings/start", {{"number", "0"}, {"no_video", "0"}}, bearer(session));
    std::smatch match;
    ASSERT_TRUE(std::regex_search(started.second, match, std::regex("\"number\":\"([0-9]+)\"")));
    const std::string number = match[1];

    // Only its owner starts a known meeting; leading zeros name the same one.
    EXPECT_EQ(post("/sdk/v1/meetings/start", {{"number", number}, {"no_video", "0"}}).first, 401);
    EXPECT_EQ(post("/sdk/v1/meetings/start", {{"number", number}, {"no_video", "0"}}, bearer(other)).first,
              403);
    const auto padded =
        post("/sdk/v1/meetings/start", {{"number", "00" + number}, {"no_video", "1"}}, bearer(session));
    EXPECT_EQ(padded.first, 200);
    EXPECT_NE(padded.second.find("\"number\":\"" + number + "\""), std::string::npos);
    EXPECT_EQ(post("/sdk/v1/meetings/join", {{"number", number}, {"display_name", "张三"}}).first, 401);
    EXPECT_EQ(post("/sdk/v1/meetings/join", {{"number", number}, {"display_name", ""}}, bearer(other)).first,
              200);

    EXPECT_EQ(post("/sdk/v1/meetings/start", {{"number", "12345"}, {"no_video", "0"}}, bearer(session)).first,
              404);
    EXPECT_EQ(
        post("/sdk/v1/meetings/join", {{"number", "12345"}, {"display_name", "a"}}, bearer(other)).first,
        404);
    EXPECT_EQ(post("/sdk/v1/meetings/join", {{"number", "0"}, {"display_name", "a"}}, bearer(other)).first,
              404);
    EXPECT_EQ(post("/sdk/v1/meetings/join", {{"number", "9223372036854775807"}, {"display_name", "a"}},
                   bearer(other))
                  .first,
              404);
}

TEST_F(SdkRoutesTest, AdmissionCarriesTheMediaRoomAndOnlyTheHostEndsIt)
{
    const std::string host = sessionOf("zhangsan@example.com", "Zs-Meet-2024");
    const std::string guest = sessionOf("lisi@talvora.dev", "LiSi-Password-16");
    const auto started = post("/sdk/v1/meetings/start", {{"number", "0"}, {"no_video", "0"}}, bearer(host));
    ASSERT_EQ(started.first, 200) << started.second;
    const std::regex shape("\\{\"number\":\"([0-9]+)\",\"media\":\\{\"server\":\"ws://127\\.0\\.0\\.1:8188\","
                           "\"room\":([0-9]+),\"pin\":\"([0-9a-f]{32})\",\"token\":\"([0-9a-f]{32})\","
                           "\"participant_id\":([0-9]+),\"ice_servers\":\\[\\],\"display_name\":\"([^\"]*)\","
                           "\"host\":(true|false)\\}\\}");
    std::smatch hostAnswer;
    ASSERT_TRUE(std::regex_match(started.second, hostAnswer, shape)) << started.second;
    const std::string number = hostAnswer[1];
    EXPECT_EQ(hostAnswer[6], "张三");
    EXPECT_EQ(hostAnswer[7], "true");

    const auto joined =
        post("/sdk/v1/meetings/join", {{"number", number}, {"display_name", "小李"}}, bearer(guest));
    std::smatch guestAnswer;
    ASSERT_TRUE(std::regex_match(joined.second, guestAnswer, shape)) << joined.second;
    EXPECT_EQ(guestAnswer[2], hostAnswer[2]);
    EXPECT_EQ(guestAnswer[3], hostAnswer[3]);
    EXPECT_NE(guestAnswer[4], hostAnswer[4]);
    EXPECT_NE(guestAnswer[5], hostAnswer[5]);
    EXPECT_EQ(guestAnswer[6], "小李");
    EXPECT_EQ(guestAnswer[7], "false");
    const auto unnamed =
        post("/sdk/v1/meetings/join", {{"number", number}, {"display_name", ""}}, bearer(guest));
    EXPECT_NE(unnamed.second.find("\"display_name\":\"lisi\""), std::string::npos) << unnamed.second;

    EXPECT_EQ(post("/sdk/v1/meetings/leave", {{"number", number}}).first, 401);
    EXPECT_EQ(post("/sdk/v1/meetings/end", {{"number", number}}, bearer(guest)).first, 403);
    EXPECT_EQ(post("/sdk/v1/meetings/leave", {{"number", "12345"}}, bearer(guest)).first, 404);
    EXPECT_EQ(post("/sdk/v1/meetings/leave", {{"number", number}}, bearer(guest)).first, 200);
    EXPECT_EQ(m_media->tokens.size(), 1u);
    EXPECT_TRUE(m_media->hasToken(hostAnswer[4]));
    EXPECT_EQ(post("/sdk/v1/meetings/end", {{"number", number}}, bearer(host)).first, 200);
    EXPECT_EQ(m_media->roomCount(), 0u);
    EXPECT_TRUE(m_media->tokens.empty());

    // Without a media server there is no admission, and the answer says so.
    m_media->down = true;
    EXPECT_EQ(post("/sdk/v1/meetings/join", {{"number", number}, {"display_name", ""}}, bearer(guest)).first,
              503);
}

TEST_F(SdkRoutesTest, MalformedMeetingRequestsAreRefused)
{
    for (const char* bad :
         {"", "-1", "+5", "1e5", "12a", " 12", "0x10", "99999999999999999999", "9223372036854775808"}) {
        EXPECT_EQ(post("/sdk/v1/meetings/start", {{"number", bad}, {"no_video", "0"}}).first, 400) << bad;
        EXPECT_EQ(post("/sdk/v1/meetings/join", {{"number", bad}, {"display_name", "a"}}).first, 400) << bad;
    }
    EXPECT_EQ(post("/sdk/v1/meetings/start", {{"number", "1"}, {"no_video", "2"}}).first, 400);
    EXPECT_EQ(post("/sdk/v1/meetings/start", {{"number", "1"}}).first, 400);
    EXPECT_EQ(post("/sdk/v1/meetings/join", {{"number", "1"}}).first, 400);
    EXPECT_EQ(post("/sdk/v1/meetings/join", {{"number", "1"}, {"display_name", "\xff\xfe"}}).first, 400);
    EXPECT_EQ(post("/sdk/v1/meetings/join", {{"number", "1"}, {"display_name", "a\nb"}}).first, 400);
    const auto [status, body] = post("/sdk/v1/meetings/join", {{"number", "x"}, {"display_name", "a"}});
    EXPECT_EQ(status, 400);
    EXPECT_EQ(body.front(), '{');
}

} // namespace
} // namespace devservice
