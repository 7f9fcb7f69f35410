#include "MeetingJson.h"

#include <iterator>

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

} // namespace talvora_test
