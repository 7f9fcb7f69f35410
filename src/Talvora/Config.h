#pragma once

// Deployment values compiled into the client (CMake cache variables
// TALVORA_*). The client reads no settings file, environment variable or
// argument: these are its whole configuration.
namespace talvora::config {

extern const char* const kApiHost;      // conferencing REST host, host[:port]
extern const char* const kCloudAuthUrl; // scheme://host[:port] of the cloud sign-in
extern const char* const kCloudApiUrl;  // scheme://host[:port] of the cloud API
extern const char* const kSdkWebDomain; // host[:port] handed to the conferencing SDK
extern const char* const kSupportUrl;
extern const char* const kEmailSuffix; // "@" + domain, appended to a bare user name
extern const char* const kKeyPiece;    // 8 ASCII characters, first half of the password key
extern const unsigned char kAesIv[16];

} // namespace talvora::config
