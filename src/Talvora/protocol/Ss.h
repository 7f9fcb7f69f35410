#pragma once

#include "protocol/IJSONStruct.h"
#include "protocol/Meet.h"

#include <string>
#include <vector>

namespace protocol {

// One page of the meeting list. The page counters are kept as text; every
// FromJson rebuilds `meetings` from scratch.
struct Ss : IProtocolData
{
    void FromJson(const cJSON* object) override;

    std::string page_count;
    std::string total_records;
    std::string page_number;
    std::string page_size;
    std::vector<Meet> meetings;
};

} // namespace protocol
