#include "crypto/Base64.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Decodes with an output buffer of exactly the documented size and returns
// the bytes written (or "<-1>" / "<0>"-style markers for non-positive results).
std::string decode(const std::string& text)
{
    std::vector<unsigned char> out(3 * ((text.size() + 3) / 4) + 1);
    const int n = base64_decode(text.data(), static_cast<int>(text.size()), out.data());
    if (n <= 0)
        return "<" + std::to_string(n) + ">";
    return std::string(out.begin(), out.begin() + n);
}

std::string encode(const std::string& bytes)
{
    std::string out(4 * ((bytes.size() + 2) / 3), '\0');
    const int n = base64_encode(reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()), out.data());
    return n < 0 ? "<-1>" : out.substr(0, static_cast<std::size_t>(n));
}

TEST(Base64Decode, DecodesGroupsAndPadding)
{
    EXPECT_EQ(decode("YWJj"), "abc");
    EXPECT_EQ(decode("YWJjZA=="), "abcd");
    EXPECT_EQ(decode("YWJjZGU="), "abcde");
    EXPECT_EQ(decode("YQ"), "a");
    EXPECT_EQ(decode("YWI"), "ab");
}

TEST(Base64Decode, SkipsCharactersOutsideTheAlphabet)
{
    EXPECT_EQ(decode("YW Jj"), "abc");
    EXPECT_EQ(decode("YW\r\nJj\n"), "abc");
    EXPECT_EQ(decode("\x80Y\xffWJ-j"), "abc");
    EXPECT_EQ(decode(std::string("Y\0WJj", 5)), "abc");
}

TEST(Base64Decode, PadWhereASextetIsDueEndsTheInput)
{
    EXPECT_EQ(decode("YQ==YWJj"), "a");
    EXPECT_EQ(decode("YWI=YWJj"), "ab");
    // Anywhere else an "=" is just another skipped character.
    EXPECT_EQ(decode("=YWJj"), "abc");
    EXPECT_EQ(decode("Y=WJj"), "abc");
    EXPECT_EQ(decode("YW =Jj"), "abc");
}

TEST(Base64Decode, LoneSextetYieldsNothing)
{
    EXPECT_EQ(decode("Y"), "<0>");
    EXPECT_EQ(decode("YWJjZ"), "abc");
    EXPECT_EQ(decode("   "), "<0>");
}

TEST(Base64Decode, NeverReadsBeyondTheGivenLength)
{
    unsigned char out[8] = {};
    EXPECT_EQ(base64_decode("YWJjZGVm", 4, out), 3);
    EXPECT_EQ(base64_decoded_length("YWJjZGVm", 4), 3);
}

TEST(Base64Decode, InvalidArguments)
{
    unsigned char out[4];
    testing::internal::CaptureStdout();
    EXPECT_EQ(base64_decode("YWJj", 0, out), -1);
    EXPECT_EQ(base64_decode(nullptr, 4, out), -1);
    EXPECT_EQ(base64_decode("YWJj", 4, nullptr), -1);
    EXPECT_EQ(base64_decode("YWJj", 0, out, 4), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "base64_decode() args invalid!\n"
                                                      "base64_decode() args invalid!\n"
                                                      "base64_decode() args invalid!\n"
                                                      "base64_decode() args invalid!\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(base64_decode("YWJj", -1, out), 0);
    EXPECT_EQ(base64_decode("YWJj", -1, out, 4), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Base64Decode, BoundedFormRefusesWhatDoesNotFit)
{
    unsigned char out[5] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(base64_decoded_length("YWJjZA==", 8), 4);
    EXPECT_EQ(base64_decode("YWJjZA==", 8, out, 3), -1);
    for (unsigned char byte : out)
        EXPECT_EQ(byte, 0xAA);
    EXPECT_EQ(base64_decode("YWJjZA==", 8, out, 4), 4);
    EXPECT_EQ(std::string(out, out + 4), "abcd");
    EXPECT_EQ(out[4], 0xAA);
    EXPECT_EQ(base64_decode("YWJj", 4, out, -5), -1);
    EXPECT_EQ(base64_decode("Y", 1, out, 0), 0);
}

TEST(Base64Encode, EncodesAndPads)
{
    EXPECT_EQ(encode("abc"), "YWJj");
    EXPECT_EQ(encode("a"), "YQ==");
    EXPECT_EQ(encode("ab"), "YWI=");
    EXPECT_EQ(encode(std::string("\xfb\xff\xbf", 3)), "+/+/");
    EXPECT_EQ(base64_encoded_length(4), 8);
    EXPECT_EQ(base64_encoded_length(0), 0);
    EXPECT_EQ(base64_encoded_length(-3), 0);
    EXPECT_EQ(base64_encoded_length(2000000000), -1);
}

TEST(Base64Encode, InvalidArgumentsAndBounds)
{
    const unsigned char data[] = {'a', 'b', 'c', 'd'};
    char out[9] = "********";
    testing::internal::CaptureStdout();
    EXPECT_EQ(base64_encode(data, 0, out), -1);
    EXPECT_EQ(base64_encode(nullptr, 3, out), -1);
    EXPECT_EQ(base64_encode(data, 3, nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "base64_encode() args invalid!\n"
                                                      "base64_encode() args invalid!\n"
                                                      "base64_encode() args invalid!\n");
    EXPECT_EQ(base64_encode(data, -1, out), 0);
    EXPECT_EQ(base64_encode(data, 4, out, 7), -1);
    EXPECT_STREQ(out, "********");
    EXPECT_EQ(base64_encode(data, 4, out, 8), 8);
    EXPECT_STREQ(out, "YWJjZA==");
}

TEST(Base64, RoundTripsAgainstOpenSsl)
{
    std::mt19937 random(20261207);
    for (int size = 1; size <= 300; ++size) {
        std::vector<unsigned char> data(static_cast<std::size_t>(size));
        for (unsigned char& byte : data)
            byte = static_cast<unsigned char>(random());

        std::vector<unsigned char> reference(4 * ((data.size() + 2) / 3) + 1);
        const int referenceLength = EVP_EncodeBlock(reference.data(), data.data(), size);

        std::string ours(static_cast<std::size_t>(base64_encoded_length(size)), '\0');
        ASSERT_EQ(base64_encode(data.data(), size, ours.data()), referenceLength);
        ASSERT_EQ(ours, std::string(reference.begin(), reference.begin() + referenceLength));

        std::vector<unsigned char> decoded(static_cast<std::size_t>(size));
        ASSERT_EQ(base64_decode(ours.data(), static_cast<int>(ours.size()), decoded.data(), size), size);
        ASSERT_EQ(decoded, data);
    }
}

} // namespace
