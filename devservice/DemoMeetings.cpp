#include "DemoMeetings.h"

#include "Text.h"

#include <cstdio>

namespace devservice {
namespace {

struct DemoBooking
{
    int dayAhead;
    int hour;
    int minute;
    int duration;
    bool video;
    const char* topic;
};

const DemoBooking kBookings[] = {
    {1, 9, 30, 60, true, "产品周会"},       {1, 14, 0, 45, false, "客户需求电话沟通"},
    {2, 10, 0, 90, true, "技术方案评审"},   {2, 16, 30, 30, false, "项目进度同步"},
    {3, 9, 0, 120, true, "新员工入职培训"}, {3, 15, 0, 60, true, "季度总结会"},
};

constexpr std::time_t kUtc8OffsetSeconds = 8 * 3600;

// "YYYY-MM-DD H:MM:00" on the UTC+8 calendar, days after the day of now.
std::string wallClock(std::time_t now, int daysAhead, int hour, int minute)
{
    const std::time_t day = now + kUtc8OffsetSeconds + static_cast<std::time_t>(daysAhead) * 86400;
    std::tm parts{};
    gmtime_r(&day, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %d:%02d:00", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, hour, minute);
    return text;
}

} // namespace

std::vector<Meeting> demoMeetings(const std::string& zcode, std::time_t now)
{
    std::vector<Meeting> meetings;
    for (const DemoBooking& booking : kBookings) {
        Meeting meeting;
        meeting.zcode = zcode;
        meeting.topic = booking.topic;
        // Through the same conversion as a booking the client sends.
        meeting.startTime =
            beijingToUtc(wallClock(now, booking.dayAhead, booking.hour, booking.minute)).value();
        meeting.duration = booking.duration;
        meeting.noVideoHost = !booking.video;
        meeting.noVideoParticipants = !booking.video;
        meetings.push_back(meeting);
    }
    return meetings;
}

} // namespace devservice
