#include "RequestLog.h"

#include "Text.h"

#include <algorithm>
#include <cctype>

namespace devservice {
namespace {

constexpr size_t kMaxLoggedValue = 120;

bool isSecretName(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* word : {"secret", "password", "passwd", "token", "pwd"}) {
        if (name.find(word) != std::string::npos)
            return true;
    }
    return false;
}

std::string printable(const std::string& text)
{
    std::string out = text.size() > kMaxLoggedValue ? text.substr(0, kMaxLoggedValue) + "..." : text;
    for (char& c : out) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return out;
}

} // namespace

std::string maskedParameters(const std::multimap<std::string, std::string>& params)
{
    std::string text;
    for (const auto& [name, value] : params) {
        if (!text.empty())
            text += '&';
        text += printable(name);
        text += '=';
        text += isSecretName(name) ? std::string("***") : printable(value);
    }
    return text;
}

std::string requestLine(const std::string& remoteAddress, const std::string& method, const std::string& path,
                        const std::multimap<std::string, std::string>& params, int status, size_t answerBytes)
{
    std::string line =
        utcNow() + " " + printable(remoteAddress) + " " + printable(method) + " " + printable(path);
    const std::string query = maskedParameters(params);
    if (!query.empty())
        line += "?" + query;
    line += " -> " + std::to_string(status) + " (" + std::to_string(answerBytes) + " bytes)";
    return line;
}

std::string exceptionLine(const std::string& method, const std::string& path, const std::string& what)
{
    return utcNow() + " exception in " + printable(method) + " " + printable(path) + ": " + printable(what);
}

} // namespace devservice
