#include "MeetingInvitation.h"

#include "log/LineText.h"

namespace talvora {

std::string MeetingInvitation::text(const std::string& displayName, const ScheduledMeeting& meeting)
{
    return singleLine(displayName) + " 邀请您参加 Talvora 会议\n" + "会议主题：" + singleLine(meeting.topic) +
           "\n" + "会议时间：" + meeting.time.rangeText() + "（北京时间）\n" + "会议码：" +
           singleLine(meeting.id);
}

} // namespace talvora
