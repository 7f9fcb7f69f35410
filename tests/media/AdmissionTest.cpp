// parseAdmission against well-formed and malformed answers of the service.

#include "Admission.h"

#include <gtest/gtest.h>

#include <cstring>

using talvora::media::Admission;
using talvora::media::parseAdmission;

namespace {

const char* const kGood =
    R"({"number":"123456789","media":{"server":"ws://127.0.0.1:8188","room":77,"pin":"p",
    "token":"t","ice_servers":[{"urls":["turn:127.0.0.1:3478"],"username":"u","credential":"c"}],
    "display_name":"张三","host":true,"participant_id":4503599627370497}})";

TEST(Admission, ReadsAGoodAnswer)
{
    Admission admission;
    ASSERT_TRUE(parseAdmission(kGood, admission));
    EXPECT_EQ(admission.number, "123456789");
    EXPECT_EQ(admission.server.toString(), "ws://127.0.0.1:8188");
    EXPECT_EQ(admission.room, 77);
    EXPECT_EQ(admission.pin, "p");
    EXPECT_EQ(admission.token, "t");
    ASSERT_EQ(admission.iceServers.size(), 1);
    EXPECT_EQ(admission.iceServers[0].urls, QStringList{"turn:127.0.0.1:3478"});
    EXPECT_EQ(admission.iceServers[0].credential, "c");
    EXPECT_EQ(admission.displayName, QString::fromUtf8("张三"));
    EXPECT_TRUE(admission.host);
    EXPECT_EQ(admission.participantId, 4503599627370497);

    // A service that chooses no publisher id leaves it to Janus.
    std::string without = kGood;
    without.erase(without.find(",\"participant_id\""), std::strlen(",\"participant_id\":4503599627370497"));
    ASSERT_TRUE(parseAdmission(QByteArray::fromStdString(without), admission));
    EXPECT_EQ(admission.participantId, 0);
}

// Each case replaces one piece of the good answer.
struct Bad
{
    const char* what;
    const char* from;
    const char* to;
};

class AdmissionBad : public testing::TestWithParam<Bad>
{
};

TEST_P(AdmissionBad, IsRefusedAndLeavesTheAdmissionAlone)
{
    std::string answer = kGood;
    const Bad& bad = GetParam();
    const auto at = answer.find(bad.from);
    ASSERT_NE(at, std::string::npos) << bad.what;
    answer.replace(at, std::strlen(bad.from), bad.to);
    Admission admission;
    admission.room = 5;
    EXPECT_FALSE(parseAdmission(QByteArray::fromStdString(answer), admission)) << bad.what;
    EXPECT_EQ(admission.room, 5) << bad.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, AdmissionBad,
                         testing::Values(Bad{"not JSON", "{\"number\"", "[\"number\""},
                                         Bad{"number missing", "\"number\":\"123456789\",", ""},
                                         Bad{"number not digits", "\"123456789\"", "\"12a\""},
                                         Bad{"number a JSON number", "\"123456789\"", "123456789"},
                                         Bad{"media not an object", "\"media\":{", "\"media\":[{"},
                                         Bad{"server missing", "\"server\":\"ws://127.0.0.1:8188\",", ""},
                                         Bad{"server over http", "ws://127.0.0.1", "http://127.0.0.1"},
                                         Bad{"server without host", "ws://127.0.0.1:8188", "ws://"},
                                         Bad{"room a string", "\"room\":77", "\"room\":\"77\""},
                                         Bad{"room zero", "\"room\":77", "\"room\":0"},
                                         Bad{"room fractional", "\"room\":77", "\"room\":7.5"},
                                         Bad{"pin missing", "\"pin\":\"p\",", ""},
                                         Bad{"pin empty", "\"pin\":\"p\"", "\"pin\":\"\""},
                                         Bad{"token a number", "\"token\":\"t\"", "\"token\":5"},
                                         Bad{"ice_servers missing", "\"ice_servers\"", "\"ice\""},
                                         Bad{"ice url a number", "[\"turn:127.0.0.1:3478\"]", "[3478]"},
                                         Bad{"host a string", "\"host\":true", "\"host\":\"yes\""},
                                         Bad{"participant id a string", "4503599627370497", "\"45\""},
                                         Bad{"participant id zero", "4503599627370497", "0"},
                                         Bad{"participant id fractional", "4503599627370497", "4.5"}),
                         [](const testing::TestParamInfo<Bad>& info) {
                             return "case" + std::to_string(info.index);
                         });

} // namespace
