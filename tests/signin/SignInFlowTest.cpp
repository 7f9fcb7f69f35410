// The cloud sign-in against test doubles of the cloud SDK and the HTTP
// library: call order, the query loop, the failure boxes with what each one
// releases, the field search and the password recovery.

#include "CloudSignIn.h"

#include "Config.h"
#include "ErrorBox.h"
#include "KelpNetUtilsDouble.h"
#include "SignInTestSupport.h"
#include "StrevonetDouble.h"
#include "log/Log.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using signin_test::encryptedPassword;

namespace {

const std::string kAppKey = "8f3a1c6e0b9d47e2a5c4f1d7b2e60a93";
const std::string kAccessToken = "9c1e5a7b3d2f4e6a8b0c1d2e3f4a5b6c";
const std::string kAccountToken = "a1b2c3d4e5f6g7h8";
const std::string kPlainPassword = "Zs-Meet-2024";

std::vector<std::string> cleanUp()
{
    return {"NET_Destroy", "Strevo_Logout", "Strevo_Data_Free", "Strevo_FiniLib"};
}

std::string answerWith(const std::string& fields)
{
    return "{" + fields + "}";
}

std::string fullAnswer(const std::string& plain = kPlainPassword, const std::string& token = kAccountToken)
{
    return answerWith(R"("userName":"zhangsan","email":"zhangsan@example.com","password":")" +
                      encryptedPassword(plain, token) + R"(","zcode":"ZC10001","token":")" + token + "\"");
}

struct SignInRun
{
    int result = 0;
    talvora::CloudAccount account;
    std::string out;                // standard output
    std::string log;                // lines the run added to the log file
    std::vector<std::string> boxes; // texts of the "出错提示" boxes
    // Every call of both libraries and every box, in the order they happened.
    std::vector<std::string> timeline;
};

class SignInFlow : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/talvora-signin-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        s_dir = pattern;
        ASSERT_NE(openLogFile((s_dir / "signin.log").c_str()), nullptr);
    }
    static void TearDownTestSuite()
    {
        openLogFile("/dev/null");
        fs::remove_all(s_dir);
    }

    void SetUp() override
    {
        kelp_double::reset();
        strevo_double::reset();
        strevo_double::setLogin(0, kAccessToken);
    }
    void TearDown() override
    {
        talvora::setErrorBoxHook({});
        strevo_double::setCallObserver({});
    }

    static SignInRun signIn()
    {
        SignInRun run;
        size_t kelpSeen = 0;
        const auto catchUpKelp = [&] {
            const std::vector<std::string> calls = kelp_double::calls();
            for (; kelpSeen < calls.size(); ++kelpSeen)
                run.timeline.push_back("NET_" + calls[kelpSeen]);
        };
        strevo_double::setCallObserver([&](const std::string& name) {
            catchUpKelp();
            run.timeline.push_back(name);
        });
        talvora::setErrorBoxHook([&](QWidget* parent, const QString& title, const QString& text) {
            catchUpKelp();
            EXPECT_EQ(parent, nullptr);
            EXPECT_EQ(title.toStdString(), "出错提示");
            run.boxes.push_back(text.toStdString());
            run.timeline.push_back("box");
        });

        const auto logStart = fs::file_size(s_dir / "signin.log");
        ::testing::internal::CaptureStdout();
        run.result = talvora::signInToCloud(run.account);
        run.out = ::testing::internal::GetCapturedStdout();
        catchUpKelp();

        std::ifstream log(s_dir / "signin.log", std::ios::binary);
        log.seekg(static_cast<std::streamoff>(logStart));
        run.log.assign(std::istreambuf_iterator<char>(log), {});
        return run;
    }

    // The log lines' messages (the text after the "...:line]" prefix).
    static std::vector<std::string> messages(const std::string& log)
    {
        std::vector<std::string> result;
        std::istringstream lines(log);
        for (std::string line; std::getline(lines, line);) {
            const size_t end = line.find(']');
            result.push_back(end == std::string::npos ? line : line.substr(end + 1));
        }
        return result;
    }

    static std::vector<std::string> before(const std::vector<std::string>& tail)
    {
        std::vector<std::string> timeline = {"NET_Create", "Strevo_InitLib", "Strevo_Init",
                                             "Strevo_Mid_Login"};
        timeline.insert(timeline.end(), tail.begin(), tail.end());
        return timeline;
    }

    static fs::path s_dir;
};

fs::path SignInFlow::s_dir;

// --- The way in: handle, library, sign-in ----------------------------------

TEST_F(SignInFlow, StartsTheLibraryWithTheCompiledInHostsAndKey)
{
    kelp_double::queueAnswer(fullAnswer());
    const SignInRun run = signIn();
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(strevo_double::initLibArguments().authHost, talvora::config::kCloudAuthUrl);
    EXPECT_EQ(strevo_double::initLibArguments().apiHost, talvora::config::kCloudApiUrl);
    EXPECT_EQ(strevo_double::initLibArguments().appKey, kAppKey);
    EXPECT_EQ(strevo_double::initAppKey(), kAppKey);
}

TEST_F(SignInFlow, EarlyFailuresShowTheirBoxAndReleaseWhatTheTableSays)
{
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        std::string box;
        std::vector<std::string> timeline;
    };
    const std::vector<Case> cases = {
        {"no handle",
         [] { kelp_double::setCreateResult(-1); },
         "网络异常(创建HTTP句柄失败)",
         {"NET_Create", "box"}},
        {"InitLib",
         [] { strevo_double::setInitLibResult(-1); },
         "登录异常(Strevo_InitLib初始化Strevo失败)",
         {"NET_Create", "Strevo_InitLib", "box"}},
        {"Init",
         [] { strevo_double::setInitResult(-1); },
         "登录异常(Strevo_Init初始化Strevo失败)",
         {"NET_Create", "Strevo_InitLib", "Strevo_Init", "box"}},
        {"Mid_Login", [] { strevo_double::setLogin(-1, ""); }, "登录异常(Strevo_Mid_Login登录失败)",
         before({"box", "Strevo_FiniLib"})},
        {"length without buffer", [] { strevo_double::setLoginLengthWithoutBuffer(12); },
         "登录异常(Strevo_Mid_Login登录失败)", before({"box", "Strevo_FiniLib"})},
        {"negative length", [] { strevo_double::setLoginLengthWithoutBuffer(-3); },
         "登录异常(Strevo_Mid_Login登录失败)", before({"box", "Strevo_FiniLib"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.arrange();
        const SignInRun run = signIn();
        EXPECT_EQ(run.result, -1);
        EXPECT_EQ(run.boxes, std::vector<std::string>{c.box});
        EXPECT_EQ(run.timeline, c.timeline);
        EXPECT_TRUE(kelp_double::exchanges().empty());
    }
}

TEST_F(SignInFlow, CancelledSignInEndsQuietly)
{
    strevo_double::setLogin(0, "");
    const SignInRun run = signIn();
    EXPECT_EQ(run.result, -1);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.timeline, before({"Strevo_FiniLib"}));
    EXPECT_EQ(run.out, "login cancelled\n");
    EXPECT_EQ(messages(run.log), std::vector<std::string>{"login cancelled"});
}

// --- The account query --------------------------------------------------------

TEST_F(SignInFlow, QueriesOnceWithTheTokenAndReleasesEverythingBeforeDecrypting)
{
    kelp_double::queueAnswer(fullAnswer());
    const SignInRun run = signIn();
    ASSERT_EQ(run.result, 0);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.timeline, before({"NET_ShortLinkExchange", "NET_Destroy", "Strevo_Logout",
                                    "Strevo_Data_Free", "Strevo_FiniLib"}));
    EXPECT_EQ(strevo_double::unwipedTokens(), 0);

    const std::vector<kelp_double::Exchange> exchanges = kelp_double::exchanges();
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges[0].url, std::string(talvora::config::kCloudApiUrl) +
                                    "/api/route/vas/zhumu/userInfo/get?accessToken=" + kAccessToken);
    EXPECT_EQ(exchanges[0].mode, 2);
    EXPECT_TRUE(exchanges[0].recordWasZeroed);
    EXPECT_TRUE(exchanges[0].headers.empty());
    EXPECT_EQ(strevo_double::outstandingTokens(), 0);
    EXPECT_EQ(strevo_double::foreignFrees(), 0);

    EXPECT_EQ(run.account.userName, "zhangsan");
    EXPECT_EQ(run.account.signInAccount, "zhangsan@example.com");
    EXPECT_EQ(run.account.password, kPlainPassword);
    EXPECT_EQ(run.account.zcode, "ZC10001");
}

TEST_F(SignInFlow, AUserNameWithoutEmailSignsInWithTheSuffix)
{
    const std::string token = "tok-lisi-9f8e7d6c";
    kelp_double::queueAnswer(answerWith(R"("userName":"lisi","password":")" +
                                        encryptedPassword("LiSi-Pass", token) +
                                        R"(","zcode":"ZC10002","token":")" + token + "\""));
    const SignInRun run = signIn();
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.account.userName, "lisi");
    EXPECT_EQ(run.account.signInAccount, std::string("lisi") + talvora::config::kEmailSuffix);
    EXPECT_EQ(run.account.password, "LiSi-Pass");
    EXPECT_EQ(run.account.zcode, "ZC10002");
    const std::vector<std::string> lines = messages(run.log);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "0: can not find email"), lines.end());
}

TEST_F(SignInFlow, AFailedExchangeIsRetriedWithOneLogLine)
{
    kelp_double::queueFailure(28);
    kelp_double::queueAnswer(fullAnswer());
    const SignInRun run = signIn();
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.account.password, kPlainPassword);
    EXPECT_EQ(kelp_double::exchanges().size(), 2u);
    const std::vector<std::string> lines = messages(run.log);
    EXPECT_EQ(std::count_if(
                  lines.begin(), lines.end(),
                  [](const std::string& l) { return l.find("ShortLinkExchange fail") != std::string::npos; }),
              1);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "0: NET_HTTPCLIENT_ShortLinkExchange fail, code: 28"),
              lines.end());
}

TEST_F(SignInFlow, NoAccountAfterThreeAttempts)
{
    for (int i = 0; i < 3; ++i)
        kelp_double::queueAnswer(R"({"zcode":"ZC1","token":"abcdefgh"})");
    const SignInRun run = signIn();
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.boxes, std::vector<std::string>{"登录异常( KaduStrevo返回失败 )"});
    std::vector<std::string> tail(3, "NET_ShortLinkExchange");
    tail.push_back("box");
    const std::vector<std::string> cleanup = cleanUp();
    tail.insert(tail.end(), cleanup.begin(), cleanup.end());
    EXPECT_EQ(run.timeline, before(tail));

    std::vector<std::string> loop;
    for (const std::string& line : messages(run.log)) {
        if (line.find("can not find") != std::string::npos)
            loop.push_back(line);
    }
    EXPECT_EQ(loop, (std::vector<std::string>{"0: can not find email", "0: can not find username",
                                              "1: can not find email", "1: can not find username",
                                              "2: can not find email", "2: can not find username"}));
}

TEST_F(SignInFlow, EveryExchangeFailing)
{
    for (int i = 0; i < 3; ++i)
        kelp_double::queueFailure(7);
    const SignInRun run = signIn();
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.boxes, std::vector<std::string>{"登录异常( KaduStrevo返回失败 )"});
    EXPECT_EQ(messages(run.log),
              (std::vector<std::string>{"strLoginString: " + std::string(talvora::config::kCloudApiUrl) +
                                            "/api/route/vas/zhumu/userInfo/get?accessToken=***(len 32)",
                                        "0: NET_HTTPCLIENT_ShortLinkExchange fail, code: 7",
                                        "1: NET_HTTPCLIENT_ShortLinkExchange fail, code: 7",
                                        "2: NET_HTTPCLIENT_ShortLinkExchange fail, code: 7"}));
    EXPECT_EQ(run.out.find("strRespondData"), std::string::npos);
}

TEST_F(SignInFlow, AnEmptyEmailEndsTheLoopWithoutAnAccount)
{
    kelp_double::queueAnswer(R"({"email":"","userName":"zs","password":"x","zcode":"Z","token":"abcdefgh"})");
    const SignInRun run = signIn();
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(kelp_double::exchanges().size(), 1u);
    EXPECT_EQ(run.boxes, std::vector<std::string>{"登录异常( KaduStrevo返回失败 )"});
}

TEST_F(SignInFlow, AnEmailWithoutUserNameFails)
{
    kelp_double::queueAnswer(R"({"email":"a@b.c","password":"x","zcode":"Z","token":"abcdefgh"})");
    const SignInRun run = signIn();
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.boxes, std::vector<std::string>{"登录异常(找不到userName字段)"});
    std::vector<std::string> tail = {"NET_ShortLinkExchange", "box"};
    const std::vector<std::string> cleanup = cleanUp();
    tail.insert(tail.end(), cleanup.begin(), cleanup.end());
    EXPECT_EQ(run.timeline, before(tail));
}

TEST_F(SignInFlow, MissingFieldsAfterTheCleanUp)
{
    const std::string password = encryptedPassword(kPlainPassword, kAccountToken);
    const std::string head = R"("email":"a@b.c","userName":"zs")";
    struct Case
    {
        std::string answer;
        std::string box;
    };
    const std::vector<Case> cases = {
        {answerWith(head + R"(,"zcode":"Z","token":"abcdefgh")"), "登录异常(找不到password字段)"},
        {answerWith(head + R"(,"password":")" + password + R"(","token":"abcdefgh")"),
         "登录异常(找不到zcode字段)"},
        {answerWith(head + R"(,"password":")" + password + R"(","zcode":"Z")"), "登录异常(找不到token字段)"},
        {answerWith(head + R"(,"password":"","zcode":"Z","token":"abcdefgh")"), "登录异常(base64解码失败)"},
        {answerWith(head + R"(,"password":"QQ==","zcode":"Z","token":"abcdefgh")"),
         "登录异常(base64解码失败)"},
        {answerWith(head + R"(,"password":"====","zcode":"Z","token":"abcdefgh")"),
         "登录异常(base64解码失败)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        SetUp();
        kelp_double::queueAnswer(c.answer);
        const SignInRun run = signIn();
        EXPECT_EQ(run.result, -1);
        EXPECT_EQ(run.boxes, std::vector<std::string>{c.box});
        std::vector<std::string> tail = {"NET_ShortLinkExchange"};
        const std::vector<std::string> cleanup = cleanUp();
        tail.insert(tail.end(), cleanup.begin(), cleanup.end());
        tail.push_back("box");
        EXPECT_EQ(run.timeline, before(tail));
    }
}

// --- The field search ---------------------------------------------------------

TEST_F(SignInFlow, TheQuotedWordEmailAsAValueIsFoundFirst)
{
    // The first "email" is a value; the search skips the comma after it and
    // reads the next quoted text, which is the key "userName".
    kelp_double::queueAnswer(
        R"({"kind":"email","userName":"zs","password":")" + encryptedPassword(kPlainPassword, kAccountToken) +
        R"(","zcode":"Z1","token":")" + kAccountToken + R"(","email":"real@example.com"})");
    const SignInRun run = signIn();
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.account.signInAccount, "userName");
    EXPECT_EQ(run.account.userName, "zs");
}

TEST_F(SignInFlow, AnUnquotedZcodeYieldsTheNextQuotedText)
{
    kelp_double::queueAnswer(R"({"email":"a@b.c","userName":"zs","zcode":10001,"password":")" +
                             encryptedPassword(kPlainPassword, kAccountToken) + R"(","token":")" +
                             kAccountToken + "\"}");
    const SignInRun run = signIn();
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.account.zcode, "password");
}

TEST_F(SignInFlow, ValuesAreTakenUnchangedAndASpaceAfterTheColonIsSkipped)
{
    kelp_double::queueAnswer(R"({"email": "a\u0040b.c ","userName": " zs","password": ")" +
                             encryptedPassword(kPlainPassword, kAccountToken) +
                             R"(","zcode": "Z 1","token": ")" + kAccountToken + "\"}");
    const SignInRun run = signIn();
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.account.signInAccount, "a\\u0040b.c ");
    EXPECT_EQ(run.account.userName, " zs");
    EXPECT_EQ(run.account.zcode, "Z 1");
    EXPECT_EQ(run.account.password, kPlainPassword);
}

TEST_F(SignInFlow, TruncatedAnswersNeverReadPastTheirEnd)
{
    for (const std::string& answer :
         {std::string(R"({"email")"), std::string(R"({"email":"open)"), std::string(R"("userName")"),
          std::string(R"("email":"x","userName")")}) {
        SCOPED_TRACE(answer);
        SetUp();
        kelp_double::queueAnswer(answer);
        const SignInRun run = signIn();
        EXPECT_EQ(run.result, -1);
        EXPECT_EQ(run.boxes.size(), 1u);
    }
}

// --- The password --------------------------------------------------------------

TEST_F(SignInFlow, PaddingRemoval)
{
    struct Case
    {
        std::string plain; // exactly what the service encrypts
        bool pkcs7;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"abcde", true, "abcde"},                              // eleven bytes of 11 go
        {"", true, ""},                                        // a whole block of 16s
        {"LiSi-Password-16", true, "LiSi-Password-16"},        // a full padding block after 16 characters
        {"abcdefghijklmno\x10", false, "abcdefghijklmno\x10"}, // a lone 16 stays
        {std::string("ab\x0f", 3) + std::string(13, '\0'), false, "ab\x0f"}, // more padding than text
        {std::string("abc\0\x05\x05\x05\x05\x05", 9) + std::string(7, 'z'), false, "abc"}, // stops at zero
        {std::string(15, 'q') + "\x11", false, std::string(15, 'q') + "\x11"}, // above 16: unchanged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        SetUp();
        const std::string cipher = signin_test::base64(signin_test::encrypt(c.plain, kAccountToken, c.pkcs7));
        kelp_double::queueAnswer(R"({"email":"a@b.c","userName":"zs","password":")" + cipher +
                                 R"(","zcode":"Z","token":")" + kAccountToken + "\"}");
        const SignInRun run = signIn();
        ASSERT_EQ(run.result, 0);
        EXPECT_EQ(run.account.password, c.expected);
    }
}

TEST_F(SignInFlow, OutOfRangeValuesEndInABox)
{
    const std::string head = R"({"email":"a@b.c","userName":"zs",)";
    struct Case
    {
        std::string answer;
        std::string box;
    };
    const std::vector<Case> cases = {
        {head + R"("password":")" + signin_test::base64(std::string(129, 'x')) +
             R"(","zcode":"Z","token":")" + kAccountToken + "\"}",
         "登录异常(password字段超出128字节)"},
        {head + R"("password":")" + encryptedPassword(std::string(32, 'p'), kAccountToken) +
             R"(","zcode":"Z","token":")" + kAccountToken + "\"}",
         "登录异常(密码超出32字节)"},
        {head + R"("password":")" + signin_test::base64(std::string(128, 'x')) +
             R"(","zcode":"Z","token":")" + kAccountToken + "\"}",
         "登录异常(密码超出32字节)"},
        {head + R"("password":")" + encryptedPassword("pw", kAccountToken) +
             R"(","zcode":"Z","token":"short"})",
         "登录异常(token字段不足8个字符)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        SetUp();
        kelp_double::queueAnswer(c.answer);
        const SignInRun run = signIn();
        EXPECT_EQ(run.result, -1);
        EXPECT_EQ(run.boxes, std::vector<std::string>{c.box});
        EXPECT_EQ(strevo_double::outstandingTokens(), 0);
    }
}

TEST_F(SignInFlow, TheLongestPasswordThatFitsSignsIn)
{
    const std::string longest(31, 'L');
    kelp_double::queueAnswer(R"({"email":"a@b.c","userName":"zs","password":")" +
                             encryptedPassword(longest, kAccountToken) + R"(","zcode":"Z","token":")" +
                             kAccountToken + "\"}");
    const SignInRun run = signIn();
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.account.password, longest);
}

// --- Secrets ----------------------------------------------------------------------

TEST_F(SignInFlow, SecretsNeverReachTheLogOrStandardOutput)
{
    const std::string encrypted = encryptedPassword(kPlainPassword, kAccountToken);
    kelp_double::queueFailure(6);
    kelp_double::queueAnswer(fullAnswer());
    const SignInRun run = signIn();
    ASSERT_EQ(run.result, 0);

    const std::string base =
        std::string(talvora::config::kCloudApiUrl) + "/api/route/vas/zhumu/userInfo/get?accessToken=";
    const std::string shownAnswer =
        R"x({"userName":"zhangsan","email":"zhangsan@example.com","password":"***(len )x" +
        std::to_string(encrypted.size()) + R"x()","zcode":"ZC10001","token":"***(len 16)"})x";
    EXPECT_EQ(run.out, "strLoginString: " + base +
                           "***(len 32)\n"
                           "strRespondData: " +
                           shownAnswer +
                           "\n"
                           "lenDec: 16\n"
                           "getKey: ***(len 16)\n");
    EXPECT_EQ(messages(run.log),
              (std::vector<std::string>{"strLoginString: " + base + "***(len 32)",
                                        "0: NET_HTTPCLIENT_ShortLinkExchange fail, code: 6",
                                        "strRespondData: " + shownAnswer}));
    for (const std::string& secret : {kPlainPassword, kAccessToken, kAccountToken, encrypted}) {
        EXPECT_EQ(run.out.find(secret), std::string::npos) << secret;
        EXPECT_EQ(run.log.find(secret), std::string::npos) << secret;
    }
}

TEST_F(SignInFlow, SecretsAreMaskedWhereverTheyStand)
{
    // An unquoted token, a second "password" key, and the access token echoed
    // back by the service.
    kelp_double::queueAnswer(R"({"token" : 12345678, "password":"sec-one","echo":")" + kAccessToken +
                             R"(","nested":{"password":"sec-two"}})");
    const SignInRun run = signIn();
    EXPECT_EQ(run.result, -1);
    for (const std::string& secret :
         {std::string("12345678"), std::string("sec-one"), std::string("sec-two"), kAccessToken}) {
        EXPECT_EQ(run.out.find(secret), std::string::npos) << secret;
        EXPECT_EQ(run.log.find(secret), std::string::npos) << secret;
    }
    EXPECT_NE(run.out.find(R"x("echo":"***(len 32)")x"), std::string::npos) << run.out;
}

} // namespace
