#include "Text.h"

#include <httplib.h>
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace devservice {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads between minDigits and maxDigits decimal digits at text[pos].
std::optional<int> readNumber(const std::string& text, size_t& pos, size_t minDigits, size_t maxDigits)
{
    size_t count = 0;
    int value = 0;
    while (pos < text.size() && isDigit(text[pos]) && count < maxDigits) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++count;
    }
    if (count < minDigits || (pos < text.size() && isDigit(text[pos])))
        return std::nullopt;
    return value;
}

bool expect(const std::string& text, size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

std::string formatUtc(int64_t secondsSinceEpoch)
{
    const time_t seconds = static_cast<time_t>(secondsSinceEpoch);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

} // namespace

std::string jsonString(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

namespace {

void answerRefusal(httplib::Response& res, int status, const std::string& codeMember,
                   const std::string& message, const char* contentType)
{
    res.status = status;
    res.set_content("{" + codeMember + ",\"message\":" + jsonString(message) + "}", contentType);
}

} // namespace

void answerError(httplib::Response& res, int status, const std::string& name, const std::string& message)
{
    answerRefusal(res, status, "\"error\":" + jsonString(name), message, "application/json");
}

void answerError(httplib::Response& res, int status, int code, const std::string& message)
{
    answerRefusal(res, status, "\"code\":" + std::to_string(code), message,
                  "application/json; charset=utf-8");
}

bool isValidUtf8(const std::string& text)
{
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t codePoint = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            codePoint = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if ((extra == 2 && codePoint < 0x800) || (extra == 3 && codePoint < 0x10000) ||
            codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

size_t utf8Length(const std::string& text)
{
    size_t count = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

bool hasControlCharacter(const std::string& text)
{
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

bool sameSecret(const std::string& given, const std::string& expected)
{
    // Digests of equal length are compared in full, so neither the position
    // of the first difference nor a length mismatch shows in the time taken.
    unsigned char givenDigest[SHA256_DIGEST_LENGTH];
    unsigned char expectedDigest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(given.data()), given.size(), givenDigest);
    SHA256(reinterpret_cast<const unsigned char*>(expected.data()), expected.size(), expectedDigest);
    const bool equal = CRYPTO_memcmp(givenDigest, expectedDigest, sizeof givenDigest) == 0;
    return equal && !expected.empty();
}

std::optional<std::string> beijingToUtc(const std::string& wallClock)
{
    size_t pos = 0;
    const auto year = readNumber(wallClock, pos, 4, 4);
    if (!year || !expect(wallClock, pos, '-'))
        return std::nullopt;
    const auto month = readNumber(wallClock, pos, 1, 2);
    if (!month || !expect(wallClock, pos, '-'))
        return std::nullopt;
    const auto day = readNumber(wallClock, pos, 1, 2);
    if (!day || !expect(wallClock, pos, ' '))
        return std::nullopt;
    const auto hour = readNumber(wallClock, pos, 1, 2);
    if (!hour || !expect(wallClock, pos, ':'))
        return std::nullopt;
    const auto minute = readNumber(wallClock, pos, 2, 2);
    if (!minute || !expect(wallClock, pos, ':'))
        return std::nullopt;
    const auto second = readNumber(wallClock, pos, 2, 2);
    if (!second || pos != wallClock.size())
        return std::nullopt;
    // 1971 keeps the shifted time after the epoch; four digits end at 9999.
    if (*year < 1971 || *month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month) ||
        *hour > 23 || *minute > 59 || *second > 59)
        return std::nullopt;

    constexpr int64_t kBeijingOffsetSeconds = 8 * 3600;
    const int64_t local =
        daysFromCivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)) * 86400 +
        *hour * 3600 + *minute * 60 + *second;
    return formatUtc(local - kBeijingOffsetSeconds);
}

std::string utcNow()
{
    return formatUtc(static_cast<int64_t>(std::time(nullptr)));
}

} // namespace devservice
