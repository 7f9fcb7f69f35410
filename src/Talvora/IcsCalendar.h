#pragma once
// A meeting as an iCalendar file (RFC 5545) that calendar programs import.

#include "ScheduledMeeting.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <string>

namespace talvora {

class IcsCalendar
{
public:
    // One VCALENDAR holding one VEVENT: UTC start and end, the topic as the
    // summary, `description` as the description (its lines kept as lines,
    // each through singleLine, as the topic), `stamp` as DTSTAMP. UTF-8,
    // text values escaped, lines folded at 75 octets and ended by CRLF.
    // Nothing when the meeting's time lies outside the years 1-9999 that the
    // format can write.
    static std::optional<std::string> event(const ScheduledMeeting& meeting, const std::string& description,
                                            const QDateTime& stamp);

    // The name a save dialog proposes: the topic (or, without one, the
    // meeting code) with / \ : * ? " < > |, control characters, line and
    // paragraph separators and bidi controls replaced by "_", kept short
    // enough for any file system, then ".ics".
    static QString fileName(const ScheduledMeeting& meeting);

    // Writes the whole file or, on failure, leaves what was there and says
    // why in *error.
    static bool save(const QString& path, const std::string& content, QString* error);
};

} // namespace talvora
