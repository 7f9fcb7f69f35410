#pragma once

#include "MeetingTime.h"

#include <string>

namespace talvora {

// One meeting as the client shares and reminds of it.
struct ScheduledMeeting
{
    std::string id; // also the meeting code shown to the user
    std::string topic;
    MeetingTime time;
};

} // namespace talvora
