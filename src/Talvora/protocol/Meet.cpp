#include "protocol/Meet.h"

#include "protocol/JsonFields.h"

#include <cJSON.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <variant>

namespace protocol {

namespace {

struct Field
{
    // Field(...) is implicit so that the table below stays one line per key.
    template <typename T> constexpr Field(std::string_view key, T Meet::*member) : key(key), member(member) {}

    std::string_view key; // lower case
    std::variant<std::string Meet::*, int Meet::*, bool Meet::*> member;
};

// Sorted by key, so that each member of a JSON object is matched with one
// binary search instead of a linear lookup per field.
const Field kFields[] = {
    {"agenda", &Meet::agenda},
    {"audio_only", &Meet::audio_only},
    {"auto_recording", &Meet::auto_recording},
    {"auto_savechat", &Meet::auto_savechat},
    {"created_at", &Meet::created_at},
    {"disable_chat", &Meet::disable_chat},
    {"disable_feedback", &Meet::disable_feedback},
    {"disable_host_unmute_self_muted_attendee", &Meet::disable_host_unmute_self_muted_attendee},
    {"disable_local_recording", &Meet::disable_local_recording},
    {"disable_peer_to_peer", &Meet::disable_peer_to_peer},
    {"disable_polling", &Meet::disable_polling},
    {"disable_private_chat", &Meet::disable_private_chat},
    {"disable_recording", &Meet::disable_recording},
    {"disable_remote_control", &Meet::disable_remote_control},
    {"disable_screen_share", &Meet::disable_screen_share},
    {"dual_camera_support", &Meet::dual_camera_support},
    {"duration", &Meet::duration},
    {"enable_automic_recording_cloud", &Meet::enable_automic_recording_cloud},
    {"enable_bo", &Meet::enable_bo},
    {"enable_camera_control", &Meet::enable_camera_control},
    {"enable_closed_caption", &Meet::enable_closed_caption},
    {"enable_cmr", &Meet::enable_cmr},
    {"enable_cohost", &Meet::enable_cohost},
    {"enable_e2e", &Meet::enable_e2e},
    {"enable_enter_exit_chime", &Meet::enable_enter_exit_chime},
    {"enable_enter_exit_chime_host_only", &Meet::enable_enter_exit_chime_host_only},
    {"enable_file_transfer", &Meet::enable_file_transfer},
    {"enable_group_hd", &Meet::enable_group_hd},
    {"enable_other_teleconf", &Meet::enable_other_teleconf},
    {"enable_pac", &Meet::enable_pac},
    {"enable_pstn_password_protection", &Meet::enable_pstn_password_protection},
    {"enable_silentmode", &Meet::enable_silentmode},
    {"enable_support_session", &Meet::enable_support_session},
    {"enable_watermark", &Meet::enable_watermark},
    {"enable_webinar_practice", &Meet::enable_webinar_practice},
    {"enabled_join__meeting_enforce_login_same_account",
     &Meet::enabled_join__meeting_enforce_login_same_account},
    {"enabled_join_meeting_enforce_login", &Meet::enabled_join_meeting_enforce_login},
    {"end_meeting_when_host_drop", &Meet::end_meeting_when_host_drop},
    {"h323_password", &Meet::h323_password},
    {"host_id", &Meet::host_id},
    {"id", &Meet::id},
    {"join_url", &Meet::join_url},
    {"no_telephony", &Meet::no_telephony},
    {"no_voip", &Meet::no_voip},
    {"option_audio", &Meet::option_audio},
    {"option_host_video", &Meet::option_host_video},
    {"option_jbh", &Meet::option_jbh},
    {"option_participants_video", &Meet::option_participants_video},
    {"option_start_type", &Meet::option_start_type},
    {"password", &Meet::password},
    {"schedule_use_pmi", &Meet::schedule_use_pmi},
    {"screen_share", &Meet::screen_share},
    {"start_time", &Meet::start_time},
    {"start_url", &Meet::start_url},
    {"status", &Meet::status},
    {"timezone", &Meet::timezone},
    {"topic", &Meet::topic},
    {"type", &Meet::type},
    {"type_des", &Meet::type_des},
    {"use_pac_1", &Meet::use_pac_1},
    {"use_pac_2", &Meet::use_pac_2},
    {"uuid", &Meet::uuid},
};
constexpr std::size_t kFieldCount = sizeof kFields / sizeof kFields[0];
static_assert(kFieldCount == 62 && kFieldCount <= 64, "one bit per field in FromJson");

// The longest key is well below this; longer names cannot match any field.
constexpr std::size_t kMaxKeyLength = 64;

const Field* findField(const char* name)
{
    // Lower-cases ASCII only, as cJSON's own case-insensitive lookup does, and
    // ends at the first NUL just as its comparison does.
    char lowered[kMaxKeyLength];
    std::size_t length = 0;
    for (; name[length] != '\0'; ++length) {
        if (length == kMaxKeyLength)
            return nullptr;
        const char c = name[length];
        lowered[length] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view key(lowered, length);
    const Field* found = std::lower_bound(kFields, kFields + kFieldCount, key,
                                          [](const Field& f, std::string_view k) { return f.key < k; });
    return (found != kFields + kFieldCount && found->key == key) ? found : nullptr;
}

} // namespace

void Meet::FromJson(const cJSON* object)
{
    if (!object)
        return;
    // One pass over the object's members; the first member matching a key
    // wins, exactly as with cJSON_GetObjectItem for every key in turn.
    std::uint64_t seen = 0;
    for (const cJSON* item = object->child; item; item = item->next) {
        if (!item->string)
            continue;
        const Field* field = findField(item->string);
        if (!field)
            continue;
        const std::uint64_t bit = std::uint64_t{1} << (field - kFields);
        if (seen & bit)
            continue;
        seen |= bit;
        if (auto text = std::get_if<std::string Meet::*>(&field->member))
            json::readString(item, this->*(*text));
        else if (auto number = std::get_if<int Meet::*>(&field->member))
            json::readInt(item, this->*(*number));
        else
            json::readBool(item, this->*std::get<bool Meet::*>(field->member));
    }
}

} // namespace protocol
