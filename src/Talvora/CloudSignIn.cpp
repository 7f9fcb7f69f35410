#include "CloudSignIn.h"

#include "AnswerText.h"
#include "Config.h"
#include "ErrorBox.h"
#include "ServiceExchange.h"
#include "crypto/AESCipher.h"
#include "crypto/Base64.h"
#include "crypto/Wipe.h"
#include "log/LineText.h"
#include "log/Log.h"
#include "platform/KelpNetUtils.h"
#include "platform/Strevonet.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <new>
#include <optional>
#include <string>

namespace talvora {
namespace {

constexpr const char* kAppKey = "8f3a1c6e0b9d47e2a5c4f1d7b2e60a93";
constexpr const char* kAccountQueryPath = "/api/route/vas/zhumu/userInfo/get?accessToken=";
constexpr int kQueryAttempts = 3;
constexpr uint8_t kExchangeMode = 2;
constexpr int kCipherTextCapacity = 128;
constexpr int kPasswordFieldSize = 32;
constexpr size_t kTokenKeyLength = 8;
constexpr size_t kAesBlock = 16;

std::string quoted(const char* name)
{
    return std::string("\"") + name + "\"";
}

// The answer is searched as plain text, not parsed: the first occurrence of
// the quoted name wins, even where it stands as another field's value. Only
// a name that occurs nowhere counts as missing.
std::optional<std::string> readField(const std::string& answer, const char* name)
{
    const std::string key = quoted(name);
    const size_t at = answer.find(key);
    if (at == std::string::npos)
        return std::nullopt;
    const AnswerSpan span = valueSpanAfter(answer, at + key.size());
    return answer.substr(span.first, span.second - span.first);
}

// The decrypted field up to its first zero byte, without its PKCS#7 padding:
// a final byte of 1 to 15 names the bytes to drop, and a final block of
// sixteen 16s (a password whose length is a multiple of 16) is dropped as a
// whole. A padding value longer than the text is left alone, as is anything
// else: a wrong key shows later as the conferencing login's failure.
// It is written straight into `password`, so that no intermediate copy of the
// secret is left behind.
void withoutPadding(const unsigned char* field, size_t fieldSize, std::string& password)
{
    const auto* text = reinterpret_cast<const char*>(field);
    password.assign(text, strnlen(text, fieldSize));
    if (password.empty())
        return;
    const unsigned char last = static_cast<unsigned char>(password.back());
    if (last >= 1 && last < kAesBlock) {
        if (last <= password.size())
            password.resize(password.size() - last);
    } else if (last == kAesBlock && password.size() >= kAesBlock &&
               std::all_of(password.end() - kAesBlock, password.end(),
                           [](char c) { return static_cast<unsigned char>(c) == kAesBlock; })) {
        password.resize(password.size() - kAesBlock);
    }
}

// The answer, with its secrets masked, on standard output and in the log.
void showAnswer(const std::string& answer, const std::string& accessToken)
{
    try {
        const std::string shownAnswer = maskedAnswer(answer, accessToken);
        printLine("strRespondData: " + shownAnswer);
        LOG_INFO << "strRespondData: " << shownAnswer;
    } catch (const std::bad_alloc&) {
        // Only the diagnostic lines are lost.
    }
}

// The cloud session and the HTTP handle (unless already released: -1),
// released in this order; the token is wiped before it goes back.
void cloudCleanUp(int32_t handle, char* token, int tokenLength)
{
    if (handle >= 0)
        NET_HTTPCLIENT_Destroy(handle);
    Strevo_Logout();
    wipe(token, static_cast<size_t>(tokenLength));
    Strevo_Data_Free(token);
    Strevo_FiniLib();
}

} // namespace

int signInToCloud(CloudAccount& account)
{
    const int32_t handle = NET_HTTPCLIENT_Create();
    if (handle < 0) {
        showErrorBox("网络异常(创建HTTP句柄失败)");
        return -1;
    }
    if (Strevo_InitLib(config::kCloudAuthUrl, config::kCloudApiUrl, kAppKey) == -1) {
        showErrorBox("登录异常(Strevo_InitLib初始化Strevo失败)");
        return -1;
    }
    if (Strevo_Init(kAppKey) == -1) {
        showErrorBox("登录异常(Strevo_Init初始化Strevo失败)");
        return -1;
    }

    char* token = nullptr;
    int tokenLength = 0;
    // A negative length or a missing buffer is as unusable as a failed call.
    if (Strevo_Mid_Login(&token, &tokenLength) == -1 || tokenLength < 0 || (tokenLength > 0 && !token)) {
        showErrorBox("登录异常(Strevo_Mid_Login登录失败)");
        Strevo_FiniLib();
        return -1;
    }
    if (tokenLength == 0) {
        Strevo_FiniLib();
        std::cout << "login cancelled" << std::endl;
        LOG_INFO << "login cancelled";
        return -1;
    }

    std::string accessToken(token, static_cast<size_t>(tokenLength));
    const std::string queryBase = std::string(config::kCloudApiUrl) + kAccountQueryPath;
    std::string queryUrl;
    queryUrl.reserve(queryBase.size() + accessToken.size());
    queryUrl.append(queryBase).append(accessToken);
    const WipeOnExit wipeToken([&] {
        wipe(accessToken);
        wipe(queryUrl);
    });
    const std::string shownUrl = queryBase + maskOf(accessToken.size());
    printLine("strLoginString: " + shownUrl);
    LOG_INFO << "strLoginString: " << shownUrl;

    std::string answer;
    std::string userName;
    std::string signInAccount;
    for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
        HttpExchange exchange;
        std::memset(&exchange, 0, sizeof exchange);
        exchange.url = queryUrl.data();
        exchange.urlLength = queryUrl.size() <= INT32_MAX ? static_cast<int32_t>(queryUrl.size()) : 0;
        exchange.mode = kExchangeMode;
        const ExchangeResult result = runExchange(handle, exchange);
        if (quitRequested()) {
            // The user cancelled the progress window: end as a cancelled
            // sign-in does.
            cloudCleanUp(result.handleReleased ? -1 : handle, token, tokenLength);
            printLine("login cancelled");
            LOG_INFO << "login cancelled";
            return -1;
        }
        std::optional<std::string> received =
            result.completed ? answerBytes(exchange.answer, exchange.answerLength) : std::nullopt;
        if (!received) {
            const int32_t code = result.completed ? NET_UTILS_ERROR_OUT_OF_MEMORY : result.lastError;
            logWhenAnswerTooLarge(code);
            LOG_INFO << attempt << ": NET_HTTPCLIENT_ShortLinkExchange fail, code: " << code;
            continue;
        }
        answer = std::move(*received);
        showAnswer(answer, accessToken);

        if (const std::optional<std::string> email = readField(answer, "email")) {
            signInAccount = *email;
            break;
        }
        LOG_INFO << attempt << ": can not find email";
        if (const std::optional<std::string> name = readField(answer, "userName")) {
            userName = *name;
            signInAccount = userName + config::kEmailSuffix;
            break;
        }
        LOG_INFO << attempt << ": can not find username";
    }

    if (signInAccount.empty()) {
        showErrorBox("登录异常( KaduStrevo返回失败 )");
        cloudCleanUp(handle, token, tokenLength);
        return -1;
    }
    if (userName.empty()) {
        const std::optional<std::string> name = readField(answer, "userName");
        if (!name) {
            showErrorBox("登录异常(找不到userName字段)");
            cloudCleanUp(handle, token, tokenLength);
            return -1;
        }
        userName = *name;
    }
    cloudCleanUp(handle, token, tokenLength);
    token = nullptr;

    const std::optional<std::string> encrypted = readField(answer, "password");
    if (!encrypted) {
        showErrorBox("登录异常(找不到password字段)");
        return -1;
    }
    const std::optional<std::string> zcode = readField(answer, "zcode");
    if (!zcode) {
        showErrorBox("登录异常(找不到zcode字段)");
        return -1;
    }
    const std::optional<std::string> accountToken = readField(answer, "token");
    if (!accountToken) {
        showErrorBox("登录异常(找不到token字段)");
        return -1;
    }
    if (accountToken->size() < kTokenKeyLength) {
        showErrorBox("登录异常(token字段不足8个字符)");
        return -1;
    }

    std::string key;
    key.reserve(2 * kTokenKeyLength);
    key.append(config::kKeyPiece).append(*accountToken, accountToken->size() - kTokenKeyLength, kTokenKeyLength);
    unsigned char cipherText[kCipherTextCapacity] = {};
    unsigned char plain[kPasswordFieldSize] = {};
    const WipeOnExit wipeKey([&] {
        wipe(key);
        wipe(cipherText, sizeof cipherText);
        wipe(plain, sizeof plain);
    });
    AESCipher cipher;
    cipher.setKey(reinterpret_cast<const unsigned char*>(key.data()));
    cipher.setMode(AESCipher::CBC);
    cipher.setIV(config::kAesIv);

    // A value too long for an int is out of range like any beyond 128 bytes.
    const int encryptedLength = encrypted->size() <= INT_MAX ? static_cast<int>(encrypted->size()) : -1;
    if (encryptedLength < 0 ||
        base64_decoded_length(encrypted->data(), encryptedLength) > kCipherTextCapacity) {
        showErrorBox("登录异常(password字段超出128字节)");
        return -1;
    }
    const int cipherLength =
        base64_decode(encrypted->data(), encryptedLength, cipherText, kCipherTextCapacity);
    if (cipherLength <= 1) {
        showErrorBox("登录异常(base64解码失败)");
        return -1;
    }
    if (cipherLength > kPasswordFieldSize) {
        showErrorBox("登录异常(密码超出32字节)");
        return -1;
    }

    const int plainLength = cipher.decrypt(cipherText, cipherLength, plain);
    std::cout << "lenDec: " << plainLength << std::endl;
    std::cout << "getKey: " << maskOf(strnlen(reinterpret_cast<const char*>(plain), sizeof plain))
              << std::endl;

    account.userName = userName;
    account.signInAccount = signInAccount;
    withoutPadding(plain, sizeof plain, account.password);
    account.zcode = *zcode;
    return 0;
}

} // namespace talvora
