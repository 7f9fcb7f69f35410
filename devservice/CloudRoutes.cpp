// The cloud platform's two endpoints: the sign-in dialog's token request and
// the client's account query. Access tokens live in memory only; neither
// tokens nor passwords are ever written to the service's log.

#include "LoginThrottle.h"
#include "Routes.h"
#include "Store.h"
#include "Text.h"
#include "TokenTable.h"

#include <httplib.h>
#include <openssl/evp.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace devservice {
namespace {

constexpr const char* kCloudAppKey = "8f3a1c6e0b9d47e2a5c4f1d7b2e60a93";
constexpr int kTokenLifetimeSeconds = 7200;
constexpr const char* kJson = "application/json";

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
    auto tokens = std::make_shared<TokenTable>(std::chrono::seconds(kTokenLifetimeSeconds));
    auto throttle = std::make_shared<LoginThrottle>();

    server.Post("/oauth/token",
                [&store, tokens, throttle](const httplib::Request& req, httplib::Response& res) {
                    // Whatever the body's type, so a text/plain body cannot
                    // bring a longer name than a form.
                    const httplib::Params fields = formFields(req);
                    const std::string cloudAccount = fieldOf(fields, "account");
                    const std::string password = fieldOf(fields, "password");
                    if (cloudAccount.size() > kMaxCredentialBytes || password.size() > kMaxCredentialBytes) {
                        answerError(res, 400, "invalid_request", "account or password too long");
                        return;
                    }
                    if (fieldOf(fields, "app_key") != kCloudAppKey) {
                        answerError(res, 401, "invalid_client", "unknown application key");
                        return;
                    }
                    const std::optional<Account> account =
                        cloudAccount.empty() ? std::nullopt : store.accountByCloudLogin(cloudAccount);
                    const std::string attempts = account ? "zcode:" + account->zcode : "name:" + cloudAccount;
                    if (!throttle->admit(attempts, res))
                        return;
                    if (!account || !sameSecret(password, account->cloudPassword)) {
                        answerError(res, 401, "invalid_grant", "wrong account or password");
                        return;
                    }
                    throttle->succeeded(attempts);
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
