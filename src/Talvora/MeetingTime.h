#pragma once
// When a meeting takes place. The service keeps start times in UTC; the
// client shows them in Beijing time (UTC+8) whatever this machine's zone is,
// and every text that repeats a card's time (invitation, reminder) is made
// here so that it reads exactly as the card does.

#include <QDate>
#include <QDateTime>

#include <optional>
#include <string>

namespace talvora {

class MeetingTime
{
public:
    // Reads a service start_time: year "-" month "-" day "T" hour ":"
    // minute ":" followed by anything. Out-of-range fields roll over as a
    // calendar would. Without one of the separators there is no time, and
    // *failure (when given) names the missing one in the card's words.
    static std::optional<MeetingTime> fromServiceText(const std::string& startTime, long long durationMinutes,
                                                      const char** failure = nullptr);

    // A start as the user picked it, in Beijing time.
    static MeetingTime fromBeijing(int year, int month, int day, int hour, int minute,
                                   long long durationMinutes);

    // The start in Beijing time; the date is invalid when the service's
    // numbers were beyond any calendar.
    const QDate& date() const { return m_date; }
    int hour() const { return m_iHour; }
    int minute() const { return m_iMinute; }
    long long durationMinutes() const { return m_iDuration; }

    // The end on the start's date: a meeting past midnight ends at 24:xx or
    // later.
    long long hourStop() const;
    long long minuteStop() const;

    // "2024年3月7日  " (two spaces), "9:05", "2024年3月7日  9:05",
    // "2024年3月7日  10:35" and "2024年3月7日  9:05-10:35".
    std::string datePart() const;
    std::string startClock() const;
    std::string startText() const;
    std::string endText() const;
    std::string rangeText() const;

    // The service's own instants; invalid when the date is.
    QDateTime startUtc() const;
    QDateTime endUtc() const;

private:
    MeetingTime(const QDate& date, int hour, int minute, long long durationMinutes);

    QDate m_date;
    int m_iHour = 0;
    int m_iMinute = 0;
    long long m_iDuration = 0;
};

} // namespace talvora
