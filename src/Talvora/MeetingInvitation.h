#pragma once

#include "ScheduledMeeting.h"

#include <string>

namespace talvora {

// The text a user pastes into a chat to invite others: UTF-8, four lines
// separated by "\n", no trailing newline; the name, topic and code each kept
// within its line (singleLine), the time as the card shows it.
class MeetingInvitation
{
public:
    static std::string text(const std::string& displayName, const ScheduledMeeting& meeting);
};

} // namespace talvora
