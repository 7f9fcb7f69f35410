// The cloud platform SDK over the local platform's HTTPS endpoints. The
// library's state is touched only from the GUI thread, like the original's.

#include "Strevonet.h"

#include "SignInDialog.h"

#include <QApplication>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Library
{
    bool libraryReady = false; // Strevo_InitLib succeeded
    bool initialised = false;  // Strevo_Init succeeded
    std::string authUrl;
    std::string apiUrl;
    std::string appKey;
};

Library& library()
{
    static Library instance;
    return instance;
}

bool isBlank(const char* text)
{
    return !text || !*text;
}

} // namespace

extern "C" {

int Strevo_InitLib(const char* authHost, const char* apiHost, const char* appKey)
{
    if (isBlank(authHost) || isBlank(apiHost) || isBlank(appKey))
        return -1;
    Library& lib = library();
    lib = Library{};
    lib.libraryReady = true;
    lib.authUrl = authHost;
    lib.apiUrl = apiHost;
    lib.appKey = appKey;
    return 0;
}

int Strevo_Init(const char* appKey)
{
    Library& lib = library();
    if (!lib.libraryReady || isBlank(appKey) || lib.appKey != appKey)
        return -1;
    lib.initialised = true;
    return 0;
}

int Strevo_Mid_Login(char** token, int* tokenLength)
{
    Library& lib = library();
    if (!token || !tokenLength || !lib.initialised ||
        !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return -1;
    *token = nullptr;
    *tokenLength = 0;

    talvora::strevonet::SignInDialog dialog(lib.authUrl, lib.appKey);
    if (dialog.exec() != QDialog::Accepted)
        return 0;

    const std::string& accessToken = dialog.accessToken();
    if (accessToken.size() > static_cast<size_t>(INT_MAX))
        return -1;
    char* buffer = static_cast<char*>(std::malloc(accessToken.size()));
    if (!buffer)
        return -1;
    std::memcpy(buffer, accessToken.data(), accessToken.size());
    *token = buffer;
    *tokenLength = static_cast<int>(accessToken.size());
    return 0;
}

// The platform keeps no session state for a token once it is handed out.
int Strevo_Logout()
{
    return library().initialised ? 0 : -1;
}

void Strevo_Data_Free(char* data)
{
    std::free(data);
}

int Strevo_FiniLib()
{
    Library& lib = library();
    if (!lib.libraryReady)
        return -1;
    lib = Library{};
    return 0;
}

} // extern "C"
