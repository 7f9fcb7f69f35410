#pragma once
// The cloud sign-in: the cloud SDK signs the user in, one account query over
// HTTPS fetches the conferencing account, and its password is decrypted.

#include <string>

namespace talvora {

struct CloudAccount
{
    std::string userName;      // conferencing user name
    std::string signInAccount; // e-mail, or the user name with the e-mail suffix
    std::string password;      // plain conferencing password
    std::string zcode;
};

// The first half of loginAndRun(): 0 with the account filled in, or -1 after
// one error box (no box when the user cancelled the sign-in).
int signInToCloud(CloudAccount& account);

} // namespace talvora
