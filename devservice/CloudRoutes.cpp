// The cloud platform's two endpoints: the sign-in dialog's token request and
// the client's account query. Access tokens live in memory only; neither
// tokens nor passwords are ever written to the service's log.

#include "LoginThrottle.h"
#include "Routes.h"
#include "Store.h"
#include "Text.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace devservice {
namespace {

constexpr const char* kCloudAppKey = "8f3a1c6e0b9d47e2a5c4f1d7b2e60a93";
constexpr int kTokenLifetimeSeconds = 7200;
constexpr const char* kJson = "application/json";

using Clock = std::chrono::steady_clock;

std::string hexOf(const unsigned char* data, size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 15];
    }
    return hex;
}

std::string ivBytes()
{
    const std::string hex = TALVORA_AES_IV;
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

struct CipherContextDeleter
{
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

// Base64 of AES-128-CBC with PKCS#7 padding; the account token's last eight
// characters complete the key. Nothing when OpenSSL fails.
std::optional<std::string> encryptPassword(const std::string& password, const std::string& accountToken)
{
    const std::string key = std::string(TALVORA_KEY_PIECE) + accountToken.substr(accountToken.size() - 8);
    const std::string iv = ivBytes();
    if (key.size() != 16 || iv.size() != 16)
        return std::nullopt;

    std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> context(EVP_CIPHER_CTX_new());
    if (!context)
        return std::nullopt;
    std::string cipherText(password.size() + 16, '\0');
    auto* out = reinterpret_cast<unsigned char*>(cipherText.data());
    int written = 0;
    int finalWritten = 0;
    if (EVP_EncryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()),
                           reinterpret_cast<const unsigned char*>(iv.data())) != 1 ||
        EVP_EncryptUpdate(context.get(), out, &written,
                          reinterpret_cast<const unsigned char*>(password.data()),
                          static_cast<int>(password.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), out + written, &finalWritten) != 1)
        return std::nullopt;
    cipherText.resize(static_cast<size_t>(written + finalWritten));

    std::string base64(4 * ((cipherText.size() + 2) / 3) + 1, '\0');
    const int encoded = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()),
                                        reinterpret_cast<const unsigned char*>(cipherText.data()),
                                        static_cast<int>(cipherText.size()));
    base64.resize(static_cast<size_t>(encoded));
    return base64;
}

// Access tokens handed out by /oauth/token, each naming a cloud account.
class TokenTable
{
public:
    std::optional<std::string> issue(const std::string& cloudAccount)
    {
        unsigned char random[24];
        if (RAND_bytes(random, sizeof random) != 1)
            return std::nullopt;
        const std::string token = hexOf(random, sizeof random);
        const Clock::time_point now = Clock::now();
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_tokens.begin(); it != m_tokens.end();)
            it = it->second.expires <= now ? m_tokens.erase(it) : std::next(it);
        m_tokens[token] = Entry{cloudAccount, now + std::chrono::seconds(kTokenLifetimeSeconds)};
        return token;
    }

    std::optional<std::string> accountOf(const std::string& token) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_tokens.find(token);
        if (it == m_tokens.end() || it->second.expires <= Clock::now())
            return std::nullopt;
        return it->second.cloudAccount;
    }

private:
    struct Entry
    {
        std::string cloudAccount;
        Clock::time_point expires;
    };
    mutable std::mutex m_mutex; // guards m_tokens: handlers run on the server's worker threads
    std::unordered_map<std::string, Entry> m_tokens;
};

// The form fields of a POST body, whatever the server made of it already.
httplib::Params formFields(const httplib::Request& req)
{
    httplib::Params fields = req.params;
    if (fields.empty() && !req.body.empty())
        httplib::detail::parse_query_text(req.body, fields);
    return fields;
}

std::string fieldOf(const httplib::Params& fields, const char* name)
{
    const auto it = fields.find(name);
    return it == fields.end() ? std::string() : it->second;
}

} // namespace

void registerCloudRoutes(httplib::Server& server, Store& store)
{
    auto tokens = std::make_shared<TokenTable>();
    auto throttle = std::make_shared<LoginThrottle>();

    server.Post("/oauth/token",
                [&store, tokens, throttle](const httplib::Request& req, httplib::Response& res) {
                    const httplib::Params fields = formFields(req);
                    if (fieldOf(fields, "app_key") != kCloudAppKey) {
                        answerError(res, 401, "invalid_client", "unknown application key");
                        return;
                    }
                    const std::string cloudAccount = fieldOf(fields, "account");
                    if (throttle->refuseWhileLocked(cloudAccount, res))
                        return;
                    const std::optional<Account> account = store.accountByCloudLogin(cloudAccount);
                    if (!account || !sameSecret(fieldOf(fields, "password"), account->cloudPassword)) {
                        throttle->failed(cloudAccount);
                        answerError(res, 401, "invalid_grant", "wrong account or password");
                        return;
                    }
                    throttle->succeeded(cloudAccount);
                    const std::optional<std::string> token = tokens->issue(account->cloudAccount);
                    if (!token) {
                        answerError(res, 500, "server_error", "no random source");
                        return;
                    }
                    res.status = 200;
                    res.set_content("{\"access_token\":" + jsonString(*token) +
                                        ",\"token_type\":\"bearer\",\"expires_in\":" +
                                        std::to_string(kTokenLifetimeSeconds) + "}",
                                    kJson);
                });

    const auto userInfo = [&store, tokens](const httplib::Request& req, httplib::Response& res) {
        const std::optional<std::string> cloudAccount = tokens->accountOf(req.get_param_value("accessToken"));
        const std::optional<Account> account =
            cloudAccount ? store.accountByCloudLogin(*cloudAccount) : std::nullopt;
        if (!account) {
            answerError(res, 401, "invalid_token", "unknown or expired access token");
            return;
        }
        if (account->token.size() < 8) {
            answerError(res, 500, "server_error", "account token too short");
            return;
        }
        const std::optional<std::string> password = encryptPassword(account->password, account->token);
        if (!password) {
            answerError(res, 500, "server_error", "encryption failed");
            return;
        }
        std::string body = "{\"userName\":" + jsonString(account->userName);
        if (!account->email.empty())
            body += ",\"email\":" + jsonString(account->email);
        body += ",\"password\":" + jsonString(*password);
        body += ",\"zcode\":" + jsonString(account->zcode);
        body += ",\"token\":" + jsonString(account->token);
        body += "}";
        res.status = 200;
        res.set_content(body, kJson);
    };
    server.Get("/api/route/vas/zhumu/userInfo/get", userInfo);
    server.Post("/api/route/vas/zhumu/userInfo/get", userInfo);
}

} // namespace devservice
