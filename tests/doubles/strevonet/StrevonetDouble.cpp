#include "StrevonetDouble.h"

#include "Strevonet.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace strevo_double {
namespace {

struct State
{
    int initLibResult = 0;
    int initResult = 0;
    int loginResult = 0;
    std::string loginToken = "access-token-0123456789";
    int lengthWithoutBuffer = 0;
    InitLibArguments initLibArguments;
    std::string initAppKey;
    std::vector<std::string> calls;
    std::function<void(const std::string&)> observer;
    std::vector<char*> handedOut;
    std::vector<size_t> handedOutLengths; // beside handedOut
    int foreignFrees = 0;
    int unwipedTokens = 0;
};

State& state()
{
    static State instance;
    return instance;
}

void record(const char* name)
{
    State& s = state();
    s.calls.emplace_back(name);
    if (s.observer)
        s.observer(name);
}

std::string textOf(const char* text)
{
    return text ? std::string(text) : std::string();
}

} // namespace

void reset()
{
    for (char* token : state().handedOut)
        std::free(token);
    state() = State{};
}

void setInitLibResult(int result)
{
    state().initLibResult = result;
}

void setInitResult(int result)
{
    state().initResult = result;
}

void setLogin(int result, std::string token)
{
    state().loginResult = result;
    state().loginToken = std::move(token);
    state().lengthWithoutBuffer = 0;
}

void setLoginLengthWithoutBuffer(int length)
{
    state().loginResult = 0;
    state().loginToken.clear();
    state().lengthWithoutBuffer = length;
}

InitLibArguments initLibArguments()
{
    return state().initLibArguments;
}

std::string initAppKey()
{
    return state().initAppKey;
}

std::vector<std::string> calls()
{
    return state().calls;
}

void setCallObserver(std::function<void(const std::string&)> observer)
{
    state().observer = std::move(observer);
}

int unwipedTokens()
{
    return state().unwipedTokens;
}

int outstandingTokens()
{
    return static_cast<int>(state().handedOut.size());
}

int foreignFrees()
{
    return state().foreignFrees;
}

} // namespace strevo_double

using strevo_double::record;
using strevo_double::state;

extern "C" {

int Strevo_InitLib(const char* authHost, const char* apiHost, const char* appKey)
{
    state().initLibArguments = {strevo_double::textOf(authHost), strevo_double::textOf(apiHost),
                                strevo_double::textOf(appKey)};
    record("Strevo_InitLib");
    return state().initLibResult;
}

int Strevo_Init(const char* appKey)
{
    state().initAppKey = strevo_double::textOf(appKey);
    record("Strevo_Init");
    return state().initResult;
}

int Strevo_Mid_Login(char** token, int* tokenLength)
{
    record("Strevo_Mid_Login");
    auto& s = state();
    if (s.loginResult == -1)
        return -1;
    if (s.lengthWithoutBuffer) {
        *token = nullptr;
        *tokenLength = s.lengthWithoutBuffer;
        return s.loginResult;
    }
    if (s.loginToken.empty()) {
        *token = nullptr;
        *tokenLength = 0;
        return s.loginResult;
    }
    // Exactly the token's bytes, no terminator: a reader that runs past the
    // length trips the address sanitizer.
    char* buffer = static_cast<char*>(std::malloc(s.loginToken.size()));
    std::memcpy(buffer, s.loginToken.data(), s.loginToken.size());
    s.handedOut.push_back(buffer);
    s.handedOutLengths.push_back(s.loginToken.size());
    *token = buffer;
    *tokenLength = static_cast<int>(s.loginToken.size());
    return s.loginResult;
}

int Strevo_Logout()
{
    record("Strevo_Logout");
    return 0;
}

void Strevo_Data_Free(char* data)
{
    record("Strevo_Data_Free");
    auto& handedOut = state().handedOut;
    const auto it = std::find(handedOut.begin(), handedOut.end(), data);
    if (it == handedOut.end()) {
        ++state().foreignFrees;
        return;
    }
    const auto index = static_cast<size_t>(it - handedOut.begin());
    auto& lengths = state().handedOutLengths;
    if (std::any_of(*it, *it + lengths[index], [](char byte) { return byte != 0; }))
        ++state().unwipedTokens;
    std::free(*it);
    handedOut.erase(it);
    lengths.erase(lengths.begin() + static_cast<std::ptrdiff_t>(index));
}

int Strevo_FiniLib()
{
    record("Strevo_FiniLib");
    return 0;
}

} // extern "C"
