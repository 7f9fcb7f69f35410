// The client against a service that misbehaves: every misbehaviour of
// HostileService against each REST operation and the cloud account query,
// and for the list and the user query also the main window's reaction. For
// each cell the client must give the box (or the quiet failure) that a failed
// or odd exchange gets, keep one log line per statement, and never crash
// (this runs in the sanitizer build). The outcomes are printed as a table.

#include "HostileService.h"
#include "Above.h"
#include "CloudSignIn.h"
#include "CremaneWindow.h"
#include "DevCerts.h"
#include "ErrorBox.h"
#include "HttpRequest.h"
#include "HttpsClient.h"
#include "HttpsClientTesting.h"
#include "KelpNetUtils.h"
#include "LeftMenu.h"
#include "StrevonetDouble.h"
#include "Talvora.h"
#include "WidgetTestSupport.h"
#include "log/Log.h"
#include "protocol/CodeData.h"
#include "protocol/ParseJsonText.h"
#include "protocol/Ss.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

namespace hostile {

void PrintTo(Misbehaviour misbehaviour, std::ostream* out)
{
    *out << nameOf(misbehaviour);
}

} // namespace hostile

namespace {

namespace fs = std::filesystem;
using hostile::Misbehaviour;

enum class Operation
{
    CreateMeeting,
    UpdateMeeting,
    DeleteMeeting,
    ListMeetings,
    GetUser,
    UpdateUserName,
    AccountQuery,
};

const char* nameOf(Operation operation)
{
    switch (operation) {
    case Operation::CreateMeeting:
        return "CreateMeeting";
    case Operation::UpdateMeeting:
        return "UpdateMeeting";
    case Operation::DeleteMeeting:
        return "DeleteMeeting";
    case Operation::ListMeetings:
        return "ListMeetings";
    case Operation::GetUser:
        return "GetUser";
    case Operation::UpdateUserName:
        return "UpdateUserName";
    case Operation::AccountQuery:
        return "AccountQuery";
    }
    return "?";
}

// Cell names in gtest's messages.
void PrintTo(Operation operation, std::ostream* out)
{
    *out << nameOf(operation);
}

const Misbehaviour kMisbehaviours[] = {
    Misbehaviour::NoAnswer,    Misbehaviour::OneBytePerSecond, Misbehaviour::Html500,
    Misbehaviour::RandomBytes, Misbehaviour::RandomBody,       Misbehaviour::ShortBody,
    Misbehaviour::HugeBody,    Misbehaviour::HugeChunked,      Misbehaviour::Markup,
    Misbehaviour::TenThousand, Misbehaviour::InvalidUtf8,      Misbehaviour::OtherCa,
};
const Operation kOperations[] = {
    Operation::CreateMeeting, Operation::UpdateMeeting,  Operation::DeleteMeeting, Operation::ListMeetings,
    Operation::GetUser,       Operation::UpdateUserName, Operation::AccountQuery};

constexpr int kAnyCode = -1;

// How the exchange ends for a misbehaviour: a transport failure with its
// code, a completed exchange with an answer that makes no sense, or a
// well-formed answer with hostile content.
enum class Ending
{
    Failure,
    Nonsense,
    Content
};

struct Expectation
{
    Ending ending;
    int code; // for Failure
};

Expectation expectationOf(Misbehaviour misbehaviour)
{
    switch (misbehaviour) {
    case Misbehaviour::NoAnswer:
    case Misbehaviour::OneBytePerSecond:
        return {Ending::Failure, 28}; // CURLE_OPERATION_TIMEDOUT
    case Misbehaviour::RandomBytes:
        return {Ending::Failure, kAnyCode}; // whatever libcurl makes of it
    case Misbehaviour::ShortBody:
        return {Ending::Failure, 18}; // CURLE_PARTIAL_FILE
    case Misbehaviour::HugeBody:
    case Misbehaviour::HugeChunked:
        return {Ending::Failure, NET_UTILS_ERROR_ANSWER_TOO_LARGE};
    case Misbehaviour::OtherCa:
        return {Ending::Failure, 60}; // CURLE_PEER_FAILED_VERIFICATION
    case Misbehaviour::Html500:
    case Misbehaviour::RandomBody:
        return {Ending::Nonsense, 0};
    case Misbehaviour::Markup:
    case Misbehaviour::TenThousand:
    case Misbehaviour::InvalidUtf8:
    case Misbehaviour::KeepsThenDrops:
        return {Ending::Content, 0};
    }
    return {Ending::Failure, kAnyCode};
}

const std::string kExchangeFailure = "网络异常,http数据交互错误,错误码: ";
const std::string kListFailure = "获取会议列表失败";
const std::string kSignInFailure = "登录异常( KaduStrevo返回失败 )";

// What a logged or shown text must be for an expected failure code.
::testing::AssertionResult isExchangeFailure(const std::string& text, int code)
{
    const std::string wanted = kExchangeFailure + (code == kAnyCode ? "" : std::to_string(code));
    const bool matches =
        code == kAnyCode ? text.rfind(wanted, 0) == 0 && text.size() > wanted.size() : text == wanted;
    if (matches)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "'" << text << "' is not '" << wanted << "'";
}

// The outcome table, filled cell by cell and printed at the end.
std::map<std::pair<int, int>, std::string>& outcomes()
{
    static std::map<std::pair<int, int>, std::string> table;
    return table;
}

std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : "; ") + part;
    return text;
}

class HostileServiceTest : public ::testing::TestWithParam<std::tuple<Misbehaviour, Operation>>
{
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/talvora-hostile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        s_directory = pattern;
        ASSERT_EQ(initLogIn(s_directory + "/Logs/"), 0);
        for (const auto& entry : fs::directory_iterator(s_directory + "/Logs"))
            s_logFile = entry.path().string();

        const devservice::DevCerts foreign = devservice::ensureDevCerts(s_directory + "/other-ca");
        s_service = new hostile::HostileService(
            HOSTILE_SERVICE_PORT,
            {std::string(DEV_CERT_DIR) + "/server.pem", std::string(DEV_CERT_DIR) + "/server-key.pem"},
            {foreign.serverCert, foreign.serverKey});
        std::string error;
        ASSERT_TRUE(s_service->start(&error)) << error;
        ASSERT_NE(NET_UTILS_Init(), 0);
    }
    static void TearDownTestSuite()
    {
        delete s_service;
        s_service = nullptr;
        NET_UTILS_Fini();
        openLogFile("/dev/null");
        fs::remove_all(s_directory);
        printTable();
    }

    void SetUp() override
    {
        talvora::setErrorBoxHook(
            [this](QWidget*, const QString&, const QString& text) { m_boxes.push_back(text.toStdString()); });
        strevo_double::reset();
        m_logStart = fs::file_size(s_logFile);
    }
    void TearDown() override
    {
        talvora::setErrorBoxHook({});
        talvora::https::testing::setTimeouts(0, 0);
    }

    // Lines logged since the cell began.
    std::vector<std::string> newLogLines() const
    {
        std::ifstream log(s_logFile);
        log.seekg(static_cast<std::streamoff>(m_logStart));
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);)
            lines.push_back(line);
        return lines;
    }

    // The message of the first new log line that starts with `start`, or
    // nothing.
    std::optional<std::string> loggedMessage(const std::string& start) const
    {
        for (const std::string& line : newLogLines()) {
            const size_t end = line.find(']');
            if (end != std::string::npos && line.compare(end + 1, start.size(), start) == 0)
                return line.substr(end + 1);
        }
        return std::nullopt;
    }

    // A main window over an empty list, enabled as after the SDK login.
    static std::unique_ptr<Talvora> makeWindow()
    {
        s_service->setMisbehaviour(Misbehaviour::Html500);
        auto window = std::make_unique<Talvora>("zhangsan", "ZC10001");
        window->setInitUserName("zhangsan");
        window->setEnabled(true);
        window->m_pAbove->hide();
        return window;
    }

    // The window's reaction to a list refresh or a user query under the
    // cell's misbehaviour.
    std::string windowReaction(Misbehaviour misbehaviour, Operation operation)
    {
        const std::unique_ptr<Talvora> window = makeWindow();
        s_service->setMisbehaviour(misbehaviour);
        const int served = s_service->connectionsDone();
        const size_t boxesBefore = m_boxes.size();
        const Ending ending = expectationOf(misbehaviour).ending;
        const QString name = QString::fromUtf8(hostile::hostileText(misbehaviour).c_str());
        if (operation == Operation::ListMeetings) {
            window->m_pLeftMenu->m_pBtnMyMeet->click();
            if (ending == Ending::Failure) {
                EXPECT_TRUE(QTest::qWaitFor([&] { return m_boxes.size() > boxesBefore; }, 20000));
                EXPECT_EQ(std::vector<std::string>(m_boxes.begin() + boxesBefore, m_boxes.end()),
                          std::vector<std::string>{kListFailure});
                return "box " + kListFailure;
            }
            const int page = ending == Ending::Content ? Talvora::PageMeetingCards : Talvora::PageNoMeetings;
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    return s_service->connectionsDone() > served &&
                           window->m_pStackedWidget->currentIndex() == page;
                },
                20000));
            EXPECT_EQ(m_boxes.size(), boxesBefore);
            return "page " + std::to_string(window->m_pStackedWidget->currentIndex());
        }
        widgettest::ModalAnswer<CremaneWindow> rename([](CremaneWindow* dialog) { dialog->reject(); });
        emit window->modifyShowUsername();
        QLabel* label = window->m_pLeftMenu->m_pLabUserName;
        if (ending == Ending::Content) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return label->text() == name; }, 20000))
                << label->text().toStdString();
            EXPECT_FALSE(rename.answered());
            return "name shown";
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return rename.answered(); }, 20000));
        EXPECT_EQ(label->text(), QStringLiteral("zhangsan"));
        return "rename offered";
    }

    static void printTable()
    {
        std::ostringstream table;
        table << "\n| misbehaviour |";
        for (const Operation operation : kOperations)
            table << ' ' << nameOf(operation) << " |";
        table << "\n|---|";
        for (size_t i = 0; i < std::size(kOperations); ++i)
            table << "---|";
        for (const Misbehaviour misbehaviour : kMisbehaviours) {
            table << "\n| " << hostile::nameOf(misbehaviour) << " |";
            for (const Operation operation : kOperations) {
                const auto it =
                    outcomes().find({static_cast<int>(misbehaviour), static_cast<int>(operation)});
                table << ' ' << (it == outcomes().end() ? "(not run)" : it->second) << " |";
            }
        }
        std::cout << table.str() << "\n" << std::endl;
    }

    static std::string s_directory;
    static std::string s_logFile;
    static hostile::HostileService* s_service;

    std::vector<std::string> m_boxes;
    std::uintmax_t m_logStart = 0;
};

std::string HostileServiceTest::s_directory;
std::string HostileServiceTest::s_logFile;
hostile::HostileService* HostileServiceTest::s_service = nullptr;

TEST_P(HostileServiceTest, GivesTheBoxOfTheFailureAndKeepsOneLinePerStatement)
{
    const auto [misbehaviour, operation] = GetParam();
    const Expectation expected = expectationOf(misbehaviour);
    const std::string text = hostile::hostileText(misbehaviour);
    s_service->setMisbehaviour(misbehaviour);
    if (misbehaviour == Misbehaviour::NoAnswer || misbehaviour == Misbehaviour::OneBytePerSecond)
        talvora::https::testing::setTimeouts(2000, 1500);

    std::vector<std::string> observed;
    std::string answer = "unchanged";
    bool succeeded = false;
    switch (operation) {
    case Operation::CreateMeeting: {
        std::string id;
        succeeded = CreateMeeting("ZC10001", "周会", "false", "2030-03-07 9:05:00", "45", &id);
        if (succeeded) {
            EXPECT_EQ(id, "85000000001");
        }
        break;
    }
    case Operation::UpdateMeeting:
        succeeded = UpdateMeeting("ZC10001", "85000000001", "周会", "2030-03-07 9:05:00", "45", "false");
        break;
    case Operation::DeleteMeeting:
        succeeded = DeleteMeeting("ZC10001", "85000000001");
        break;
    case Operation::ListMeetings:
        succeeded = ListMeetings("ZC10001", &answer);
        break;
    case Operation::GetUser:
        succeeded = GetUser("ZC10001", &answer);
        break;
    case Operation::UpdateUserName:
        succeeded = UpdateUserName("ZC10001", "王五", &answer);
        break;
    case Operation::AccountQuery: {
        talvora::CloudAccount account;
        std::ostringstream printed;
        std::streambuf* previous = std::cout.rdbuf(printed.rdbuf());
        succeeded = talvora::signInToCloud(account) == 0;
        std::cout.rdbuf(previous);
        if (succeeded) {
            EXPECT_EQ(account.userName, text);
        }
        // Standard output keeps one line per statement as well.
        for (const char c : printed.str())
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n')
                << "raw control character on stdout";
        break;
    }
    }
    const std::vector<std::string> boxes = m_boxes;
    observed.push_back(succeeded ? "ok" : "failed");

    // The boxes, or the quiet failure, of each kind of ending.
    const bool boxesItself = operation == Operation::CreateMeeting || operation == Operation::UpdateMeeting ||
                             operation == Operation::DeleteMeeting;
    if (expected.ending == Ending::Content) {
        EXPECT_TRUE(succeeded);
        EXPECT_TRUE(boxes.empty()) << joined(boxes);
    } else if (operation == Operation::AccountQuery) {
        EXPECT_FALSE(succeeded);
        EXPECT_EQ(boxes, std::vector<std::string>{kSignInFailure});
        for (int attempt = 0; attempt < 3 && expected.ending == Ending::Failure; ++attempt) {
            const std::string start =
                std::to_string(attempt) + ": NET_HTTPCLIENT_ShortLinkExchange fail, code: ";
            const std::optional<std::string> logged = loggedMessage(start);
            ASSERT_TRUE(logged) << start;
            if (expected.code != kAnyCode) {
                EXPECT_EQ(*logged, start + std::to_string(expected.code));
            }
            if (attempt == 2)
                observed.push_back("logged code " + logged->substr(start.size()) + " x3");
        }
    } else if (expected.ending == Ending::Failure) {
        EXPECT_FALSE(succeeded);
        EXPECT_EQ(answer, "unchanged");
        if (boxesItself) {
            ASSERT_EQ(boxes.size(), 1u) << joined(boxes);
            EXPECT_TRUE(isExchangeFailure(boxes[0], expected.code));
        } else {
            EXPECT_TRUE(boxes.empty()) << joined(boxes);
            const std::optional<std::string> logged = loggedMessage(kExchangeFailure);
            ASSERT_TRUE(logged) << "the failure is logged";
            EXPECT_TRUE(isExchangeFailure(*logged, expected.code));
            observed.push_back("logged code " + logged->substr(kExchangeFailure.size()));
        }
    } else if (boxesItself) {
        EXPECT_FALSE(succeeded);
        const char* missingKey = operation == Operation::CreateMeeting ? "预定会议失败(找不到id字段)"
                                 : operation == Operation::UpdateMeeting
                                     ? "修改会议失败(找不到meeting_id字段)"
                                     : "删除会议失败(找不到deleted_at字段)";
        EXPECT_EQ(boxes, std::vector<std::string>{missingKey});
    } else {
        EXPECT_TRUE(succeeded) << "any completed answer is handed on";
        EXPECT_TRUE(boxes.empty()) << joined(boxes);
    }
    for (const std::string& box : boxes)
        observed.push_back("box " + box);
    if (misbehaviour == Misbehaviour::HugeBody || misbehaviour == Misbehaviour::HugeChunked) {
        EXPECT_TRUE(loggedMessage("answer refused: larger than 8388608 bytes")) << "the size is named";
    }

    // What the callers make of a completed answer.
    if (succeeded && operation == Operation::ListMeetings) {
        auto page = std::make_shared<protocol::Ss>();
        const bool parsed = protocol::ParseJsonText(page, answer);
        EXPECT_EQ(parsed, expected.ending == Ending::Content);
        if (expected.ending == Ending::Content) {
            EXPECT_EQ(page->meetings.size(), misbehaviour == Misbehaviour::TenThousand ? 10000u : 3u);
            EXPECT_EQ(page->meetings.back().topic, text);
        }
        observed.push_back(std::to_string(page->meetings.size()) + " records");
    }
    if (succeeded && operation == Operation::GetUser && expected.ending == Ending::Content) {
        auto user = std::make_shared<protocol::CodeData>();
        EXPECT_TRUE(protocol::ParseJsonText(user, answer));
        EXPECT_EQ(user->username, text);
    }

    // The main window's reaction, where it has one of its own. Its cards for
    // 10,000 meetings are another matter than this suite's.
    if ((operation == Operation::ListMeetings && misbehaviour != Misbehaviour::TenThousand) ||
        operation == Operation::GetUser)
        observed.push_back("window: " + windowReaction(misbehaviour, operation));

    // One line per statement: every line has the log's own prefix, and the
    // line that the hostile texts try to forge never starts one.
    const std::regex prefix(R"(\[ [IW]\d{4} \d{2}:\d{2}:\d{2}\.\d{3}000 [ \d]{4}\d+ [^ :\]]+:\d+\].*)");
    for (const std::string& line : newLogLines()) {
        EXPECT_TRUE(std::regex_match(line, prefix)) << line.substr(0, 200);
        EXPECT_NE(line.rfind("[ I0101 00:00:00.000000     1 forged.cpp", 0), 0u) << "a forged line";
    }

    outcomes()[{static_cast<int>(misbehaviour), static_cast<int>(operation)}] = joined(observed);
}

std::string cellName(const ::testing::TestParamInfo<std::tuple<Misbehaviour, Operation>>& info)
{
    std::string name =
        std::string(hostile::nameOf(std::get<0>(info.param))) + "_" + nameOf(std::get<1>(info.param));
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryMisbehaviour, HostileServiceTest,
                         ::testing::Combine(::testing::ValuesIn(kMisbehaviours),
                                            ::testing::ValuesIn(kOperations)),
                         cellName);

// Connections that the service keeps open between requests.
class KeptConnections : public HostileServiceTest
{
protected:
    void SetUp() override
    {
        HostileServiceTest::SetUp();
        talvora::https::closeConnections();
        s_service->setMisbehaviour(Misbehaviour::KeepsThenDrops);
    }
    void TearDown() override
    {
        talvora::https::closeConnections();
        HostileServiceTest::TearDown();
    }

    static bool book()
    {
        std::string id;
        return CreateMeeting("ZC10001", "周会", "false", "2030-03-07 9:05:00", "45", &id);
    }
};

TEST_F(KeptConnections, CarryTheNextRequestButNeverARequestTwice)
{
    const int read = s_service->requestsRead();
    ASSERT_TRUE(book());
    // The second booking goes out on the kept connection, which the service
    // reads and then drops without an answer: it may have been booked, so it
    // is not sent again.
    EXPECT_FALSE(book());
    EXPECT_EQ(s_service->requestsRead(), read + 2) << "the dropped booking was sent again";
    EXPECT_EQ(m_boxes, std::vector<std::string>{kExchangeFailure + "52"});

    // A connection that the service closed while idle is not used again:
    // the request goes out on a new one, once.
    ASSERT_TRUE(book());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(book());
    EXPECT_EQ(s_service->requestsRead(), read + 4);
    EXPECT_EQ(m_boxes.size(), 1u);
}

TEST_F(KeptConnections, NetUtilsFiniEndsAnExchangeInFlightAndTheLibraryStartsAgain)
{
    s_service->setMisbehaviour(Misbehaviour::NoAnswer);
    const int read = s_service->requestsRead();
    bool listed = true;
    std::thread exchange([&] {
        std::string answer;
        listed = ListMeetings("ZC10001", &answer);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return s_service->requestsRead() > read; }, 10000));
    // Meanwhile a connection kept idle, and a TLS session.
    s_service->setMisbehaviour(Misbehaviour::KeepsThenDrops);
    EXPECT_TRUE(book());

    NET_UTILS_Fini();
    exchange.join();
    EXPECT_FALSE(listed);

    ASSERT_NE(NET_UTILS_Init(), 0);
    EXPECT_TRUE(book());
    EXPECT_EQ(s_service->requestsRead(), read + 3);
}

} // namespace

int main(int argc, char** argv)
{
    // A peer that hangs up while the service writes must not end the test.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    initTalvoraResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
