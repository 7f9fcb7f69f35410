#include "log/LineText.h"

#include <iostream>

namespace talvora {
namespace {

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence that starts at text[at], or 0
// when none does. Only the shape is checked: a terminal decodes overlong
// forms the same way, and none of them is a C1 control.
std::size_t sequenceLength(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if (!isContinuation(static_cast<unsigned char>(text[at + i])))
            return 0;
    return length;
}

// The code point of the well-formed sequence of `length` bytes at text[at].
char32_t codePoint(std::string_view text, std::size_t at, std::size_t length)
{
    static const unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t value = static_cast<unsigned char>(text[at]) & kLeadMask[length];
    for (std::size_t i = 1; i < length; ++i)
        value = (value << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    return value;
}

bool isC0OrDel(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

bool isC1(char32_t c)
{
    return c >= 0x80 && c <= 0x9F;
}

void appendEscaped(std::string& out, unsigned char byte)
{
    static const char kHex[] = "0123456789ABCDEF";
    out += '\\';
    switch (byte) {
    case '\n':
        out += 'n';
        break;
    case '\r':
        out += 'r';
        break;
    case '\t':
        out += 't';
        break;
    default:
        out += 'x';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
}

} // namespace

std::string oneLine(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = sequenceLength(text, at);
        if (length == 0) {
            // Not UTF-8: only a byte that an 8-bit terminal obeys is escaped.
            if (byte >= 0x80 && byte <= 0x9F)
                appendEscaped(out, byte);
            else
                out += text[at];
            ++at;
        } else if (isC0OrDel(byte) || (length == 2 && isC1(codePoint(text, at, length)))) {
            for (std::size_t i = 0; i < length; ++i)
                appendEscaped(out, static_cast<unsigned char>(text[at + i]));
            at += length;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

void printLine(std::string_view text)
{
    std::cout << oneLine(text) << std::endl;
}

std::string singleLine(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequenceLength(text, at);
        if (length == 0) {
            out += text[at++];
            continue;
        }
        const char32_t c = codePoint(text, at, length);
        const bool lineBreak = (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
        const bool dropped =
            c < 0x20 || c == 0x7F || isC1(c) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
        if (lineBreak)
            out += ' ';
        else if (!dropped)
            out.append(text, at, length);
        at += length;
    }
    return out;
}

} // namespace talvora
