#include "MeetingJson.h"

#include <iterator>
#include <string>

namespace talvora_test {

const char* const kMeetingFlagKeys[41] = {"schedule_use_pmi",
                                          "auto_recording",
                                          "auto_savechat",
                                          "disable_polling",
                                          "disable_chat",
                                          "enable_e2e",
                                          "enable_silentmode",
                                          "disable_recording",
                                          "screen_share",
                                          "audio_only",
                                          "enable_group_hd",
                                          "no_telephony",
                                          "no_voip",
                                          "disable_feedback",
                                          "enable_other_teleconf",
                                          "enable_cmr",
                                          "enable_camera_control",
                                          "enable_automic_recording_cloud",
                                          "disable_private_chat",
                                          "disable_host_unmute_self_muted_attendee",
                                          "enable_pac",
                                          "enable_bo",
                                          "enable_webinar_practice",
                                          "enable_enter_exit_chime",
                                          "enable_enter_exit_chime_host_only",
                                          "use_pac_1",
                                          "use_pac_2",
                                          "disable_screen_share",
                                          "disable_remote_control",
                                          "disable_local_recording",
                                          "dual_camera_support",
                                          "enable_support_session",
                                          "enable_file_transfer",
                                          "enable_watermark",
                                          "enable_cohost",
                                          "end_meeting_when_host_drop",
                                          "enabled_join_meeting_enforce_login",
                                          "enabled_join__meeting_enforce_login_same_account",
                                          "enable_closed_caption",
                                          "enable_pstn_password_protection",
                                          "disable_peer_to_peer"};

std::vector<const char*> meetingKeys()
{
    std::vector<const char*> keys = {"uuid",
                                     "id",
                                     "host_id",
                                     "topic",
                                     "password",
                                     "h323_password",
                                     "status",
                                     "option_jbh",
                                     "option_start_type",
                                     "option_host_video",
                                     "option_participants_video",
                                     "option_audio",
                                     "type",
                                     "type_des",
                                     "start_time",
                                     "duration",
                                     "timezone",
                                     "start_url",
                                     "join_url",
                                     "created_at"};
    keys.insert(keys.end(), std::begin(kMeetingFlagKeys), std::end(kMeetingFlagKeys));
    keys.push_back("agenda");
    return keys;
}

std::string listAnswer(int count)
{
    std::string text = R"({"page_count":"1","total_records":")" + std::to_string(count) +
                       R"(","page_number":"1","page_size":"50","meetings":[)";
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        text += i ? ",{" : "{";
        text += R"("uuid":"Jd8sKq2+Vb4eX1nR0m)" + n + R"(==","id":")" + std::to_string(812345670 + i) +
                R"(","host_id":"hG7tYx2pQ0iW","topic":"项目周会 )" + n +
                R"(","password":"","h323_password":"","status":0,"option_jbh":0,)"
                R"("option_start_type":"video","option_host_video":1,"option_participants_video":0,)"
                R"("option_audio":"both","type":2,"type_des":"预约会议","start_time":"2026-12-08T01:30:00Z",)"
                R"("duration":)" +
                std::to_string(30 + i) +
                R"(,"timezone":"Asia/Shanghai","start_url":"https://meet.example.com/s/)" +
                std::to_string(812345670 + i) +
                R"(?zak=eyJ0eXAiOiJKV1QiLCJhbGciOiJIUzI1NiJ9",)"
                R"("join_url":"https://meet.example.com/j/)" +
                std::to_string(812345670 + i) + R"(","created_at":"2026-12-07T08:00:00Z")";
        for (const char* key : talvora_test::kMeetingFlagKeys)
            text += std::string(",\"") + key + "\":" + (i % 3 == 0 ? "1" : "0");
        text += R"(,"agenda":"每周例行同步"})";
    }
    return text + "]}";
}

} // namespace talvora_test
