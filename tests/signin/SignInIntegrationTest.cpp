// The whole cloud sign-in through the real cloud SDK stand-in, the real HTTP
// library and the local service: the dialog is driven as a user would.

#include "CloudSignIn.h"

#include "DialogScript.h"
#include "ErrorBox.h"
#include "KelpNetUtils.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <string>
#include <vector>

namespace {

using signin_test::always;
using signin_test::click;
using signin_test::DialogScript;
using signin_test::typeInto;

struct Outcome
{
    int result = 0;
    talvora::CloudAccount account;
    std::vector<std::string> boxes;
    std::string out;
};

Outcome signIn()
{
    Outcome outcome;
    talvora::setErrorBoxHook(
        [&](QWidget*, const QString&, const QString& text) { outcome.boxes.push_back(text.toStdString()); });
    ::testing::internal::CaptureStdout();
    outcome.result = talvora::signInToCloud(outcome.account);
    outcome.out = ::testing::internal::GetCapturedStdout();
    talvora::setErrorBoxHook({});
    return outcome;
}

std::vector<DialogScript::Step> signInAs(const std::string& account, const std::string& password)
{
    return {{always, [=](QDialog* dialog) {
                 typeInto(dialog, "m_pLnEtAccount", account);
                 typeInto(dialog, "m_pLnEtPassword", password);
                 click(dialog, "m_pBtnLogin");
             }}};
}

TEST(CloudSignInWithService, DemoAccountWithEmail)
{
    DialogScript script(signInAs("demo", "talvora123"));
    const Outcome outcome = signIn();
    ASSERT_EQ(outcome.result, 0) << outcome.out;
    EXPECT_TRUE(outcome.boxes.empty());
    EXPECT_EQ(outcome.account.userName, "zhangsan");
    EXPECT_EQ(outcome.account.signInAccount, "zhangsan@example.com");
    EXPECT_EQ(outcome.account.password, "Zs-Meet-2024");
    EXPECT_EQ(outcome.account.zcode, "ZC10001");
    for (const char* secret : {"Zs-Meet-2024", "a1b2c3d4e5f6g7h8"})
        EXPECT_EQ(outcome.out.find(secret), std::string::npos) << secret;
}

TEST(CloudSignInWithService, DemoAccountWithoutEmailAndA16CharacterPassword)
{
    DialogScript script(signInAs("demo2", "talvora123"));
    const Outcome outcome = signIn();
    ASSERT_EQ(outcome.result, 0) << outcome.out;
    EXPECT_TRUE(outcome.boxes.empty());
    EXPECT_EQ(outcome.account.userName, "lisi");
    EXPECT_EQ(outcome.account.signInAccount, "lisi@talvora.dev");
    EXPECT_EQ(outcome.account.password, "LiSi-Password-16");
    EXPECT_EQ(outcome.account.zcode, "ZC10002");
    for (const char* secret : {"LiSi-Password-16", "tok-lisi-9f8e7d6c"})
        EXPECT_EQ(outcome.out.find(secret), std::string::npos) << secret;
}

TEST(CloudSignInWithService, AWrongPasswordCanBeCorrected)
{
    bool sawRejection = false;
    DialogScript script({
        {always,
         [](QDialog* dialog) {
             typeInto(dialog, "m_pLnEtAccount", "demo");
             typeInto(dialog, "m_pLnEtPassword", "not-the-password");
             click(dialog, "m_pBtnLogin");
         }},
        {[](QDialog* dialog) { return signin_test::showsMessage(dialog, "账号或密码错误"); },
         [&](QDialog* dialog) {
             sawRejection = true;
             typeInto(dialog, "m_pLnEtPassword", "talvora123");
             QTest::keyClick(signin_test::part<QLineEdit>(dialog, "m_pLnEtPassword"), Qt::Key_Return);
         }},
    });
    const Outcome outcome = signIn();
    EXPECT_TRUE(sawRejection);
    ASSERT_EQ(outcome.result, 0) << outcome.out;
    EXPECT_TRUE(outcome.boxes.empty());
    EXPECT_EQ(outcome.account.signInAccount, "zhangsan@example.com");
    EXPECT_EQ(outcome.account.password, "Zs-Meet-2024");
}

TEST(CloudSignInWithService, CancelEndsWithoutABox)
{
    DialogScript script({{always, [](QDialog* dialog) { click(dialog, "m_pBtnCancel"); }}});
    const Outcome outcome = signIn();
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(outcome.result, -1);
    EXPECT_TRUE(outcome.boxes.empty());
    EXPECT_EQ(outcome.out, "login cancelled\n");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (NET_UTILS_Init() == 0)
        return 1;
    const int result = RUN_ALL_TESTS();
    NET_UTILS_Fini();
    return result;
}
