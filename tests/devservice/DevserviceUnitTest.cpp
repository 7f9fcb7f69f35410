// The service's building blocks without a network: time and UTF-8 rules, the
// masked request log, secrets, the guessing throttle and the token table, and
// the SQLite store.

#include "DemoMeetings.h"
#include "LoginThrottle.h"
#include "RequestLog.h"
#include "Store.h"
#include "Text.h"
#include "TokenTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace devservice {
namespace {

TEST(BeijingToUtc, ShiftsBackEightHoursAcrossDayMonthAndYear)
{
    EXPECT_EQ(beijingToUtc("2024-03-07 9:05:00"), "2024-03-07T01:05:00Z");
    EXPECT_EQ(beijingToUtc("2024-03-07 09:05:00"), "2024-03-07T01:05:00Z");
    EXPECT_EQ(beijingToUtc("2024-03-07 7:59:59"), "2024-03-06T23:59:59Z");
    EXPECT_EQ(beijingToUtc("2024-03-01 0:00:00"), "2024-02-29T16:00:00Z");
    EXPECT_EQ(beijingToUtc("2025-01-01 3:30:00"), "2024-12-31T19:30:00Z");
    EXPECT_EQ(beijingToUtc("2024-12-31 23:59:00"), "2024-12-31T15:59:00Z");
}

TEST(BeijingToUtc, RefusesWhatIsNotAWallClockTime)
{
    for (const char* text :
         {"", "2024-03-07", "2024-03-07 9:05", "2024-03-07T09:05:00", "2024-3-7 9:05:00x",
          "2024-02-30 9:05:00", "2023-02-29 9:05:00", "2024-13-01 9:05:00", "2024-00-10 9:05:00",
          "2024-03-07 24:00:00", "2024-03-07 9:60:00", "2024-03-07 9:05:60", "2024-03-07 9:5:00",
          "2024-03-07 123:05:00", "1970-01-01 0:00:00", "+024-03-07 9:05:00", "2024-03-07  9:05:00",
          "2024-03-07 -9:05:00", "20240-03-07 9:05:00"})
        EXPECT_FALSE(beijingToUtc(text)) << text;
}

TEST(Utf8, AcceptsWellFormedTextOnly)
{
    EXPECT_TRUE(isValidUtf8("周会 weekly #1 😀"));
    EXPECT_TRUE(isValidUtf8(""));
    for (const std::string& bad :
         {std::string("\xFF"), std::string("\xC3"), std::string("\xC0\xAF"), std::string("\xE0\x80\xAF"),
          std::string("\xED\xA0\x80"), std::string("\xF4\x90\x80\x80"), std::string("a\x80"),
          std::string("\xE4\xBD")})
        EXPECT_FALSE(isValidUtf8(bad)) << bad.size();
    EXPECT_EQ(utf8Length("周会ab"), 4u);
}

TEST(JsonString, EscapesQuotesBackslashesAndControls)
{
    EXPECT_EQ(jsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(jsonString("周会"), "\"周会\"");
}

TEST(RequestLog, MasksSecretsPasswordsAndTokens)
{
    const std::multimap<std::string, std::string> params = {{"api_key", "KEY1"},    {"api_secret", "S3CRET"},
                                                            {"password", "pw-1"},   {"accessToken", "tok-9"},
                                                            {"app_secret", "as-2"}, {"topic", "周会\nx"}};
    const std::string line = requestLine("127.0.0.1", "POST", "/v3/meeting/create", params, 200, 17);
    for (const char* secret : {"S3CRET", "pw-1", "tok-9", "as-2"})
        EXPECT_EQ(line.find(secret), std::string::npos) << line;
    EXPECT_NE(line.find("api_key=KEY1"), std::string::npos);
    EXPECT_NE(line.find("topic=周会?x"), std::string::npos) << "a line break would split the log line";
    EXPECT_NE(line.find("POST /v3/meeting/create?"), std::string::npos);
    EXPECT_NE(line.find("-> 200 (17 bytes)"), std::string::npos);
}

TEST(SameSecret, MatchesOnlyTheWholeNonEmptySecret)
{
    EXPECT_TRUE(sameSecret("Zs-Meet-2024", "Zs-Meet-2024"));
    for (const char* given : {"zs-meet-2024", "Zs-Meet-202", "Zs-Meet-20245", ""})
        EXPECT_FALSE(sameSecret(given, "Zs-Meet-2024")) << given;
    EXPECT_FALSE(sameSecret("", ""));
}

TEST(LoginThrottle, FiveAttemptsWithinAMinuteLockTheAccountForThirtySeconds)
{
    using std::chrono::seconds;
    LoginThrottle throttle;
    const LoginThrottle::Clock::time_point start{};
    // Attempts a minute apart never add up.
    EXPECT_EQ(throttle.reserve("demo", start), 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(throttle.reserve("Demo", start + seconds(61 + i)), 0);
    EXPECT_EQ(throttle.secondsLocked("demo", start + seconds(65)), 0);

    EXPECT_EQ(throttle.reserve("DEMO", start + seconds(70)), 0) << "the fifth is still checked";
    EXPECT_EQ(throttle.secondsLocked("demo", start + seconds(70)), 30) << "spelling does not matter";
    EXPECT_EQ(throttle.secondsLocked("demo2", start + seconds(70)), 0) << "other accounts go on";
    EXPECT_EQ(throttle.reserve("demo", start + seconds(80)), 20) << "refused attempts do not extend the lock";
    EXPECT_EQ(throttle.secondsLocked("demo", start + seconds(99) + std::chrono::milliseconds(500)), 1);
    EXPECT_EQ(throttle.secondsLocked("demo", start + seconds(100)), 0);

    // After the lock a fresh count starts, and a success clears it.
    for (int i = 0; i < 4; ++i)
        throttle.reserve("demo", start + seconds(101));
    throttle.succeeded("demo");
    EXPECT_EQ(throttle.reserve("demo", start + seconds(102)), 0);
    EXPECT_EQ(throttle.secondsLocked("demo", start + seconds(102)), 0);
}

TEST(LoginThrottle, GuessesSentAtOnceGetNoMoreThanFiveChecks)
{
    LoginThrottle throttle;
    std::atomic<int> ready{0};
    std::atomic<int> admitted{0};
    std::vector<std::thread> guesses;
    for (int i = 0; i < 64; ++i) {
        guesses.emplace_back([&] {
            ++ready;
            while (ready < 64)
                std::this_thread::yield();
            if (throttle.reserve("zcode:ZC10001") == 0)
                ++admitted;
        });
    }
    for (auto& guess : guesses)
        guess.join();
    EXPECT_EQ(admitted, LoginThrottle::kMaxFailures);
}

TEST(LoginThrottle, RecordsAndTokensAreBoundedOldestFirst)
{
    using std::chrono::seconds;
    const LoginThrottle::Clock::time_point start{};
    LoginThrottle throttle(3);
    for (int i = 0; i < 5; ++i)
        throttle.reserve("locked", start);
    ASSERT_GT(throttle.secondsLocked("locked", start), 0);
    throttle.reserve("a", start);
    throttle.reserve("locked", start); // used again: now the newest
    throttle.reserve("b", start);
    throttle.reserve("c", start);
    EXPECT_EQ(throttle.size(), 3u);
    EXPECT_GT(throttle.secondsLocked("locked", start), 0) << "the least recently used record goes first";
    for (int i = 0; i < 1000; ++i)
        throttle.reserve("made-up-" + std::to_string(i), start);
    EXPECT_EQ(throttle.size(), 3u) << "fresh records too";

    TokenTable tokens(seconds(60), 3);
    std::vector<std::string> issued;
    for (int i = 0; i < 4; ++i)
        issued.push_back(tokens.issue("demo" + std::to_string(i), start + seconds(i)).value());
    EXPECT_EQ(tokens.size(), 3u);
    EXPECT_FALSE(tokens.accountOf(issued[0], start + seconds(4)));
    EXPECT_EQ(tokens.accountOf(issued[3], start + seconds(4)), "demo3");
    EXPECT_FALSE(tokens.accountOf(issued[1], start + seconds(61))) << "expired";
    tokens.issue("demo", start + seconds(62));
    EXPECT_EQ(tokens.size(), 2u) << "expired tokens make way";
}

class StoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/devservice-store-XXXXXX";
        const int fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        close(fd);
        m_path = pattern;
    }
    void TearDown() override { std::remove(m_path.c_str()); }

    static Meeting booking(const std::string& zcode, const std::string& start)
    {
        Meeting meeting;
        meeting.zcode = zcode;
        meeting.topic = "评审 & review";
        meeting.startTime = start;
        meeting.duration = 45;
        meeting.noVideoHost = true;
        return meeting;
    }

    std::string m_path;
};

TEST_F(StoreTest, SeedsTheDemoAccounts)
{
    Store store(m_path);
    const auto demo = store.accountByCloudLogin("demo");
    ASSERT_TRUE(demo);
    EXPECT_EQ(demo->zcode, "ZC10001");
    EXPECT_EQ(demo->email, "zhangsan@example.com");
    EXPECT_EQ(demo->password, "Zs-Meet-2024");
    EXPECT_EQ(demo->token, "a1b2c3d4e5f6g7h8");
    EXPECT_EQ(demo->displayName, "张三");
    const auto lisi = store.accountByZcode("ZC10002");
    ASSERT_TRUE(lisi);
    EXPECT_EQ(lisi->cloudAccount, "demo2");
    EXPECT_TRUE(lisi->email.empty());
    EXPECT_TRUE(lisi->displayName.empty());
    EXPECT_FALSE(store.accountByCloudLogin("nobody"));
    EXPECT_FALSE(store.accountByCloudLogin("demo' OR '1'='1"));
}

TEST_F(StoreTest, FindsSdkLoginsByEmailOrUserNameWithSuffix)
{
    Store store(m_path);
    EXPECT_EQ(store.accountBySdkLogin("zhangsan@example.com")->zcode, "ZC10001");
    EXPECT_EQ(store.accountBySdkLogin(std::string("lisi") + TALVORA_EMAIL_SUFFIX)->zcode, "ZC10002");
    EXPECT_EQ(store.accountBySdkLogin(std::string("zhangsan") + TALVORA_EMAIL_SUFFIX)->zcode, "ZC10001");
    EXPECT_FALSE(store.accountBySdkLogin("lisi"));
    EXPECT_FALSE(store.accountBySdkLogin(""));
}

TEST_F(StoreTest, MeetingsLiveUntilDeletedAndOnlyTheOwnerChangesThem)
{
    Store store(m_path);
    const Meeting later = store.createMeeting(booking("ZC10001", "2030-05-02T01:00:00Z"));
    const Meeting earlier = store.createMeeting(booking("ZC10001", "2030-05-01T01:00:00Z"));
    ASSERT_EQ(later.id.size(), 11u);
    EXPECT_EQ(later.id.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_NE(later.id, earlier.id);
    EXPECT_NE(later.uuid, earlier.uuid);
    EXPECT_FALSE(later.createdAt.empty());

    auto mine = store.meetingsOf("ZC10001");
    ASSERT_EQ(mine.size(), 2u);
    EXPECT_EQ(mine[0].id, earlier.id) << "ordered by start time";
    EXPECT_EQ(mine[0].topic, "评审 & review");
    EXPECT_TRUE(mine[0].noVideoHost);
    EXPECT_FALSE(mine[0].noVideoParticipants);
    EXPECT_TRUE(store.meetingsOf("ZC10002").empty());

    Meeting changed = later;
    changed.topic = "改期";
    changed.zcode = "ZC10002";
    EXPECT_FALSE(store.updateMeeting(changed)) << "another account's meeting";
    EXPECT_FALSE(store.deleteMeeting("ZC10002", later.id));
    changed.zcode = "ZC10001";
    EXPECT_TRUE(store.updateMeeting(changed));
    EXPECT_EQ(store.meetingById(later.id)->topic, "改期");
    EXPECT_TRUE(store.deleteMeeting("ZC10001", later.id));
    EXPECT_FALSE(store.meetingById(later.id));
    EXPECT_FALSE(store.deleteMeeting("ZC10001", later.id));
}

TEST_F(StoreTest, InstantMeetingsAreKeptButNotListed)
{
    Store store(m_path);
    Meeting instant = booking("ZC10001", "2030-05-01T01:00:00Z");
    instant.instant = true;
    const Meeting created = store.createMeeting(instant);
    EXPECT_TRUE(store.meetingById(created.id)->instant);
    EXPECT_TRUE(store.meetingsOf("ZC10001").empty());
}

TEST_F(StoreTest, RefusesAMeetingOfAnUnknownAccount)
{
    Store store(m_path);
    EXPECT_THROW(store.createMeeting(booking("ZC99999", "2030-05-01T01:00:00Z")), std::runtime_error);
}

TEST_F(StoreTest, KeepsEverythingAcrossReopening)
{
    std::string id;
    {
        Store store(m_path);
        id = store.createMeeting(booking("ZC10002", "2030-05-01T01:00:00Z")).id;
        EXPECT_TRUE(store.setDisplayName("ZC10002", "李四"));
        EXPECT_FALSE(store.setDisplayName("ZC99999", "x"));
    }
    Store reopened(m_path);
    EXPECT_EQ(reopened.accountByZcode("ZC10002")->displayName, "李四")
        << "seeding must not reset a renamed account";
    ASSERT_TRUE(reopened.meetingById(id));
    EXPECT_EQ(reopened.meetingById(id)->startTime, "2030-05-01T01:00:00Z");
}

TEST_F(StoreTest, TheDataFileIsReadableByItsOwnerOnly)
{
    const mode_t previousMask = umask(022);
    for (const bool existed : {false, true}) {
        std::remove(m_path.c_str());
        if (existed)
            close(open(m_path.c_str(), O_CREAT | O_WRONLY, 0644));
        {
            Store store(m_path);
        }
        struct stat status;
        ASSERT_EQ(stat(m_path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u) << (existed ? "an existing file" : "a new file");
    }
    umask(previousMask);
}

TEST(DemoMeetings, SpreadOverTheThreeDaysAfterTodayOfUtcPlusEight)
{
    // 2024-03-06 23:59 and 2024-03-07 00:30 at UTC+8: the first is still the 6th there.
    struct Case
    {
        std::time_t now;
        const char* first;
        const char* last;
    };
    for (const Case& c : {Case{1709740740, "2024-03-07T01:30:00Z", "2024-03-09T07:00:00Z"},
                          Case{1709742600, "2024-03-08T01:30:00Z", "2024-03-10T07:00:00Z"}}) {
        const std::vector<Meeting> meetings = demoMeetings("ZC10001", c.now);
        ASSERT_EQ(meetings.size(), 6u);
        EXPECT_EQ(meetings.front().startTime, c.first);
        EXPECT_EQ(meetings.back().startTime, c.last);
        int voice = 0;
        for (std::size_t i = 0; i < meetings.size(); ++i) {
            const Meeting& meeting = meetings[i];
            EXPECT_EQ(meeting.zcode, "ZC10001");
            EXPECT_LT(utf8Length(meeting.topic), meeting.topic.size()) << "a Chinese topic";
            EXPECT_EQ(meeting.noVideoHost, meeting.noVideoParticipants);
            voice += meeting.noVideoHost ? 1 : 0;
            if (i > 0) {
                EXPECT_LT(meetings[i - 1].startTime, meeting.startTime);
            }
        }
        EXPECT_GT(voice, 0);
        EXPECT_LT(voice, 6);
    }
}

TEST_F(StoreTest, OnlyANewFileGetsTheDemoMeetingsAndOnlyWhenAsked)
{
    {
        Store withoutDemo(m_path);
        EXPECT_TRUE(withoutDemo.meetingsOf("ZC10001").empty());
    }
    {
        Store reopened(m_path, true);
        EXPECT_TRUE(reopened.meetingsOf("ZC10001").empty()) << "a store in use is left alone";
    }
    std::remove(m_path.c_str());
    {
        Store fresh(m_path, true);
        EXPECT_EQ(fresh.meetingsOf("ZC10001").size(), 6u);
        EXPECT_TRUE(fresh.meetingsOf("ZC10002").empty());
    }
    Store again(m_path, true);
    EXPECT_EQ(again.meetingsOf("ZC10001").size(), 6u);
}

TEST_F(StoreTest, AFileThatIsNoDatabaseIsRefused)
{
    FILE* file = std::fopen(m_path.c_str(), "w");
    std::fputs("this is not a database file, just text that is long enough to have a header", file);
    std::fclose(file);
    EXPECT_THROW(Store store(m_path), std::runtime_error);
}

} // namespace
} // namespace devservice
