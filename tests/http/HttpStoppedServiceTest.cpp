// HttpRequest when the service goes away: this program's API host is a
// service of its own, which it stops half-way.

#include "ErrorBox.h"
#include "HttpRequest.h"
#include "ServiceProcess.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <QString>

#include <cstdlib>
#include <unistd.h>

namespace {

TEST(HttpStoppedService, AStoppedServiceGivesTheExchangeFailureWithItsCode)
{
    std::vector<std::string> boxes;
    talvora::setErrorBoxHook(
        [&](QWidget*, const QString&, const QString& text) { boxes.push_back(text.toStdString()); });

    char pattern[] = "/tmp/stopped-service-XXXXXX";
    const std::string directory = mkdtemp(pattern);
    devservice_test::ServiceProcess service(DEVSERVICE_BINARY, directory + "/service.db", DEVSERVICE_CERT_DIR,
                                            STOPPED_SERVICE_PORT);
    std::string error;
    ASSERT_TRUE(service.start(&error)) << error;
    std::string answer;
    ASSERT_TRUE(ListMeetings("ZC10001", &answer)) << "the service answers while it runs";
    ASSERT_EQ(service.stop(), 0);

    answer = "unchanged";
    EXPECT_FALSE(ListMeetings("ZC10001", &answer));
    EXPECT_EQ(answer, "unchanged");
    EXPECT_TRUE(boxes.empty()) << "the list only logs";

    std::string id;
    EXPECT_FALSE(CreateMeeting("ZC10001", "t", "false", "2030-01-01 9:00:00", "30", &id));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "网络异常,http数据交互错误,错误码: " + std::to_string(CURLE_COULDNT_CONNECT));

    talvora::setErrorBoxHook({});
    std::system(("rm -rf '" + directory + "'").c_str());
}

} // namespace
