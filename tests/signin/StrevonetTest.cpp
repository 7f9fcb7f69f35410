// The cloud SDK stand-in on its own: its misuse results and its dialog. The
// requests go to a loopback port where nothing listens.

#include "Strevonet.h"
#include "DialogScript.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace {

using signin_test::always;
using signin_test::click;
using signin_test::DialogScript;
using signin_test::part;

const char* const kAppKey = "8f3a1c6e0b9d47e2a5c4f1d7b2e60a93";
const char* const kNobodyListens = "https://127.0.0.1:1";

class StrevonetStandIn : public ::testing::Test
{
protected:
    void TearDown() override { Strevo_FiniLib(); }

    static void initialise()
    {
        ASSERT_NE(Strevo_InitLib(kNobodyListens, kNobodyListens, kAppKey), -1);
        ASSERT_NE(Strevo_Init(kAppKey), -1);
    }
};

TEST_F(StrevonetStandIn, MisuseFails)
{
    char* token = reinterpret_cast<char*>(1);
    int length = 5;
    EXPECT_EQ(Strevo_Mid_Login(&token, &length), -1) << "not initialised";
    EXPECT_EQ(Strevo_Init(kAppKey), -1) << "Init before InitLib";
    EXPECT_EQ(Strevo_InitLib(nullptr, kNobodyListens, kAppKey), -1);
    EXPECT_EQ(Strevo_InitLib(kNobodyListens, "", kAppKey), -1);
    EXPECT_EQ(Strevo_InitLib(kNobodyListens, kNobodyListens, nullptr), -1);

    ASSERT_NE(Strevo_InitLib(kNobodyListens, kNobodyListens, kAppKey), -1);
    EXPECT_EQ(Strevo_Mid_Login(&token, &length), -1) << "InitLib without Init";
    EXPECT_EQ(Strevo_Init("0123"), -1) << "another application key";
    ASSERT_NE(Strevo_Init(kAppKey), -1);
    EXPECT_EQ(Strevo_Mid_Login(nullptr, &length), -1);
    EXPECT_EQ(Strevo_Mid_Login(&token, nullptr), -1);
    EXPECT_NE(Strevo_Logout(), -1);
    EXPECT_NE(Strevo_FiniLib(), -1);
    EXPECT_EQ(Strevo_Mid_Login(&token, &length), -1) << "after FiniLib";
    Strevo_Data_Free(nullptr);
}

TEST_F(StrevonetStandIn, TheDialogAsTheUserSeesIt)
{
    initialise();
    bool inspected = false;
    DialogScript script({{always, [&](QDialog* dialog) {
                              inspected = true;
                              EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Talvora 登录"));
                              EXPECT_TRUE(dialog->isModal());
                              auto* account = part<QLineEdit>(dialog, "m_pLnEtAccount");
                              auto* password = part<QLineEdit>(dialog, "m_pLnEtPassword");
                              auto* login = part<QPushButton>(dialog, "m_pBtnLogin");
                              auto* cancel = part<QPushButton>(dialog, "m_pBtnCancel");
                              ASSERT_TRUE(account && password && login && cancel);
                              EXPECT_EQ(dialog->focusWidget(), account);
                              EXPECT_EQ(password->echoMode(), QLineEdit::Password);
                              EXPECT_EQ(login->text(), QString::fromUtf8("登录"));
                              EXPECT_TRUE(login->isDefault());
                              EXPECT_EQ(cancel->text(), QString::fromUtf8("取消"));
                              QStringList labels;
                              for (QLabel* label : dialog->findChildren<QLabel*>())
                                  labels << label->text();
                              EXPECT_TRUE(labels.contains(QString::fromUtf8("账号")));
                              EXPECT_TRUE(labels.contains(QString::fromUtf8("密码")));
                              click(dialog, "m_pBtnCancel");
                          }}});
    char* token = nullptr;
    int length = -1;
    EXPECT_EQ(Strevo_Mid_Login(&token, &length), 0);
    EXPECT_TRUE(inspected);
    EXPECT_FALSE(script.timedOut());
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(length, 0);
}

TEST_F(StrevonetStandIn, AnUnreachableServerKeepsTheDialogOpen)
{
    initialise();
    bool stayedOpen = false;
    DialogScript script({
        {always,
         [](QDialog* dialog) {
             signin_test::typeInto(dialog, "m_pLnEtAccount", "demo");
             signin_test::typeInto(dialog, "m_pLnEtPassword", "talvora123");
             // Enter in the password field presses the default button.
             auto* password = part<QLineEdit>(dialog, "m_pLnEtPassword");
             QTest::keyClick(password, Qt::Key_Return);
             // Sent: neither the field nor its undo history gives it back.
             EXPECT_TRUE(password->text().isEmpty());
             password->setEchoMode(QLineEdit::Normal);
             password->undo();
             EXPECT_TRUE(password->text().isEmpty());
             password->setEchoMode(QLineEdit::Password);
         }},
        {[](QDialog* dialog) { return signin_test::showsMessage(dialog, "无法连接登录服务器"); },
         [&](QDialog* dialog) {
             stayedOpen = dialog->isVisible();
             EXPECT_TRUE(part<QPushButton>(dialog, "m_pBtnLogin")->isEnabled()) << "the user may retry";
             // Escape closes the dialog like the cancel button.
             QTest::keyClick(dialog, Qt::Key_Escape);
         }},
    });
    char* token = nullptr;
    int length = -1;
    EXPECT_EQ(Strevo_Mid_Login(&token, &length), 0);
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(length, 0);
}

TEST_F(StrevonetStandIn, CancellingWhileARequestIsUnderWay)
{
    initialise();
    DialogScript script({{always, [](QDialog* dialog) {
                              signin_test::typeInto(dialog, "m_pLnEtAccount", "demo");
                              click(dialog, "m_pBtnLogin");
                              EXPECT_FALSE(part<QPushButton>(dialog, "m_pBtnLogin")->isEnabled());
                              click(dialog, "m_pBtnCancel");
                          }}});
    char* token = nullptr;
    int length = -1;
    EXPECT_EQ(Strevo_Mid_Login(&token, &length), 0);
    EXPECT_EQ(length, 0);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
