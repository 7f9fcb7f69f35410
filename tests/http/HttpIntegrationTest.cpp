// HttpRequest and the libcurl KelpNetUtils over real HTTPS against the
// development service of the "devservice" fixture. Meetings are booked on the
// second demo account (ZC10002) under topics unique to this run, and removed
// again, so that parallel tests see nothing of them for long.

#include "ErrorBox.h"
#include "HttpRequest.h"
#include "KelpNetUtils.h"
#include "ServiceProcess.h"
#include "protocol/CodeData.h"
#include "protocol/ParseJsonText.h"
#include "protocol/Ss.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <QString>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

const char* const kZcode = "ZC10002";

std::string uniqueTopic(const std::string& text)
{
    static int counter = 0;
    return text + " " + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

class HttpIntegration : public ::testing::Test
{
protected:
    void SetUp() override
    {
        talvora::setErrorBoxHook(
            [this](QWidget*, const QString&, const QString& text) { m_boxes.push_back(text.toStdString()); });
    }
    void TearDown() override { talvora::setErrorBoxHook({}); }

    static std::shared_ptr<protocol::Ss> list()
    {
        std::string answer;
        EXPECT_TRUE(ListMeetings(kZcode, &answer));
        auto page = std::make_shared<protocol::Ss>();
        EXPECT_TRUE(protocol::ParseJsonText(page, answer)) << answer;
        return page;
    }
    static const protocol::Meet* find(const protocol::Ss& page, const std::string& id)
    {
        for (const protocol::Meet& meet : page.meetings) {
            if (meet.id == id)
                return &meet;
        }
        return nullptr;
    }

    std::vector<std::string> m_boxes;
};

TEST_F(HttpIntegration, BookListUpdateListDeleteList)
{
    const std::string topic = uniqueTopic("集成测试");
    std::string id;
    ASSERT_TRUE(CreateMeeting(kZcode, topic, "true", "2030-03-07 9:05:00", "45", &id));
    EXPECT_EQ(id.size(), 11u) << id;
    EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos) << id;

    auto page = list();
    EXPECT_EQ(page->page_number, "1");
    EXPECT_EQ(page->page_size, "50");
    const protocol::Meet* booked = find(*page, id);
    ASSERT_NE(booked, nullptr);
    EXPECT_EQ(booked->topic, topic);
    // Sent as UTC+8 wall-clock time; the client adds the 8 hours back when showing it.
    EXPECT_EQ(booked->start_time, "2030-03-07T01:05:00Z");
    EXPECT_EQ(booked->duration, 45);
    EXPECT_FALSE(booked->option_host_video);
    EXPECT_FALSE(booked->option_participants_video);

    const std::string renamed = uniqueTopic("改期");
    ASSERT_TRUE(UpdateMeeting(kZcode, id, renamed, "2030-03-08 14:30:00", "60", "false"));
    page = list();
    const protocol::Meet* updated = find(*page, id);
    ASSERT_NE(updated, nullptr);
    EXPECT_EQ(updated->topic, renamed);
    EXPECT_EQ(updated->start_time, "2030-03-08T06:30:00Z");
    EXPECT_EQ(updated->duration, 60);
    EXPECT_TRUE(updated->option_host_video);
    EXPECT_TRUE(updated->option_participants_video);

    ASSERT_TRUE(DeleteMeeting(kZcode, id));
    EXPECT_EQ(find(*list(), id), nullptr);
    EXPECT_TRUE(m_boxes.empty());

    // The service refuses a second delete; its error carries no deleted_at.
    EXPECT_FALSE(DeleteMeeting(kZcode, id));
    EXPECT_EQ(m_boxes, std::vector<std::string>{"删除会议失败(找不到deleted_at字段)"});
}

TEST_F(HttpIntegration, ATopicWithSpacesAmpersandsHashesAndChineseArrivesIntact)
{
    const std::string topic = uniqueTopic("周会 a&b=c #3 + 100% ?x=y/z");
    std::string id;
    ASSERT_TRUE(CreateMeeting(kZcode, topic, "false", "2030-04-01 18:00:00", "30", &id));
    const auto page = list();
    const protocol::Meet* booked = find(*page, id);
    ASSERT_NE(booked, nullptr);
    EXPECT_EQ(booked->topic, topic);
    EXPECT_TRUE(booked->option_host_video);
    EXPECT_EQ(booked->start_time, "2030-04-01T10:00:00Z");
    EXPECT_TRUE(DeleteMeeting(kZcode, id));
}

TEST_F(HttpIntegration, ReadsAndRenamesTheUserInChinese)
{
    std::string answer;
    ASSERT_TRUE(GetUser("ZC10001", &answer));
    auto user = std::make_shared<protocol::CodeData>();
    ASSERT_TRUE(protocol::ParseJsonText(user, answer)) << answer;
    EXPECT_EQ(user->username, "张三");

    // The demo account keeps its name: other tests read it at the same time.
    ASSERT_TRUE(UpdateUserName("ZC10001", "张三", &answer));
    user = std::make_shared<protocol::CodeData>();
    ASSERT_TRUE(protocol::ParseJsonText(user, answer)) << answer;
    EXPECT_EQ(user->username, "张三");
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(HttpIntegration, AnUnknownAccountIsRefusedWithoutPassingForSuccess)
{
    std::string id = "unchanged";
    EXPECT_FALSE(CreateMeeting("ZC-nobody", "x", "false", "2030-04-01 18:00:00", "30", &id));
    EXPECT_EQ(id, "unchanged");
    EXPECT_FALSE(UpdateMeeting("ZC-nobody", "85000000000", "x", "2030-04-01 18:00:00", "30", "false"));
    EXPECT_EQ(m_boxes,
              (std::vector<std::string>{"预定会议失败(找不到id字段)", "修改会议失败(找不到meeting_id字段)"}));
}

// The stand-in itself, called the way the client calls it.
int32_t exchange(const std::string& url, std::string* answer = nullptr)
{
    const int32_t handle = NET_HTTPCLIENT_Create();
    EXPECT_GE(handle, 0);
    EXPECT_NE(NET_HTTPCLIENT_SetParam(handle, 3, "Content-Length", 15, "0", 2), 0);
    HttpExchange record{};
    record.url = url.data();
    record.urlLength = static_cast<int32_t>(url.size());
    record.mode = 2;
    const int result = NET_HTTPCLIENT_ShortLinkExchange(handle, &record);
    if (result && answer)
        answer->assign(record.answer, static_cast<size_t>(record.answerLength));
    NET_HTTPCLIENT_Destroy(handle);
    return result;
}

std::string fixtureUrl(const std::string& path)
{
    return "https://127.0.0.1:" + std::to_string(TALVORA_TEST_PORT) + path;
}

TEST(KelpNetUtils, AnyHttpStatusCompletesTheExchange)
{
    std::string answer;
    ASSERT_NE(exchange(fixtureUrl("/v3/no/such/route"), &answer), 0);
    EXPECT_NE(answer.find("\"code\":404"), std::string::npos) << answer;
    ASSERT_NE(exchange(fixtureUrl("/health"), &answer), 0);
    EXPECT_EQ(answer, "{\"status\":\"ok\"}");
}

TEST(KelpNetUtils, AServerCertificateFromAnotherCaIsRefused)
{
    char pattern[] = "/tmp/untrusted-ca-XXXXXX";
    const std::string directory = mkdtemp(pattern);
    devservice_test::ServiceProcess stranger(DEVSERVICE_BINARY, directory + "/service.db",
                                             directory + "/certs");
    std::string error;
    ASSERT_TRUE(stranger.start(&error)) << error;

    EXPECT_EQ(exchange(stranger.baseUrl() + "/health"), 0);
    EXPECT_EQ(NET_UTILS_GetLastError(), CURLE_PEER_FAILED_VERIFICATION);
    // The code belongs to the thread that failed.
    int32_t otherThreadsCode = -1;
    std::thread([&] { otherThreadsCode = NET_UTILS_GetLastError(); }).join();
    EXPECT_EQ(otherThreadsCode, 0);

    stranger.stop();
    std::system(("rm -rf '" + directory + "'").c_str());
}

// The service ends a kept connection after 20 requests and after 2 idle
// seconds: no request is lost to that, and none arrives twice.
TEST(KelpNetUtils, KeptConnectionsFollowTheServicesKeepAliveLimits)
{
    char pattern[] = "/tmp/keep-alive-XXXXXX";
    const std::string directory = mkdtemp(pattern);
    devservice_test::ServiceProcess service(DEVSERVICE_BINARY, directory + "/service.db", DEVSERVICE_CERT_DIR);
    std::string error;
    ASSERT_TRUE(service.start(&error)) << error;

    const std::string url = service.baseUrl() + "/v3/kept";
    int answered = 0;
    for (int i = 0; i < 45; ++i) {
        if (i == 30)
            std::this_thread::sleep_for(std::chrono::milliseconds(2200));
        answered += exchange(url) != 0;
    }
    EXPECT_EQ(answered, 45);
    ASSERT_EQ(service.stop(), 0);
    std::ifstream log(service.logFile());
    int logged = 0;
    for (std::string line; std::getline(log, line);)
        logged += line.find(" /v3/kept ") != std::string::npos;
    EXPECT_EQ(logged, 45);
    std::system(("rm -rf '" + directory + "'").c_str());
}

TEST(KelpNetUtils, HandlesAreSmallReusedAndCheckedOnEveryCall)
{
    const int32_t first = NET_HTTPCLIENT_Create();
    const int32_t second = NET_HTTPCLIENT_Create();
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_NE(first, second);
    EXPECT_LT(second, 64);
    NET_HTTPCLIENT_Destroy(first);
    EXPECT_EQ(NET_HTTPCLIENT_Create(), first) << "a released handle is handed out again";

    EXPECT_EQ(NET_HTTPCLIENT_SetParam(first, 3, "X-Evil", 7, "a\r\nHost: elsewhere", 19), 0)
        << "a header value must not smuggle in a second header";
    EXPECT_EQ(NET_HTTPCLIENT_SetParam(first, 3, "Bad Name", 9, "1", 2), 0);
    EXPECT_EQ(NET_HTTPCLIENT_SetParam(first, 99, "A", 2, "1", 2), 0) << "unknown parameter kind";
    EXPECT_EQ(NET_HTTPCLIENT_SetParam(12345, 3, "A", 2, "1", 2), 0) << "unknown handle";
    EXPECT_EQ(NET_HTTPCLIENT_SetParam(-1, 3, "A", 2, "1", 2), 0);

    const std::string url = fixtureUrl("/health");
    HttpExchange record{};
    record.url = url.data();
    record.urlLength = static_cast<int32_t>(url.size());
    record.mode = 2;
    EXPECT_EQ(NET_HTTPCLIENT_ShortLinkExchange(12345, &record), 0);
    EXPECT_NE(NET_UTILS_GetLastError(), 0);
    EXPECT_EQ(NET_HTTPCLIENT_ShortLinkExchange(first, nullptr), 0);
    record.urlLength = 0;
    EXPECT_EQ(NET_HTTPCLIENT_ShortLinkExchange(first, &record), 0);

    NET_HTTPCLIENT_Destroy(first);
    NET_HTTPCLIENT_Destroy(second);
    NET_HTTPCLIENT_Destroy(second); // twice, and unknown ones, are harmless
    NET_HTTPCLIENT_Destroy(-5);
    NET_HTTPCLIENT_Destroy(99999);
}

TEST(KelpNetUtils, TheAnswerStaysValidUntilTheHandleIsDestroyed)
{
    const int32_t handle = NET_HTTPCLIENT_Create();
    ASSERT_GE(handle, 0);
    const std::string url = fixtureUrl("/health");
    HttpExchange record{};
    record.url = url.data();
    record.urlLength = static_cast<int32_t>(url.size());
    record.mode = 2;
    ASSERT_NE(NET_HTTPCLIENT_ShortLinkExchange(handle, &record), 0);
    // Other handles come and go in between.
    std::string other;
    ASSERT_NE(exchange(fixtureUrl("/v3/none"), &other), 0);
    EXPECT_EQ(std::string(record.answer, static_cast<size_t>(record.answerLength)), "{\"status\":\"ok\"}");
    NET_HTTPCLIENT_Destroy(handle);
}

} // namespace
