#include "MeetingJson.h"
#include "protocol/CodeData.h"
#include "protocol/Meet.h"
#include "protocol/ParseJsonText.h"
#include "protocol/Ss.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <string>

namespace {

using protocol::CodeData;
using protocol::Meet;
using protocol::ParseJsonText;
using protocol::Ss;

std::shared_ptr<Meet> meet(const std::string& json)
{
    auto record = std::make_shared<Meet>();
    EXPECT_TRUE(ParseJsonText(record, json)) << json;
    return record;
}

std::shared_ptr<Ss> page(const std::string& json)
{
    auto record = std::make_shared<Ss>();
    EXPECT_TRUE(ParseJsonText(record, json)) << json;
    return record;
}

TEST(RecordLookup, KeysMatchWithoutRegardToCaseAndTheFirstMatchWins)
{
    EXPECT_EQ(meet(R"({"Topic":"周会"})")->topic, "周会");
    EXPECT_EQ(meet(R"({"TOPIC":"a","topic":"b"})")->topic, "a");
    EXPECT_EQ(meet(R"({"duration":5,"Duration":7})")->duration, 5);
    // The first match counts even when its value is then ignored.
    EXPECT_EQ(meet(R"({"topic":null,"Topic":"b"})")->topic, "");
    EXPECT_EQ(meet(R"({"topicx":"a","topi":"b","topic\u0000x":"c"})")->topic, "c");
}

TEST(RecordLookup, KeyFiftyEightHasTwoUnderscores)
{
    EXPECT_TRUE(meet(R"({"enabled_join__meeting_enforce_login_same_account":1})")
                    ->enabled_join__meeting_enforce_login_same_account);
    EXPECT_FALSE(meet(R"({"enabled_join_meeting_enforce_login_same_account":1})")
                     ->enabled_join__meeting_enforce_login_same_account);
}

TEST(RecordLookup, EveryMeetingKeyReachesItsOwnField)
{
    const auto m = meet(R"({
        "uuid":"s1","id":"s2","host_id":"s3","topic":"s4","password":"s5","h323_password":"s6","status":7,
        "option_jbh":1,"option_start_type":"s9","option_host_video":1,"option_participants_video":1,
        "option_audio":"s12","type":13,"type_des":"s14","start_time":"s15","duration":16,"timezone":"s17",
        "start_url":"s18","join_url":"s19","created_at":"s20","agenda":"s62"})");
    EXPECT_EQ(m->uuid + m->id + m->host_id + m->topic + m->password + m->h323_password, "s1s2s3s4s5s6");
    EXPECT_EQ(m->option_start_type + m->option_audio + m->type_des + m->start_time, "s9s12s14s15");
    EXPECT_EQ(m->timezone + m->start_url + m->join_url + m->created_at + m->agenda, "s17s18s19s20s62");
    EXPECT_EQ(m->status, 7);
    EXPECT_EQ(m->type, 13);
    EXPECT_EQ(m->duration, 16);
    EXPECT_TRUE(m->option_jbh && m->option_host_video && m->option_participants_video);

    // Flags 21-61: one contiguous run, each set on its own by its key.
    const auto& flagKeys = talvora_test::kMeetingFlagKeys;
    static_assert(sizeof flagKeys / sizeof flagKeys[0] == 41);
    Meet probe;
    const auto first = reinterpret_cast<std::uintptr_t>(&probe.schedule_use_pmi);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(&probe.disable_peer_to_peer) - first, 40u);
    for (int i = 0; i < 41; ++i) {
        const auto flagged = meet(std::string("{\"") + flagKeys[i] + "\":true}");
        const bool* flags = &flagged->schedule_use_pmi;
        for (int j = 0; j < 41; ++j)
            EXPECT_EQ(flags[j], i == j) << flagKeys[i] << " vs flag " << j;
    }
}

TEST(RecordStrings, NullKeepsTheValueAndOtherKindsAreHandled)
{
    EXPECT_EQ(meet(R"({"topic":null})")->topic, "");
    Meet m;
    m.topic = "old";
    m.id = "old";
    m.agenda = "old";
    m.password = "old";
    auto record = std::make_shared<Meet>(m);
    ASSERT_TRUE(ParseJsonText(record, R"({"topic":null,"id":true,"agenda":[1],"password":{"a":"b"}})"));
    EXPECT_EQ(record->topic, "old");
    EXPECT_EQ(record->id, "old");
    EXPECT_EQ(record->agenda, "old");
    EXPECT_EQ(record->password, "old");

    // Numbers are given as text: services send ids and counters either way.
    const auto numeric = meet(R"({"id":85746352812,"uuid":90.5,"topic":-3,"agenda":1e400})");
    EXPECT_EQ(numeric->id, "85746352812");
    EXPECT_EQ(numeric->uuid, "90.5");
    EXPECT_EQ(numeric->topic, "-3");
    EXPECT_EQ(numeric->agenda, "");
    EXPECT_EQ(meet(R"({"topic":"a\u0000b"})")->topic, "a");
}

TEST(RecordInts, TruncatedClampedAndZeroForOtherKinds)
{
    EXPECT_EQ(meet(R"({"duration":90.7})")->duration, 90);
    EXPECT_EQ(meet(R"({"duration":-2.9})")->duration, -2);
    EXPECT_EQ(meet(R"({"duration":true})")->duration, 1);
    EXPECT_EQ(meet(R"({"duration":1e400})")->duration, INT_MAX);
    EXPECT_EQ(meet(R"({"duration":-5000000000})")->duration, INT_MIN);
    auto record = std::make_shared<Meet>();
    for (const char* zero : {"null", "false", "\"12\"", "[3]", "{\"a\":3}"}) {
        record->duration = 55;
        ASSERT_TRUE(ParseJsonText(record, std::string("{\"duration\":") + zero + "}"));
        EXPECT_EQ(record->duration, 0) << zero;
    }
    record->duration = 55;
    ASSERT_TRUE(ParseJsonText(record, R"({"status":1})"));
    EXPECT_EQ(record->duration, 55);
}

TEST(RecordBools, TrueOnlyForTheIntegerValueOne)
{
    EXPECT_TRUE(meet(R"({"option_jbh":1})")->option_jbh);
    EXPECT_TRUE(meet(R"({"option_jbh":true})")->option_jbh);
    auto record = std::make_shared<Meet>();
    for (const char* notTrue : {"2", "0", "-1", "false", "null", "\"1\"", "\"true\"", "[1]"}) {
        record->option_jbh = true;
        ASSERT_TRUE(ParseJsonText(record, std::string("{\"option_jbh\":") + notTrue + "}"));
        EXPECT_FALSE(record->option_jbh) << notTrue;
    }
    record->option_jbh = true;
    ASSERT_TRUE(ParseJsonText(record, R"({"topic":"x"})"));
    EXPECT_TRUE(record->option_jbh);
}

TEST(ListPage, CountersAreText)
{
    const auto p = page(R"({"page_count":"2","total_records":"57","page_number":"1","page_size":"50"})");
    EXPECT_EQ(p->page_count + "/" + p->total_records + "/" + p->page_number + "/" + p->page_size,
              "2/57/1/50");
    EXPECT_TRUE(p->meetings.empty());

    auto odd = std::make_shared<Ss>();
    odd->page_count = odd->total_records = odd->page_number = odd->page_size = "kept";
    ASSERT_TRUE(
        ParseJsonText(odd, R"({"page_count":3,"total_records":null,"page_number":true,"page_size":[]})"));
    EXPECT_EQ(odd->page_count, "3");
    EXPECT_EQ(odd->total_records, "kept");
    EXPECT_EQ(odd->page_number, "kept");
    EXPECT_EQ(odd->page_size, "kept");
}

TEST(ListPage, MeetingsKeepTheirOrderAndNullEntriesGiveDefaults)
{
    EXPECT_TRUE(page(R"({"page_count":"1","meetings":[]})")->meetings.empty());
    EXPECT_TRUE(page(R"({"page_count":"1","meetings":"none"})")->meetings.empty());
    const auto p =
        page(R"({"meetings":[{"topic":"a","duration":30},null,{"TOPIC":"c","option_host_video":1}]})");
    ASSERT_EQ(p->meetings.size(), 3u);
    EXPECT_EQ(p->meetings[0].topic, "a");
    EXPECT_EQ(p->meetings[0].duration, 30);
    EXPECT_EQ(p->meetings[1].topic, "");
    EXPECT_EQ(p->meetings[1].duration, 0);
    EXPECT_EQ(p->meetings[2].topic, "c");
    EXPECT_TRUE(p->meetings[2].option_host_video);
}

TEST(ListPage, ASecondParseReplacesTheMeetingList)
{
    auto p = page(R"({"page_count":"1","meetings":[{"id":"1"},{"id":"2"}]})");
    ASSERT_TRUE(ParseJsonText(p, R"({"meetings":[{"id":"3"}]})"));
    ASSERT_EQ(p->meetings.size(), 1u);
    EXPECT_EQ(p->meetings[0].id, "3");
    EXPECT_EQ(p->page_count, "1");
    ASSERT_TRUE(ParseJsonText(p, R"({"page_size":"50"})"));
    EXPECT_TRUE(p->meetings.empty());
}

TEST(UserRecord, OnlyTheUserNameIsRead)
{
    auto user = std::make_shared<CodeData>();
    ASSERT_TRUE(ParseJsonText(user, R"({"username":"abc","email":"x","code":200,"token":"t"})"));
    EXPECT_EQ(user->username, "abc");
    EXPECT_EQ(user->email, "");
    EXPECT_EQ(user->code, 0);
    EXPECT_EQ(user->token, "");
    ASSERT_TRUE(ParseJsonText(user, R"({"UserName":null})"));
    EXPECT_EQ(user->username, "abc");
}

TEST(ParseText, FailuresLeaveTheRecordAlone)
{
    auto p = page(R"({"page_count":"1","meetings":[{"id":"1"}]})");
    EXPECT_FALSE(ParseJsonText(p, ""));
    EXPECT_FALSE(ParseJsonText(p, R"({"meetings":[)"));
    EXPECT_FALSE(ParseJsonText(p, "not json"));
    ASSERT_EQ(p->meetings.size(), 1u);
    EXPECT_EQ(p->page_count, "1");
    EXPECT_FALSE(ParseJsonText(nullptr, R"({"page_count":"1"})"));

    Meet m;
    m.topic = "kept";
    m.FromJson(nullptr);
    EXPECT_EQ(m.topic, "kept");

    // A non-object root finds no keys, but is still valid JSON.
    EXPECT_TRUE(ParseJsonText(p, "[1,2]"));
    EXPECT_TRUE(p->meetings.empty());
}

} // namespace
