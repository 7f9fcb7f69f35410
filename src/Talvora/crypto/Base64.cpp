#include "crypto/Base64.h"

#include <climits>
#include <cstdio>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kSkip = 255;

// Character code -> sextet, kSkip for everything outside the alphabet ("="
// included: padding is recognised by position, not by the table).
const unsigned char kDecodeTable[128] = {
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, //
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, //
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 62,  255, 255, 255, 63,  //
    52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  255, 255, 255, 255, 255, 255, //
    255, 0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  //
    15,  16,  17,  18,  19,  20,  21,  22,  23,  24,  25,  255, 255, 255, 255, 255, //
    255, 26,  27,  28,  29,  30,  31,  32,  33,  34,  35,  36,  37,  38,  39,  40,  //
    41,  42,  43,  44,  45,  46,  47,  48,  49,  50,  51,  255, 255, 255, 255, 255, //
};

unsigned char sextetOf(char c)
{
    const auto code = static_cast<unsigned char>(c);
    return code < 128 ? kDecodeTable[code] : kSkip;
}

// Walks the input once. With `out` null it only counts, so that the bounded
// decoder can refuse before writing anything.
class Decoder
{
public:
    Decoder(const char* text, int length) : m_text(text), m_length(length) {}

    int run(unsigned char* out)
    {
        int written = 0;
        unsigned char s1, s2, s3, s4;
        for (;;) {
            if (!nextSkipping(s1) || !nextSkipping(s2))
                return written;
            emit(out, written, static_cast<unsigned char>((s1 << 2) | (s2 >> 4)));
            if (!nextOrPad(s3))
                return written;
            emit(out, written, static_cast<unsigned char>(((s2 & 15) << 4) | (s3 >> 2)));
            if (!nextOrPad(s4))
                return written;
            emit(out, written, static_cast<unsigned char>(((s3 & 3) << 6) | s4));
            if (m_pos >= m_length)
                return written;
        }
    }

private:
    static void emit(unsigned char* out, int& written, unsigned char byte)
    {
        if (out)
            out[written] = byte;
        ++written;
    }

    bool nextSkipping(unsigned char& sextet)
    {
        while (m_pos < m_length) {
            sextet = sextetOf(m_text[m_pos++]);
            if (sextet != kSkip)
                return true;
        }
        return false;
    }

    // An "=" right where the sextet is due ends the whole input; after other
    // skipped characters it is skipped like them.
    bool nextOrPad(unsigned char& sextet)
    {
        if (m_pos >= m_length)
            return false;
        const char c = m_text[m_pos++];
        if (c == '=')
            return false;
        sextet = sextetOf(c);
        return sextet != kSkip || nextSkipping(sextet);
    }

    const char* m_text;
    int m_length;
    int m_pos = 0;
};

} // namespace

int base64_decoded_length(const char* text, int length)
{
    if (!text || length <= 0)
        return 0;
    return Decoder(text, length).run(nullptr);
}

int base64_decode(const char* text, int length, unsigned char* out)
{
    if (!text || !out || length == 0) {
        std::fputs("base64_decode() args invalid!\n", stdout);
        return -1;
    }
    if (length < 0)
        return 0;
    return Decoder(text, length).run(out);
}

int base64_decode(const char* text, int length, unsigned char* out, int outCapacity)
{
    if (!text || !out || length == 0) {
        std::fputs("base64_decode() args invalid!\n", stdout);
        return -1;
    }
    if (length < 0)
        return 0;
    if (base64_decoded_length(text, length) > outCapacity)
        return -1;
    return Decoder(text, length).run(out);
}

int base64_encoded_length(int length)
{
    if (length <= 0)
        return 0;
    const long long characters = 4LL * ((static_cast<long long>(length) + 2) / 3);
    return characters > INT_MAX ? -1 : static_cast<int>(characters);
}

int base64_encode(const unsigned char* data, int length, char* out)
{
    if (!data || !out || length == 0 || base64_encoded_length(length) < 0) {
        std::fputs("base64_encode() args invalid!\n", stdout);
        return -1;
    }
    if (length < 0)
        return 0;

    int written = 0;
    int i = 0;
    for (; i + 2 < length; i += 3) {
        const unsigned triple = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out[written++] = kAlphabet[(triple >> 18) & 63];
        out[written++] = kAlphabet[(triple >> 12) & 63];
        out[written++] = kAlphabet[(triple >> 6) & 63];
        out[written++] = kAlphabet[triple & 63];
    }
    const int rest = length - i;
    if (rest > 0) {
        const unsigned triple = (data[i] << 16) | (rest == 2 ? data[i + 1] << 8 : 0);
        out[written++] = kAlphabet[(triple >> 18) & 63];
        out[written++] = kAlphabet[(triple >> 12) & 63];
        out[written++] = rest == 2 ? kAlphabet[(triple >> 6) & 63] : '=';
        out[written++] = '=';
    }
    return written;
}

int base64_encode(const unsigned char* data, int length, char* out, int outCapacity)
{
    if (data && out && length > 0 && base64_encoded_length(length) > outCapacity)
        return -1;
    return base64_encode(data, length, out);
}
