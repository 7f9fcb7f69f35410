#pragma once
// Test double of the Strevonet cloud SDK: every Strevo_* call is recorded and
// answers with a result the test chose. Link strevonet_double in place of the
// Strevonet stand-in.

#include <functional>
#include <string>
#include <vector>

namespace strevo_double {

// Forgets every recorded call and scripted result: every call succeeds and
// Strevo_Mid_Login hands out the token "access-token-0123456789".
void reset();

void setInitLibResult(int result);
void setInitResult(int result);
// What Strevo_Mid_Login does: return `result`; when it is not -1, hand out a
// fresh malloc'd copy of `token` (not NUL-terminated) with its length. An
// empty token is a cancelled sign-in (null pointer, length 0).
void setLogin(int result, std::string token);
// Makes Strevo_Mid_Login report `length` with a null buffer (a broken SDK).
void setLoginLengthWithoutBuffer(int length);

struct InitLibArguments
{
    std::string authHost;
    std::string apiHost;
    std::string appKey;
};
InitLibArguments initLibArguments();
std::string initAppKey();

// Function names in call order: "Strevo_InitLib", "Strevo_Init",
// "Strevo_Mid_Login", "Strevo_Logout", "Strevo_Data_Free", "Strevo_FiniLib".
std::vector<std::string> calls();
// Called with the function name at every call, before it returns; lets a
// test merge these calls with other events into one timeline.
void setCallObserver(std::function<void(const std::string& name)> observer);

// Tokens handed out and not yet given back to Strevo_Data_Free.
int outstandingTokens();
// Strevo_Data_Free calls with a pointer that this double never handed out
// (null included).
int foreignFrees();
// Tokens given back to Strevo_Data_Free with their bytes still readable:
// the client is to wipe a token before it gives it back.
int unwipedTokens();

} // namespace strevo_double
