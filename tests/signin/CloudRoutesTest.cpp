// The local service's cloud endpoints as any client sees them: the token
// request of the sign-in dialog and the account query.

#include "HttpsClient.h"
#include "SignInTestSupport.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <string>

namespace {

const std::string kAppKey = "8f3a1c6e0b9d47e2a5c4f1d7b2e60a93";

std::string origin()
{
    return "https://127.0.0.1:" TALVORA_TEST_PORT_TEXT;
}

talvora::https::Answer requestToken(const std::string& appKey, const std::string& account,
                                    const std::string& password)
{
    talvora::https::Request request;
    request.url = origin() + "/oauth/token";
    request.headers.push_back("Content-Type: application/x-www-form-urlencoded");
    request.body =
        talvora::https::formEncode({{"app_key", appKey}, {"account", account}, {"password", password}});
    return talvora::https::post(request);
}

QJsonObject json(const talvora::https::Answer& answer)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(answer.body)).object();
}

talvora::https::Answer queryAccount(const std::string& accessToken)
{
    return talvora::https::post(
        {origin() + "/api/route/vas/zhumu/userInfo/get?accessToken=" + accessToken, {}, {}});
}

void expectNoAccountKeys(const talvora::https::Answer& answer)
{
    for (const char* key : {"\"userName\"", "\"email\"", "\"password\"", "\"zcode\"", "\"token\""})
        EXPECT_EQ(answer.body.find(key), std::string::npos) << key << " in " << answer.body;
}

TEST(CloudRoutes, TokenRequestsThatFail)
{
    struct Case
    {
        std::string appKey, account, password;
    };
    for (const Case& c : {Case{"0000", "demo", "talvora123"}, Case{kAppKey, "nobody", "talvora123"},
                          Case{kAppKey, "demo", "talvora124"}, Case{kAppKey, "demo", ""}, Case{"", "", ""}}) {
        SCOPED_TRACE(c.appKey + " " + c.account + " " + c.password);
        const talvora::https::Answer answer = requestToken(c.appKey, c.account, c.password);
        ASSERT_TRUE(answer.completed);
        EXPECT_EQ(answer.status, 401);
        EXPECT_TRUE(json(answer).contains(QStringLiteral("error")));
        EXPECT_EQ(answer.body.find("access_token"), std::string::npos);
    }
}

TEST(CloudRoutes, EachSignInGetsItsOwnTokenAndTheAccountBehindIt)
{
    const talvora::https::Answer first = requestToken(kAppKey, "demo", "talvora123");
    const talvora::https::Answer second = requestToken(kAppKey, "demo", "talvora123");
    ASSERT_EQ(first.status, 200);
    ASSERT_EQ(second.status, 200);
    const std::string token = json(first).value(QStringLiteral("access_token")).toString().toStdString();
    EXPECT_GE(token.size(), 32u);
    EXPECT_NE(token, json(second).value(QStringLiteral("access_token")).toString().toStdString());
    EXPECT_GT(json(first).value(QStringLiteral("expires_in")).toInt(), 0);

    const talvora::https::Answer account = queryAccount(token);
    ASSERT_EQ(account.status, 200);
    const QJsonObject fields = json(account);
    EXPECT_EQ(fields.value(QStringLiteral("userName")).toString(), QStringLiteral("zhangsan"));
    EXPECT_EQ(fields.value(QStringLiteral("email")).toString(), QStringLiteral("zhangsan@example.com"));
    EXPECT_EQ(fields.value(QStringLiteral("zcode")).toString(), QStringLiteral("ZC10001"));
    const std::string accountToken = fields.value(QStringLiteral("token")).toString().toStdString();
    EXPECT_EQ(accountToken, "a1b2c3d4e5f6g7h8");
    EXPECT_EQ(fields.value(QStringLiteral("password")).toString().toStdString(),
              signin_test::encryptedPassword("Zs-Meet-2024", accountToken));
}

TEST(CloudRoutes, AnAccountWithoutEmailHasNoEmailKey)
{
    const talvora::https::Answer token = requestToken(kAppKey, "demo2", "talvora123");
    ASSERT_EQ(token.status, 200);
    const talvora::https::Answer account =
        queryAccount(json(token).value(QStringLiteral("access_token")).toString().toStdString());
    ASSERT_EQ(account.status, 200);
    EXPECT_EQ(account.body.find("\"email\""), std::string::npos);
    EXPECT_EQ(json(account).value(QStringLiteral("password")).toString().toStdString(),
              signin_test::encryptedPassword("LiSi-Password-16", "tok-lisi-9f8e7d6c"));
}

TEST(CloudRoutes, UnknownTokensGetNoAccount)
{
    for (const std::string& token : {std::string("0123456789abcdef"), std::string(), std::string("%00")}) {
        SCOPED_TRACE(token);
        const talvora::https::Answer answer = queryAccount(token);
        ASSERT_TRUE(answer.completed);
        EXPECT_EQ(answer.status, 401);
        EXPECT_TRUE(json(answer).contains(QStringLiteral("error")));
        expectNoAccountKeys(answer);
    }
}

} // namespace
