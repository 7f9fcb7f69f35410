#pragma once

#include "protocol/IJSONStruct.h"

#include <string>

namespace protocol {

// The user account answered by the user query. Only `username` is ever read
// from JSON; the other fields keep their defaults.
struct CodeData : IProtocolData
{
    void FromJson(const cJSON* object) override;

    int code = 0;
    int zcode = 0;
    std::string id;
    std::string username;
    std::string mobile;
    std::string usertype;
    std::string det;
    std::string createtime;
    std::string createby;
    int pmi = 0;
    int role = 0;
    std::string email;
    int isowner = 0;
    int accounttype = 0;
    std::string token;
};

} // namespace protocol
