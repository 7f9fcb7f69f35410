// The conferencing REST API of the development service over HTTPS, against
// an instance of this test's own (fresh database, free port): refusals of bad
// input, answers the client relies on, persistence across a restart, the log.

#include "HttpsClient.h"
#include "MeetingJson.h"
#include "ServiceProcess.h"
#include "strevonet/TokenRequest.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

const char* const kApiKey = "5D2E8A41C07B93F6E1A04C8B7D3F2619";
const char* const kApiSecret = "9B47E0C3A5D1286F4E0B7A93C6D85F12";

std::string temporaryDirectory()
{
    char pattern[] = "/tmp/devservice-api-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

std::string fileText(const std::string& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

Fields withCredentials(Fields fields)
{
    fields.insert(fields.begin(), {{"api_key", kApiKey}, {"api_secret", kApiSecret}});
    return fields;
}

Fields booking(const std::string& topic, const std::string& start = "2030-03-07 9:05:00")
{
    return withCredentials({{"zcode", "ZC10001"},
                            {"topic", topic},
                            {"type", "2"},
                            {"start_time", start},
                            {"duration", "45"},
                            {"option_no_video_host", "true"},
                            {"option_no_video_participants", "true"}});
}

Fields replace(Fields fields, const std::string& key, const std::string& value)
{
    for (auto& field : fields) {
        if (field.first == key)
            field.second = value;
    }
    return fields;
}

Fields without(Fields fields, const std::string& key)
{
    Fields kept;
    for (auto& field : fields) {
        if (field.first != key)
            kept.push_back(field);
    }
    return kept;
}

class DevserviceApi : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_directory = new std::string(temporaryDirectory());
        s_service = new devservice_test::ServiceProcess(DEVSERVICE_BINARY, *s_directory + "/service.db",
                                                        DEVSERVICE_CERT_DIR);
        std::string error;
        if (!s_service->start(&error))
            FAIL() << error;
    }
    static void TearDownTestSuite()
    {
        delete s_service;
        s_service = nullptr;
        std::system(("rm -rf '" + *s_directory + "'").c_str());
        delete s_directory;
    }

    // The query carries everything, as the client sends it: a POST with an
    // empty body.
    static talvora::https::Answer call(const std::string& path, const Fields& fields)
    {
        return talvora::https::post({s_service->baseUrl() + path + "?" + talvora::https::formEncode(fields),
                                     {"Content-Length: 0"},
                                     {}});
    }
    static talvora::https::Answer callRaw(const std::string& pathAndQuery)
    {
        return talvora::https::post({s_service->baseUrl() + pathAndQuery, {}, {}});
    }
    static std::string listOf(const std::string& zcode)
    {
        const auto answer =
            call("/v3/meeting/list",
                 withCredentials({{"page_size", "50"}, {"page_number", "1"}, {"zcode", zcode}}));
        EXPECT_EQ(answer.status, 200) << answer.body;
        return answer.body;
    }
    static std::string idIn(const std::string& answer)
    {
        const size_t key = answer.find("\"id\":\"");
        if (key == std::string::npos)
            return {};
        const size_t start = key + 6;
        return answer.substr(start, answer.find('"', start) - start);
    }

    static std::string* s_directory;
    static devservice_test::ServiceProcess* s_service;
};

std::string* DevserviceApi::s_directory = nullptr;
devservice_test::ServiceProcess* DevserviceApi::s_service = nullptr;

void expectRefused(const talvora::https::Answer& answer, long status, const std::string& what)
{
    ASSERT_TRUE(answer.completed) << what;
    EXPECT_EQ(answer.status, status) << what << ": " << answer.body;
    EXPECT_EQ(answer.body.rfind("{\"code\":", 0), 0u) << what << ": " << answer.body;
    EXPECT_NE(answer.body.find("\"message\":"), std::string::npos) << what;
    // The client counts an answer holding one of these quoted keys as success.
    for (const char* key : {"\"id\"", "\"meeting_id\"", "\"deleted_at\""})
        EXPECT_EQ(answer.body.find(key), std::string::npos) << what << ": " << answer.body;
}

TEST_F(DevserviceApi, CreateAnswersTheMeetingWithUuidAndElevenDigitId)
{
    const auto answer = call("/v3/meeting/create", booking("周会 #1 & more"));
    ASSERT_EQ(answer.status, 200) << answer.body;
    EXPECT_EQ(answer.body.rfind("{\"uuid\":\"", 0), 0u) << answer.body;
    const std::string id = idIn(answer.body);
    EXPECT_EQ(id.size(), 11u);
    EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos) << id;
    EXPECT_NE(answer.body.find("\"topic\":\"周会 #1 & more\""), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("\"start_time\":\"2030-03-07T01:05:00Z\""), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("\"option_host_video\":false"), std::string::npos);
    EXPECT_NE(answer.body.find("\"option_participants_video\":false"), std::string::npos);
}

TEST_F(DevserviceApi, ListAnswersPageCountersAsTextAndEveryMeetingKey)
{
    const auto created = call("/v3/meeting/create", replace(booking("列表"), "zcode", "ZC10002"));
    ASSERT_EQ(created.status, 200) << created.body;
    const std::string list = listOf("ZC10002");
    EXPECT_NE(list.find("\"page_count\":\"1\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"total_records\":\"1\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"page_number\":\"1\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"page_size\":\"50\""), std::string::npos) << list;
    for (const char* key : talvora_test::meetingKeys())
        EXPECT_NE(list.find("\"" + std::string(key) + "\":"), std::string::npos) << key;
}

TEST_F(DevserviceApi, RoutesAnswerGetAndPostAlike)
{
    const std::string query =
        "/v3/user/get?" +
        talvora::https::formEncode(withCredentials({{"logintype", "1"}, {"loginname", "ZC10001"}}));
    const auto posted = callRaw(query);
    ASSERT_EQ(posted.status, 200) << posted.body;
    EXPECT_NE(posted.body.find("\"username\":\"张三\""), std::string::npos) << posted.body;
    EXPECT_EQ(posted.body.find("a1b2c3d4e5f6g7h8"), std::string::npos)
        << "the user answer is logged by the client";
    EXPECT_EQ(posted.body.find("Zs-Meet-2024"), std::string::npos);
    // libcurl's plain GET through the same CA.
    CURL* curl = curl_easy_init();
    const std::string url = s_service->baseUrl() + query;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, s_service->caFile().c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
    ASSERT_EQ(curl_easy_perform(curl), CURLE_OK);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    EXPECT_EQ(status, 200);
}

TEST_F(DevserviceApi, WrongCredentialsAndUnknownAccountsAreRefused)
{
    expectRefused(call("/v3/meeting/list", replace(booking("x"), "api_secret", "0000")), 401, "wrong secret");
    expectRefused(call("/v3/meeting/list", replace(booking("x"), "api_key", "0000")), 401, "wrong key");
    expectRefused(call("/v3/meeting/list", without(booking("x"), "api_secret")), 401, "no secret");
    expectRefused(call("/v3/meeting/create", replace(booking("x"), "zcode", "ZC99999")), 404,
                  "unknown zcode");
    expectRefused(call("/v3/user/get", withCredentials({{"logintype", "1"}, {"loginname", "nobody"}})), 404,
                  "unknown user");
    expectRefused(call("/v3/user/update", withCredentials({{"zcode", "ZC404"}, {"username", "x"}})), 404,
                  "rename of an unknown zcode");
}

TEST_F(DevserviceApi, BadInputGetsA400AndWritesNothing)
{
    const std::string before = listOf("ZC10001");
    const Fields good = booking("valid");
    const std::pair<std::string, Fields> cases[] = {
        {"missing topic", without(good, "topic")},
        {"missing start_time", without(good, "start_time")},
        {"missing duration", without(good, "duration")},
        {"missing no-video option", without(good, "option_no_video_participants")},
        {"empty topic", replace(good, "topic", "")},
        {"non-numeric duration", replace(good, "duration", "45min")},
        {"negative duration", replace(good, "duration", "-5")},
        {"zero duration", replace(good, "duration", "0")},
        {"huge duration", replace(good, "duration", "99999999999999999999")},
        {"unparsable time", replace(good, "start_time", "tomorrow 9:05")},
        {"impossible date", replace(good, "start_time", "2030-02-30 9:05:00")},
        {"no-video not a boolean", replace(good, "option_no_video_host", "yes")},
        {"over-long topic", replace(good, "topic", std::string(201, 'x'))},
        {"over-long value", replace(good, "zcode", std::string(5000, 'Z'))},
        {"invalid UTF-8", replace(good, "topic", "bad \xFF\xFE topic")},
        {"control character", replace(good, "topic", "two\nlines")},
        {"duplicated key",
         [&] {
             Fields twice = good;
             twice.push_back({"zcode", "ZC10002"});
             return twice;
         }()},
    };
    for (const auto& [what, fields] : cases)
        expectRefused(call("/v3/meeting/create", fields), 400, what);
    expectRefused(call("/v3/meeting/list", withCredentials({{"zcode", "ZC10001"}, {"page_size", "ten"}})),
                  400, "non-numeric page size");
    expectRefused(call("/v3/user/update", withCredentials({{"zcode", "ZC10001"}, {"username", ""}})), 400,
                  "empty user name");
    expectRefused(
        call("/v3/user/update", withCredentials({{"zcode", "ZC10001"}, {"username", std::string(65, 'n')}})),
        400, "over-long user name");
    expectRefused(callRaw("/v3/meeting/create?api_key=" + std::string(kApiKey) + "&api_secret=" + kApiSecret +
                          "&zcode=ZC10001&topic=%ZZ%&type=2&start_time=2030-03-07%209:05:00&duration=4%00"
                          "&option_no_video_host=true&option_no_video_participants=true"),
                  400, "broken percent escapes");
    EXPECT_EQ(listOf("ZC10001"), before) << "a refused request changed the stored meetings";
}

TEST_F(DevserviceApi, UpdateAndDeleteConcernOnlyTheOwnersMeeting)
{
    const auto created = call("/v3/meeting/create", booking("mine"));
    const std::string id = idIn(created.body);
    ASSERT_FALSE(id.empty()) << created.body;

    Fields update = booking("renamed", "2030-03-08 14:30:00");
    update.insert(update.begin() + 2, {"meeting_id", id});
    expectRefused(call("/v3/meeting/update", replace(update, "zcode", "ZC10002")), 404,
                  "someone else's meeting");
    expectRefused(call("/v3/meeting/update", replace(update, "meeting_id", "85000000000")), 404,
                  "unknown meeting");
    const auto updated = call("/v3/meeting/update", update);
    ASSERT_EQ(updated.status, 200) << updated.body;
    EXPECT_NE(updated.body.find("\"meeting_id\":\"" + id + "\""), std::string::npos) << updated.body;
    const std::string list = listOf("ZC10001");
    EXPECT_NE(list.find("\"topic\":\"renamed\""), std::string::npos);
    EXPECT_NE(list.find("\"start_time\":\"2030-03-08T06:30:00Z\""), std::string::npos) << list;

    const Fields erase = withCredentials({{"meeting_id", id}, {"zcode", "ZC10001"}});
    expectRefused(call("/v3/meeting/delete", replace(erase, "zcode", "ZC10002")), 404,
                  "delete by another account");
    const auto deleted = call("/v3/meeting/delete", erase);
    ASSERT_EQ(deleted.status, 200) << deleted.body;
    EXPECT_NE(deleted.body.find("\"deleted_at\":\""), std::string::npos) << deleted.body;
    EXPECT_EQ(listOf("ZC10001").find(id), std::string::npos);
    expectRefused(call("/v3/meeting/delete", erase), 404, "deleted twice");
}

TEST_F(DevserviceApi, GuessingPasswordsIsSlowedDownPerAccount)
{
    const std::string cloudAppKey = "8f3a1c6e0b9d47e2a5c4f1d7b2e60a93";
    const auto form = [](const char* path, const Fields& fields) {
        return talvora::https::post({s_service->baseUrl() + path,
                                     {"Content-Type: application/x-www-form-urlencoded"},
                                     talvora::https::formEncode(fields)});
    };
    struct Route
    {
        const char* path;
        Fields guess, right;
    };
    for (const Route& route :
         {Route{"/oauth/token",
                {{"app_key", cloudAppKey}, {"account", "demo2"}, {"password", "guess"}},
                {{"app_key", cloudAppKey}, {"account", "demo2"}, {"password", "talvora123"}}},
          Route{"/sdk/v1/login",
                {{"account", "lisi@talvora.dev"}, {"password", "guess"}},
                {{"account", "lisi@talvora.dev"}, {"password", "LiSi-Password-16"}}}}) {
        SCOPED_TRACE(route.path);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(form(route.path, route.guess).status, 401);
        const auto locked = form(route.path, route.right);
        EXPECT_EQ(locked.status, 429) << "even the right password waits";
        EXPECT_NE(locked.body.find("\"error\":\"too_many_attempts\""), std::string::npos) << locked.body;
        for (const char* key : {"access_token", "session"})
            EXPECT_EQ(locked.body.find(key), std::string::npos) << locked.body;
    }
    EXPECT_EQ(
        form("/sdk/v1/login", {{"account", "zhangsan@example.com"}, {"password", "Zs-Meet-2024"}}).status,
        200)
        << "other accounts go on";
    // The cloud sign-in dialog takes the refusal like a wrong password.
    EXPECT_EQ(
        talvora::strevonet::requestToken(s_service->baseUrl(), cloudAppKey, "demo2", "talvora123").outcome,
        talvora::strevonet::TokenResult::Outcome::Rejected);
}

// The status of a POST of `body` on a connection of its own, or 0.
long postAlone(const std::string& url, const std::string& contentType, const std::string& body)
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return 0;
    curl_slist* headers = curl_slist_append(nullptr, ("Content-Type: " + contentType).c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, DEVSERVICE_CERT_DIR "/ca.pem");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return status;
}

TEST_F(DevserviceApi, OverLongCredentialsAreRefusedWhateverTheBody)
{
    const std::string cloudAppKey = "8f3a1c6e0b9d47e2a5c4f1d7b2e60a93";
    const std::string form = "application/x-www-form-urlencoded";
    const std::string longest(256, 'n');
    const std::string tooLong(257, 'n');
    const auto cloud = [&](const std::string& account, const std::string& password) {
        return talvora::https::formEncode(
            {{"app_key", cloudAppKey}, {"account", account}, {"password", password}});
    };
    const auto sdk = [](const std::string& account, const std::string& password) {
        return talvora::https::formEncode({{"account", account}, {"password", password}});
    };
    struct Case
    {
        const char* what;
        const char* path;
        std::string contentType, body;
        long status;
    };
    const Case cases[] = {
        {"cloud, longest name", "/oauth/token", form, cloud(longest, "x"), 401},
        {"cloud, long name", "/oauth/token", form, cloud(tooLong, "x"), 400},
        {"cloud, long password", "/oauth/token", form, cloud("demo2", tooLong), 400},
        {"cloud, 60 KB name as text/plain", "/oauth/token", "text/plain", cloud(std::string(60000, 'n'), "x"),
         400},
        {"cloud, long name as JSON", "/oauth/token", "application/json", cloud(tooLong, "x"), 400},
        {"SDK, long name", "/sdk/v1/login", form, sdk(tooLong, "x"), 400},
        {"SDK, long password", "/sdk/v1/login", form, sdk("nobody@talvora.dev", tooLong), 400},
        {"SDK, right length", "/sdk/v1/login", form, sdk(longest, "x"), 401},
    };
    for (const Case& c : cases)
        EXPECT_EQ(postAlone(s_service->baseUrl() + c.path, c.contentType, c.body), c.status) << c.what;
}

TEST_F(DevserviceApi, BothLoginNamesOfAnAccountShareOneCount)
{
    const std::string url = s_service->baseUrl() + "/sdk/v1/login";
    const std::string form = "application/x-www-form-urlencoded";
    const auto guess = [&](const char* name) {
        return postAlone(url, form, talvora::https::formEncode({{"account", name}, {"password", "guess"}}));
    };
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(guess("wangwu@example.com"), 401);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(guess("wangwu@talvora.dev"), 401);
    EXPECT_EQ(guess("wangwu@talvora.dev"), 429);
    EXPECT_EQ(guess("WangWu@Example.com"), 429);
}

// A raw TLS connection to the service, verified as the client verifies it,
// for requests sent in pieces. ssl is null when the service refused it.
class TlsConnection
{
public:
    TlsConnection(SSL_CTX* context, int port)
    {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval wait{5, 0}; // a handshake that finds no worker, an answer that never comes
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        if (m_fd < 0 || connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return;
        m_ssl = SSL_new(context);
        SSL_set_fd(m_ssl, m_fd);
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), "127.0.0.1");
        if (SSL_connect(m_ssl) != 1) {
            SSL_free(m_ssl);
            m_ssl = nullptr;
        }
    }
    ~TlsConnection()
    {
        if (m_ssl)
            SSL_free(m_ssl);
        if (m_fd >= 0)
            close(m_fd);
    }
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    bool send(const std::string& text)
    {
        return m_ssl &&
               SSL_write(m_ssl, text.data(), static_cast<int>(text.size())) == static_cast<int>(text.size());
    }
    // The status of the answer, or 0.
    long status()
    {
        char head[13] = {};
        size_t got = 0;
        while (m_ssl && got < 12) {
            const int n = SSL_read(m_ssl, head + got, static_cast<int>(12 - got));
            if (n <= 0)
                return 0;
            got += static_cast<size_t>(n);
        }
        return got == 12 ? std::strtol(head + 9, nullptr, 10) : 0;
    }

private:
    int m_fd = -1;
    SSL* m_ssl = nullptr;
};

SSL_CTX* clientContext(const std::string& caFile)
{
    std::signal(SIGPIPE, SIG_IGN); // writes to connections the service let go
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    return context;
}

TEST_F(DevserviceApi, GuessesSentAtOnceGetNoMoreThanFiveChecked)
{
    const std::string body = talvora::https::formEncode(
        {{"app_key", "8f3a1c6e0b9d47e2a5c4f1d7b2e60a93"}, {"account", "demo"}, {"password", "guess"}});
    const std::string request = "POST /oauth/token HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    SSL_CTX* context = clientContext(s_service->caFile());
    // Every guess is sent but for its last byte; then the last bytes go at once.
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<long> statuses(64);
    std::vector<std::thread> guesses;
    for (size_t i = 0; i < statuses.size(); ++i) {
        guesses.emplace_back([&, i] {
            TlsConnection connection(context, s_service->port());
            connection.send(request.substr(0, request.size() - 1));
            ++ready;
            while (!go)
                std::this_thread::yield();
            if (connection.send(request.substr(request.size() - 1)))
                statuses[i] = connection.status();
        });
    }
    while (ready < static_cast<int>(statuses.size()))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    go = true;
    for (auto& guess : guesses)
        guess.join();
    SSL_CTX_free(context);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 401L), 5);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 429L), 59);
}

// Sends a request one header line every 1.2 s (never a pause long enough for
// the read time-out) until `stop`, or until the service lets go.
void trickle(SSL_CTX* context, int port, const std::atomic<bool>& stop)
{
    TlsConnection connection(context, port);
    std::string line = "POST /health HTTP/1.1\r\n";
    for (int n = 0; !stop && connection.send(line); ++n) {
        for (int tick = 0; tick < 12 && !stop; ++tick)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        line = "X-Line-" + std::to_string(n) + ": slow\r\n";
    }
}

TEST_F(DevserviceApi, TricklingClientsLeaveRoomForOthers)
{
    SSL_CTX* context = clientContext(s_service->caFile());
    std::atomic<bool> stop{false};
    std::vector<std::thread> slow;
    for (int i = 0; i < 70; ++i)
        slow.emplace_back(trickle, context, s_service->port(), std::cref(stop));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));

    CURL* curl = curl_easy_init();
    const std::string url = s_service->baseUrl() + "/health";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, s_service->caFile().c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 3L); // the trickle held it past 10 s
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    double seconds = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(curl, CURLINFO_TOTAL_TIME, &seconds);
    curl_easy_cleanup(curl);
    EXPECT_EQ(code, CURLE_OK) << curl_easy_strerror(code);
    EXPECT_EQ(status, 200);
    std::printf("/health answered in %.3f s beside %zu trickling connections\n", seconds, slow.size());

    stop = true;
    for (std::thread& connection : slow)
        connection.join();
    SSL_CTX_free(context);
}

TEST_F(DevserviceApi, UnknownRoutesAnswer404)
{
    const auto answer = callRaw("/v3/meeting/explode");
    EXPECT_EQ(answer.status, 404);
}

TEST_F(DevserviceApi, TheLogHasOneLinePerRequestAndNoSecrets)
{
    call("/v3/user/get", withCredentials({{"logintype", "1"}, {"loginname", "ZC10001"}}));
    const std::string log = fileText(s_service->logFile());
    EXPECT_NE(log.find("/v3/user/get?"), std::string::npos) << log;
    EXPECT_NE(log.find("api_secret=***"), std::string::npos);
    EXPECT_EQ(log.find(kApiSecret), std::string::npos) << "the API secret reached the log";
}

TEST(DevserviceRestart, KeepsMeetingsAndNamesAndStopsCleanlyOnSigterm)
{
    const std::string directory = temporaryDirectory();
    const std::string data = directory + "/persist.db";
    std::string id;
    {
        devservice_test::ServiceProcess first(DEVSERVICE_BINARY, data, DEVSERVICE_CERT_DIR);
        std::string error;
        ASSERT_TRUE(first.start(&error)) << error;
        const auto created = talvora::https::post(
            {first.baseUrl() + "/v3/meeting/create?" + talvora::https::formEncode(booking("重启之后")),
             {},
             {}});
        ASSERT_EQ(created.status, 200) << created.body;
        id = created.body.substr(created.body.find("\"id\":\"") + 6, 11);
        const auto renamed =
            talvora::https::post({first.baseUrl() + "/v3/user/update?" +
                                      talvora::https::formEncode(withCredentials(
                                          {{"zcode", "ZC10002"}, {"username", "李四 (测试)"}})),
                                  {},
                                  {}});
        ASSERT_EQ(renamed.status, 200) << renamed.body;
        EXPECT_NE(renamed.body.find("\"username\":\"李四 (测试)\""), std::string::npos) << renamed.body;
        EXPECT_EQ(first.stop(), 0) << "SIGTERM should end the service with status 0";
        EXPECT_NE(fileText(first.logFile()).find("stopped"), std::string::npos);
    }
    devservice_test::ServiceProcess second(DEVSERVICE_BINARY, data, DEVSERVICE_CERT_DIR);
    std::string error;
    ASSERT_TRUE(second.start(&error)) << error;
    const auto list =
        talvora::https::post({second.baseUrl() + "/v3/meeting/list?" +
                                  talvora::https::formEncode(withCredentials(
                                      {{"page_size", "50"}, {"page_number", "1"}, {"zcode", "ZC10001"}})),
                              {},
                              {}});
    EXPECT_NE(list.body.find(id), std::string::npos) << list.body;
    EXPECT_NE(list.body.find("重启之后"), std::string::npos);
    const auto user = talvora::https::post(
        {second.baseUrl() + "/v3/user/get?" +
             talvora::https::formEncode(withCredentials({{"logintype", "1"}, {"loginname", "ZC10002"}})),
         {},
         {}});
    EXPECT_NE(user.body.find("\"username\":\"李四 (测试)\""), std::string::npos) << user.body;
    EXPECT_EQ(second.stop(), 0);
    std::system(("rm -rf '" + directory + "'").c_str());
}

TEST(DevserviceCommandLine, RefusesBadOptionsAndABusyPort)
{
    const std::string binary = DEVSERVICE_BINARY;
    EXPECT_EQ(WEXITSTATUS(std::system((binary + " --port 70000 >/dev/null 2>&1").c_str())), 2);
    EXPECT_EQ(WEXITSTATUS(std::system((binary + " --bogus >/dev/null 2>&1").c_str())), 2);

    const std::string directory = temporaryDirectory();
    devservice_test::ServiceProcess first(DEVSERVICE_BINARY, directory + "/a.db", DEVSERVICE_CERT_DIR);
    std::string error;
    ASSERT_TRUE(first.start(&error)) << error;
    const std::string second = binary + " --port " + std::to_string(first.port()) + " --data " + directory +
                               "/b.db --certs " + DEVSERVICE_CERT_DIR + " >/dev/null 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(second.c_str())), 1);
    first.stop();
    std::system(("rm -rf '" + directory + "'").c_str());
}

TEST(DevserviceCommandLine, InitCertsMakesACaAndAServerCertificate)
{
    const std::string directory = temporaryDirectory() + "/certs/nested";
    const std::string command =
        std::string(DEVSERVICE_BINARY) + " --init-certs --certs " + directory + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const char* name : {"/ca.pem", "/server.pem", "/server-key.pem"})
        EXPECT_EQ(access((directory + name).c_str(), R_OK), 0) << name;
    const std::string ca = fileText(directory + "/ca.pem");
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(fileText(directory + "/ca.pem"), ca) << "a second run must keep the CA that clients trust";
    // The server certificate verifies against the CA, for both names.
    const std::string verify = "openssl verify -CAfile " + directory + "/ca.pem -verify_hostname localhost " +
                               directory + "/server.pem >/dev/null 2>&1 && openssl verify -CAfile " +
                               directory + "/ca.pem -verify_ip 127.0.0.1 " + directory +
                               "/server.pem >/dev/null 2>&1";
    EXPECT_EQ(std::system(verify.c_str()), 0);
    std::system(("rm -rf '" + directory.substr(0, directory.size() - 13) + "'").c_str());
}

int shell(const std::string& command)
{
    return WEXITSTATUS(std::system(("(" + command + ") >/dev/null 2>&1").c_str()));
}

TEST(DevserviceCommandLine, TheCaVouchesForThisMachineOnlyAndAnUnlimitedOneIsReplaced)
{
    const std::string directory = temporaryDirectory();
    const std::string ca = directory + "/ca.pem";
    const std::string caKey = directory + "/ca-key.pem";
    const std::string newKey = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 ";
    // A CA as the service made it before it was limited.
    ASSERT_EQ(shell("openssl req -x509" + newKey + "-keyout " + caKey + " -out " + ca +
                    " -subj /CN=old -addext basicConstraints=critical,CA:TRUE"),
              0);
    const std::string old = fileText(ca);
    ASSERT_EQ(shell(std::string(DEVSERVICE_BINARY) + " --init-certs --certs " + directory), 0);
    EXPECT_NE(fileText(ca), old) << "a CA without limits must be replaced";
    EXPECT_EQ(shell("openssl verify -CAfile " + ca + " -verify_ip 127.0.0.1 " + directory + "/server.pem"),
              0);

    // What its key signs is trusted for this machine's names only, and never
    // as a CA.
    const auto signedLeaf = [&](const std::string& issuer, const std::string& issuerKey,
                                const std::string& name, const std::string& extension) {
        const std::string leaf = directory + "/" + name + ".pem";
        EXPECT_EQ(shell("openssl req -x509 -CA " + issuer + " -CAkey " + issuerKey + newKey + "-keyout " +
                        directory + "/" + name + "-key.pem -out " + leaf + " -subj /CN=" + name +
                        " -addext " + extension),
                  0)
            << name;
        return leaf;
    };
    const struct
    {
        const char* name;
        const char* extension;
        int verified;
    } leaves[] = {
        {"localhost", "subjectAltName=DNS:localhost", 0},
        {"loopback", "subjectAltName=IP:127.0.0.2", 0},
        {"ipv6", "subjectAltName=IP:::1", 0},
        {"example", "subjectAltName=DNS:example.com", 2},
        {"lan", "subjectAltName=IP:192.168.1.10", 2},
    };
    for (const auto& leaf : leaves) {
        EXPECT_EQ(
            shell("openssl verify -CAfile " + ca + " " + signedLeaf(ca, caKey, leaf.name, leaf.extension)),
            leaf.verified)
            << leaf.name;
    }
    const std::string intermediate = signedLeaf(
        ca, caKey, "intermediate", "basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign");
    const std::string below = signedLeaf(intermediate, directory + "/intermediate-key.pem", "below",
                                         "subjectAltName=DNS:localhost");
    EXPECT_EQ(shell("openssl verify -CAfile " + ca + " -untrusted " + intermediate + " " + below), 2);
    std::system(("rm -rf '" + directory + "'").c_str());
}

} // namespace
