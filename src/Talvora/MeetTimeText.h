#pragma once
// How the client shows a meeting time to the user: year "年" month "月" day
// "日  " (two spaces), hour without padding, ":", minute with two digits; and
// how it sends a start time to the service.

#include <string>

namespace talvora::timetext {

inline std::string twoDigits(long long value)
{
    return (value >= 0 && value < 10 ? "0" : "") + std::to_string(value);
}

inline std::string datePart(const std::string& year, const std::string& month, const std::string& day)
{
    return year + "年" + month + "月" + day + "日  ";
}

inline std::string datePart(int year, int month, int day)
{
    return datePart(std::to_string(year), std::to_string(month), std::to_string(day));
}

inline std::string clock(long long hour, long long minute)
{
    return std::to_string(hour) + ":" + twoDigits(minute);
}

// "2024-03-07 9:05:00": local time, the hour alone unpadded.
inline std::string serviceStart(int year, int month, int day, int hour, int minute)
{
    return std::to_string(year) + "-" + twoDigits(month) + "-" + twoDigits(day) + " " + std::to_string(hour) +
           ":" + twoDigits(minute) + ":00";
}

} // namespace talvora::timetext
