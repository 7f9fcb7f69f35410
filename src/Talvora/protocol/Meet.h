#pragma once

#include "protocol/IJSONStruct.h"

#include <string>

namespace protocol {

// One scheduled meeting. Every field is named after its JSON key, in the order
// of the service's meeting object.
struct Meet : IProtocolData
{
    void FromJson(const cJSON* object) override;

    std::string uuid;
    std::string id;
    std::string host_id;
    std::string topic;
    std::string password;
    std::string h323_password;
    int status = 0;
    bool option_jbh = false;
    std::string option_start_type;
    bool option_host_video = false;
    bool option_participants_video = false;
    std::string option_audio;
    int type = 0;
    std::string type_des;
    std::string start_time;
    int duration = 0;
    std::string timezone;
    std::string start_url;
    std::string join_url;
    std::string created_at;
    // Flags 21-61 form one contiguous run of one-byte booleans.
    bool schedule_use_pmi = false;
    bool auto_recording = false;
    bool auto_savechat = false;
    bool disable_polling = false;
    bool disable_chat = false;
    bool enable_e2e = false;
    bool enable_silentmode = false;
    bool disable_recording = false;
    bool screen_share = false;
    bool audio_only = false;
    bool enable_group_hd = false;
    bool no_telephony = false;
    bool no_voip = false;
    bool disable_feedback = false;
    bool enable_other_teleconf = false;
    bool enable_cmr = false;
    bool enable_camera_control = false;
    bool enable_automic_recording_cloud = false;
    bool disable_private_chat = false;
    bool disable_host_unmute_self_muted_attendee = false;
    bool enable_pac = false;
    bool enable_bo = false;
    bool enable_webinar_practice = false;
    bool enable_enter_exit_chime = false;
    bool enable_enter_exit_chime_host_only = false;
    bool use_pac_1 = false;
    bool use_pac_2 = false;
    bool disable_screen_share = false;
    bool disable_remote_control = false;
    bool disable_local_recording = false;
    bool dual_camera_support = false;
    bool enable_support_session = false;
    bool enable_file_transfer = false;
    bool enable_watermark = false;
    bool enable_cohost = false;
    bool end_meeting_when_host_drop = false;
    bool enabled_join_meeting_enforce_login = false;
    bool enabled_join__meeting_enforce_login_same_account = false;
    bool enable_closed_caption = false;
    bool enable_pstn_password_protection = false;
    bool disable_peer_to_peer = false;
    std::string agenda;
};

} // namespace protocol
