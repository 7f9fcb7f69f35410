// HttpRequest against the recording KelpNetUtils double: the URLs it builds,
// the calls and record it hands to the library, how it reads the answers and
// how each failure is reported (box for create/update/delete, log line for
// the other three).

#include "HttpRequest.h"
#include "Config.h"
#include "ErrorBox.h"
#include "KelpNetUtilsDouble.h"
#include "log/Log.h"

#include <gtest/gtest.h>

#include <QString>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdlib.h>

namespace {

const std::string kKey = "5D2E8A41C07B93F6E1A04C8B7D3F2619";
const std::string kSecret = "9B47E0C3A5D1286F4E0B7A93C6D85F12";

std::string prefix(const std::string& path)
{
    return std::string("https://") + talvora::config::kApiHost + path + "?api_key=" + kKey +
           "&api_secret=" + kSecret;
}

std::string& logDirectory()
{
    static std::string directory;
    return directory;
}

// Everything the log has written so far.
std::string logText()
{
    std::string text;
    DIR* dir = opendir(logDirectory().c_str());
    if (!dir)
        return text;
    while (dirent* entry = readdir(dir)) {
        if (std::string(entry->d_name).rfind("CPS_", 0) != 0)
            continue;
        std::ifstream file(logDirectory() + entry->d_name);
        std::ostringstream content;
        content << file.rdbuf();
        text += content.str();
    }
    closedir(dir);
    return text;
}

size_t occurrences(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class LogEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/httprequest-log-XXXXXX";
        logDirectory() = std::string(mkdtemp(pattern)) + "/";
        initLogIn(logDirectory());
    }
    void TearDown() override { std::system(("rm -rf '" + logDirectory() + "'").c_str()); }
};

[[maybe_unused]] const auto* const g_logEnvironment = ::testing::AddGlobalTestEnvironment(new LogEnvironment);

struct Box
{
    std::string title;
    std::string text;
};

class HttpRequestTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kelp_double::reset();
        talvora::setErrorBoxHook([this](QWidget* parent, const QString& title, const QString& text) {
            EXPECT_EQ(parent, nullptr);
            m_boxes.push_back({title.toStdString(), text.toStdString()});
        });
    }
    void TearDown() override { talvora::setErrorBoxHook({}); }

    std::string onlyUrl() const
    {
        const auto exchanges = kelp_double::exchanges();
        EXPECT_EQ(exchanges.size(), 1u);
        return exchanges.empty() ? std::string() : exchanges.front().url;
    }
    void expectOneBox(const std::string& text) const
    {
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_EQ(m_boxes[0].title, "出错提示");
        EXPECT_EQ(m_boxes[0].text, text);
    }

    std::vector<Box> m_boxes;
};

TEST_F(HttpRequestTest, BuildsEachUrlWithItsKeysInOrder)
{
    std::string id, answer;
    kelp_double::queueAnswer("{\"id\":\"1\"}");
    CreateMeeting("ZC10001", "weekly", "false", "2024-03-07 9:05:00", "45", &id);
    EXPECT_EQ(onlyUrl(),
              prefix("/v3/meeting/create") +
                  "&zcode=ZC10001&topic=weekly&type=2&start_time=2024-03-07%209%3A05%3A00&duration=45"
                  "&option_no_video_host=false&option_no_video_participants=false");

    kelp_double::reset();
    UpdateMeeting("ZC10001", "85012345678", "weekly", "2024-03-07 10:30:00", "60", "true");
    EXPECT_EQ(onlyUrl(), prefix("/v3/meeting/update") +
                             "&meeting_id=85012345678&zcode=ZC10001&topic=weekly&type=2"
                             "&start_time=2024-03-07%2010%3A30%3A00&duration=60"
                             "&option_no_video_host=true&option_no_video_participants=true");

    kelp_double::reset();
    DeleteMeeting("ZC10001", "85012345678");
    EXPECT_EQ(onlyUrl(), prefix("/v3/meeting/delete") + "&meeting_id=85012345678&zcode=ZC10001");

    kelp_double::reset();
    ListMeetings("ZC10001", &answer);
    EXPECT_EQ(onlyUrl(), prefix("/v3/meeting/list") + "&page_size=50&page_number=1&zcode=ZC10001");

    kelp_double::reset();
    GetUser("ZC10001", &answer);
    EXPECT_EQ(onlyUrl(), prefix("/v3/user/get") + "&logintype=1&loginname=ZC10001");

    kelp_double::reset();
    UpdateUserName("ZC10001", "zhang", &answer);
    EXPECT_EQ(onlyUrl(), prefix("/v3/user/update") + "&zcode=ZC10001&username=zhang");
}

TEST_F(HttpRequestTest, PercentEncodesEveryValueSoNoneCanEndOrOverrideTheQuery)
{
    std::string id;
    kelp_double::queueAnswer("{\"id\":\"1\"}");
    CreateMeeting("ZC1", "a b&zcode=X#1 周+%/?", "false", "2024-03-07 9:05:00", "45", &id);
    const std::string url = onlyUrl();
    EXPECT_NE(url.find("&topic=a%20b%26zcode%3DX%231%20%E5%91%A8%2B%25%2F%3F&type=2"), std::string::npos)
        << url;
    EXPECT_EQ(occurrences(url, "zcode="), 1u) << url;

    kelp_double::reset();
    std::string answer;
    UpdateUserName("Z&C", "李四 -._~", &answer);
    EXPECT_EQ(onlyUrl(), prefix("/v3/user/update") + "&zcode=Z%26C&username=%E6%9D%8E%E5%9B%9B%20-._~");
}

TEST_F(HttpRequestTest, SetsTheHeaderAndHandsAZeroedRecordInMode2)
{
    std::string answer;
    ASSERT_TRUE(ListMeetings("ZC10001", &answer));
    EXPECT_EQ(kelp_double::calls(),
              (std::vector<std::string>{"Create", "SetParam", "ShortLinkExchange", "Destroy"}));
    const auto exchanges = kelp_double::exchanges();
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges[0].mode, 2);
    EXPECT_TRUE(exchanges[0].recordWasZeroed);
    EXPECT_EQ(exchanges[0].headers,
              (std::vector<std::pair<std::string, std::string>>{{"Content-Length", "0"}}));
    EXPECT_EQ(kelp_double::destroyedHandles(), 1);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(HttpRequestTest, CreateTakesTheTextOfTheFirstQuotedIdKey)
{
    std::string id = "unchanged";
    kelp_double::queueAnswer("{\"uuid\":\"a1\",\"id\":\"85012345678\",\"host_id\":\"h\"}");
    EXPECT_TRUE(CreateMeeting("ZC1", "t", "false", "2024-03-07 9:05:00", "45", &id));
    EXPECT_EQ(id, "85012345678") << "\"uuid\" must not match: the search includes the opening quote";

    kelp_double::queueAnswer("{\"id\": \"850\"}");
    EXPECT_TRUE(CreateMeeting("ZC1", "t", "false", "2024-03-07 9:05:00", "45", &id));
    EXPECT_EQ(id, "850");
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(HttpRequestTest, CreateFailsWhenTheIdCannotBeRead)
{
    // The last three end inside the key or the value: nothing may be read past the answer.
    for (const std::string& answer : {std::string("{\"uuid\":\"a1\"}"), std::string(), std::string("{\"id\""),
                                      std::string("{\"id\":"), std::string("{\"id\":\"850")}) {
        kelp_double::reset();
        m_boxes.clear();
        kelp_double::queueAnswer(answer);
        std::string id = "unchanged";
        EXPECT_FALSE(CreateMeeting("ZC1", "t", "false", "2024-03-07 9:05:00", "45", &id)) << answer;
        EXPECT_EQ(id, "unchanged") << answer;
        expectOneBox("预定会议失败(找不到id字段)");
        EXPECT_EQ(kelp_double::destroyedHandles(), 1);
    }
}

TEST_F(HttpRequestTest, UpdateAndDeleteNeedTheirQuotedKeys)
{
    kelp_double::queueAnswer("{\"meeting_id\":\"1\"}");
    EXPECT_TRUE(UpdateMeeting("ZC1", "1", "t", "2024-03-07 9:05:00", "45", "false"));
    kelp_double::queueAnswer("{\"code\":3001,\"message\":\"meeting_id not found\"}");
    EXPECT_FALSE(UpdateMeeting("ZC1", "1", "t", "2024-03-07 9:05:00", "45", "false"));
    expectOneBox("修改会议失败(找不到meeting_id字段)");

    m_boxes.clear();
    kelp_double::queueAnswer("{\"deleted_at\":\"2024-03-07T01:00:00Z\"}");
    EXPECT_TRUE(DeleteMeeting("ZC1", "1"));
    kelp_double::queueAnswer("");
    EXPECT_FALSE(DeleteMeeting("ZC1", "1"));
    expectOneBox("删除会议失败(找不到deleted_at字段)");
}

TEST_F(HttpRequestTest, ListAndUserCallsHandBackTheAnswerAsItCame)
{
    std::string answer = "old";
    ASSERT_TRUE(ListMeetings("ZC1", &answer));
    EXPECT_EQ(answer, "") << "an empty body is still an answer";

    const std::string body("{\"username\":\"张三\",\"x\":\"\0\"}", 27);
    kelp_double::queueAnswer(body);
    ASSERT_TRUE(GetUser("ZC1", &answer));
    EXPECT_EQ(answer, body) << "copied byte for byte, NUL included";
    EXPECT_NE(logText().find("show username respond:{\"username\":\"张三\""), std::string::npos) << logText();

    kelp_double::queueAnswer("{\"username\":\"李四\"}");
    ASSERT_TRUE(UpdateUserName("ZC1", "李四", &answer));
    EXPECT_EQ(answer, "{\"username\":\"李四\"}");
    EXPECT_NE(logText().find("modify username respond:{\"username\":\"李四\"}"), std::string::npos);

    const std::string withToken = "{\"username\":\"王五\",\"token\":\"a1b2c3d4e5f6g7h8\"}";
    kelp_double::queueAnswer(withToken);
    ASSERT_TRUE(GetUser("ZC1", &answer));
    EXPECT_EQ(answer, withToken) << "the caller still gets the answer as it came";
    EXPECT_EQ(logText().find("a1b2c3d4e5f6g7h8"), std::string::npos) << logText();
    EXPECT_NE(logText().find("show username respond:{\"username\":\"王五\",\"token\":\"***(len 16)\"}"),
              std::string::npos)
        << logText();
    EXPECT_TRUE(m_boxes.empty());
}

// Runs op once per failure row; box-reporting ops must show the text,
// log-reporting ops must write it and show nothing.
struct Operation
{
    const char* name;
    bool reportsInBox;
    std::function<bool(std::string* output)> call;
};

std::vector<Operation> operations()
{
    return {
        {"CreateMeeting", true,
         [](std::string* out) {
             return CreateMeeting("ZC1", "t", "false", "2024-03-07 9:05:00", "45", out);
         }},
        {"UpdateMeeting", true,
         [](std::string*) { return UpdateMeeting("ZC1", "1", "t", "2024-03-07 9:05:00", "45", "false"); }},
        {"DeleteMeeting", true, [](std::string*) { return DeleteMeeting("ZC1", "1"); }},
        {"ListMeetings", false, [](std::string* out) { return ListMeetings("ZC1", out); }},
        {"GetUser", false, [](std::string* out) { return GetUser("ZC1", out); }},
        {"UpdateUserName", false, [](std::string* out) { return UpdateUserName("ZC1", "n", out); }},
    };
}

TEST_F(HttpRequestTest, AHandleThatCannotBeCreatedEndsTheCall)
{
    const std::string text = "网络异常(创建HTTP句柄失败)";
    for (const Operation& op : operations()) {
        kelp_double::reset();
        m_boxes.clear();
        kelp_double::setCreateResult(-1);
        const size_t logged = occurrences(logText(), text);
        std::string output = "unchanged";
        EXPECT_FALSE(op.call(&output)) << op.name;
        EXPECT_EQ(output, "unchanged") << op.name;
        EXPECT_EQ(kelp_double::calls(), std::vector<std::string>{"Create"}) << op.name;
        if (op.reportsInBox) {
            expectOneBox(text);
        } else {
            EXPECT_TRUE(m_boxes.empty()) << op.name;
            EXPECT_EQ(occurrences(logText(), text), logged + 1) << op.name;
        }
    }
}

TEST_F(HttpRequestTest, AHeaderThatCannotBeSetIsReportedAndTheRequestStillSent)
{
    const std::string text = "网络异常(HTTP setParam(Content-Type) fail)";
    const std::map<std::string, std::string> answers = {{"CreateMeeting", "{\"id\":\"850\"}"},
                                                        {"UpdateMeeting", "{\"meeting_id\":\"1\"}"},
                                                        {"DeleteMeeting", "{\"deleted_at\":\"x\"}"}};
    for (const Operation& op : operations()) {
        kelp_double::reset();
        m_boxes.clear();
        kelp_double::setSetParamResult(0);
        const auto answer = answers.find(op.name);
        kelp_double::queueAnswer(answer != answers.end() ? answer->second : "{}");
        const size_t logged = occurrences(logText(), text);
        std::string output;
        EXPECT_TRUE(op.call(&output)) << op.name << ": the operation can still succeed";
        EXPECT_EQ(kelp_double::exchanges().size(), 1u) << op.name;
        EXPECT_EQ(kelp_double::destroyedHandles(), 1) << op.name;
        if (op.reportsInBox) {
            expectOneBox(text);
        } else {
            EXPECT_TRUE(m_boxes.empty()) << op.name;
            EXPECT_EQ(occurrences(logText(), text), logged + 1) << op.name;
        }
    }
}

TEST_F(HttpRequestTest, AFailedExchangeShowsTheLibraryCodeAndReleasesTheHandle)
{
    int32_t code = 7001;
    for (const Operation& op : operations()) {
        kelp_double::reset();
        m_boxes.clear();
        kelp_double::queueFailure(++code);
        const std::string text = "网络异常,http数据交互错误,错误码: " + std::to_string(code);
        std::string output = "unchanged";
        EXPECT_FALSE(op.call(&output)) << op.name;
        EXPECT_EQ(output, "unchanged") << op.name;
        EXPECT_EQ(kelp_double::calls(),
                  (std::vector<std::string>{"Create", "SetParam", "ShortLinkExchange", "Destroy"}))
            << op.name;
        if (op.reportsInBox) {
            expectOneBox(text);
        } else {
            EXPECT_TRUE(m_boxes.empty()) << op.name;
            EXPECT_EQ(occurrences(logText(), text), 1u) << op.name;
        }
    }
}

TEST_F(HttpRequestTest, EachCallUsesAHandleOfItsOwn)
{
    std::string answer;
    ListMeetings("ZC1", &answer);
    ListMeetings("ZC1", &answer);
    const auto exchanges = kelp_double::exchanges();
    ASSERT_EQ(exchanges.size(), 2u);
    EXPECT_NE(exchanges[0].handle, exchanges[1].handle);
    EXPECT_EQ(kelp_double::calls().size(), 8u);
    EXPECT_EQ(kelp_double::destroyedHandles(), 2);
}

} // namespace
