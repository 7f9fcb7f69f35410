#include "IcsCalendar.h"

#include "log/LineText.h"

#include <QSaveFile>
#include <QString>

#include <algorithm>

namespace talvora {
namespace {

constexpr std::size_t kMaxLineOctets = 75;
// Characters, not bytes: 80 CJK characters and ".ics" stay below the 255
// bytes that common file systems allow for a name.
constexpr int kMaxNameCharacters = 80;

// TEXT values: backslash, semicolon, comma and line breaks escaped; other
// control characters are not allowed in the format and are left out. Invalid
// UTF-8 from the service becomes U+FFFD first.
std::string escapeText(const std::string& raw)
{
    const std::string text = QString::fromStdString(raw).toStdString();
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\':
        case ';':
        case ',':
            escaped += '\\';
            escaped += c;
            break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            escaped += "\\n";
            break;
        case '\n':
            escaped += "\\n";
            break;
        default:
            if ((static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) || c == '\t') {
                escaped += c;
            }
        }
    }
    return escaped;
}

// A text of several lines, each made a single line of its own: a value from
// the service inside one line can neither add a line nor reorder its neighbours.
std::string linesKeptApart(const std::string& text)
{
    std::string kept;
    std::size_t from = 0;
    for (std::size_t to; (to = text.find('\n', from)) != std::string::npos; from = to + 1) {
        kept += talvora::singleLine(std::string_view(text).substr(from, to - from));
        kept += '\n';
    }
    return kept + talvora::singleLine(std::string_view(text).substr(from));
}

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A content line folded into physical lines of at most 75 octets, each ended
// by CRLF; a continuation starts with one space and never splits a UTF-8
// sequence.
std::string folded(const std::string& line)
{
    std::string out;
    std::size_t from = 0;
    bool first = true;
    do {
        const std::size_t room = first ? kMaxLineOctets : kMaxLineOctets - 1;
        std::size_t to = std::min(line.size(), from + room);
        while (to < line.size() && to > from && isContinuationByte(line[to])) {
            --to;
        }
        if (to == from) {
            to = std::min(line.size(), from + room); // not UTF-8 at all: cut anyway
        }
        if (!first) {
            out += ' ';
        }
        out.append(line, from, to - from);
        out += "\r\n";
        from = to;
        first = false;
    } while (from < line.size());
    return out;
}

std::optional<std::string> utcText(const QDateTime& time)
{
    const QDateTime utc = time.toUTC();
    if (!utc.isValid() || utc.date().year() < 1 || utc.date().year() > 9999) {
        return std::nullopt;
    }
    return utc.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toStdString();
}

} // namespace

std::optional<std::string> IcsCalendar::event(const ScheduledMeeting& meeting, const std::string& description,
                                              const QDateTime& stamp)
{
    const std::optional<std::string> start = utcText(meeting.time.startUtc());
    const std::optional<std::string> end = utcText(meeting.time.endUtc());
    const std::optional<std::string> stamped = utcText(stamp);
    if (!start || !end || !stamped) {
        return std::nullopt;
    }
    std::string ics;
    const auto add = [&ics](const std::string& line) { ics += folded(line); };
    add("BEGIN:VCALENDAR");
    add("VERSION:2.0");
    add("PRODID:-//Talvora//Talvora 1//ZH");
    add("CALSCALE:GREGORIAN");
    add("METHOD:PUBLISH");
    add("BEGIN:VEVENT");
    add("UID:" + escapeText(meeting.id) + "@talvora");
    add("DTSTAMP:" + *stamped);
    add("DTSTART:" + *start);
    // An end must lie after the start; without one the event lasts no time.
    if (meeting.time.durationMinutes() > 0) {
        add("DTEND:" + *end);
    }
    add("SUMMARY:" + escapeText(talvora::singleLine(meeting.topic)));
    add("DESCRIPTION:" + escapeText(linesKeptApart(description)));
    add("END:VEVENT");
    add("END:VCALENDAR");
    return ics;
}

QString IcsCalendar::fileName(const ScheduledMeeting& meeting)
{
    QString name = QString::fromStdString(meeting.topic.empty() ? meeting.id : meeting.topic);
    if (name.isEmpty()) {
        name = QStringLiteral("Talvora");
    }
    if (name.size() > kMaxNameCharacters) {
        // Never half a surrogate pair.
        name.truncate(name.at(kMaxNameCharacters - 1).isHighSurrogate() ? kMaxNameCharacters - 1
                                                                        : kMaxNameCharacters);
    }
    static const QString kForbidden = QStringLiteral("/\\:*?\"<>|");
    for (QChar& c : name) {
        // A bidi override would show "gpj.exe" for "exe.jpg" in a file dialog.
        const bool bidi = (c.unicode() >= 0x202A && c.unicode() <= 0x202E) ||
                          (c.unicode() >= 0x2066 && c.unicode() <= 0x2069);
        if (kForbidden.contains(c) || c.category() == QChar::Other_Control || bidi ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph) {
            c = QLatin1Char('_');
        }
    }
    return name + QStringLiteral(".ics");
}

bool IcsCalendar::save(const QString& path, const std::string& content, QString* error)
{
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       file.write(content.data(), static_cast<qint64>(content.size())) ==
                           static_cast<qint64>(content.size()) &&
                       file.commit();
    if (!saved && error != nullptr) {
        *error = file.errorString();
    }
    return saved;
}

} // namespace talvora
