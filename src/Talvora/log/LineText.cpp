#include "log/LineText.h"

#include <algorithm>
#include <iostream>

namespace talvora {
namespace {

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

} // namespace

std::string oneLine(std::string_view text)
{
    if (std::none_of(text.begin(), text.end(),
                     [](char c) { return isControl(static_cast<unsigned char>(c)); }))
        return std::string(text);
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + 16);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (!isControl(byte)) {
            out += c;
            continue;
        }
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
    return out;
}

void printLine(std::string_view text)
{
    std::cout << oneLine(text) << std::endl;
}

} // namespace talvora
