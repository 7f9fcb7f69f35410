#include "MeetingTime.h"

#include "MeetTimeText.h"

#include <QTime>

#include <cstdint>
#include <cstdlib>

namespace talvora {
namespace {

constexpr std::int64_t kShiftMinutes = 8 * 60;
constexpr std::int64_t kMinutesPerDay = 24 * 60;

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

MeetingTime::MeetingTime(const QDate& date, int hour, int minute, long long durationMinutes)
    : m_date(date), m_iHour(hour), m_iMinute(minute), m_iDuration(durationMinutes)
{
}

std::optional<MeetingTime> MeetingTime::fromServiceText(const std::string& text, long long durationMinutes,
                                                        const char** failure)
{
    const auto fail = [failure](const char* message) {
        if (failure != nullptr) {
            *failure = message;
        }
        return std::nullopt;
    };
    const auto firstDash = text.find('-');
    if (firstDash == std::string::npos) {
        return fail("解析会议时间失败(找不到-字段)");
    }
    const auto secondDash = text.find('-', firstDash + 1);
    if (secondDash == std::string::npos) {
        return fail("解析会议时间失败(找不到第二个-字段)");
    }
    const auto t = text.find('T', secondDash + 1);
    if (t == std::string::npos) {
        return fail("解析会议时间失败(找不到T字段)");
    }
    const auto firstColon = text.find(':', t + 1);
    if (firstColon == std::string::npos) {
        return fail("解析会议时间失败(找不到第一个冒号字段)");
    }
    const auto secondColon = text.find(':', firstColon + 1);
    if (secondColon == std::string::npos) {
        return fail("解析会议时间失败(找不到第二个冒号字段)");
    }
    const auto number = [&text](std::size_t from, std::size_t to) {
        return std::atoi(text.substr(from, to - from).c_str());
    };
    const int year = number(0, firstDash);
    const int month = number(firstDash + 1, secondDash);
    const int day = number(secondDash + 1, t);
    const int hour = number(t + 1, firstColon);
    const int minute = number(firstColon + 1, secondColon);

    // Added arithmetically rather than through the local time zone, so that a
    // daylight-saving change on this machine cannot move a meeting by an hour.
    std::int64_t minutes = std::int64_t(hour) * 60 + minute + kShiftMinutes;
    const std::int64_t dayCarry = floorDiv(minutes, kMinutesPerDay);
    minutes -= dayCarry * kMinutesPerDay;
    const QDate date = QDate(year, 1, 1).addMonths(month - 1).addDays(std::int64_t(day) - 1 + dayCarry);
    return MeetingTime(date, int(minutes / 60), int(minutes % 60), durationMinutes);
}

MeetingTime MeetingTime::fromBeijing(int year, int month, int day, int hour, int minute,
                                     long long durationMinutes)
{
    return MeetingTime(QDate(year, month, day), hour, minute, durationMinutes);
}

long long MeetingTime::hourStop() const
{
    return (m_iMinute + m_iDuration + m_iHour * 60LL) / 60;
}

long long MeetingTime::minuteStop() const
{
    return (m_iMinute + m_iDuration + m_iHour * 60LL) % 60;
}

std::string MeetingTime::datePart() const
{
    return timetext::datePart(m_date.year(), m_date.month(), m_date.day());
}

std::string MeetingTime::startClock() const
{
    return timetext::clock(m_iHour, m_iMinute);
}

std::string MeetingTime::startText() const
{
    return datePart() + startClock();
}

std::string MeetingTime::endText() const
{
    return datePart() + timetext::clock(hourStop(), minuteStop());
}

std::string MeetingTime::rangeText() const
{
    return startText() + "-" + timetext::clock(hourStop(), minuteStop());
}

QDateTime MeetingTime::startUtc() const
{
    if (!m_date.isValid()) {
        return QDateTime();
    }
    return QDateTime(m_date, QTime(m_iHour, m_iMinute), Qt::UTC).addSecs(-kShiftMinutes * 60);
}

QDateTime MeetingTime::endUtc() const
{
    const QDateTime start = startUtc();
    return start.isValid() ? start.addSecs(m_iDuration * 60) : start;
}

} // namespace talvora
