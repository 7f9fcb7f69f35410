#pragma once

struct cJSON;

namespace protocol {

// A record that fills its fields from one JSON object. A null object changes
// nothing; keys are matched without regard to letter case and a key that is
// absent leaves its field as it was.
struct IJSONStruct
{
    virtual void FromJson(const cJSON* object) = 0;
    virtual ~IJSONStruct() = default;
};

// The common base through which the protocol records are held and destroyed.
struct IProtocolData : IJSONStruct
{
    ~IProtocolData() override = default;
};

} // namespace protocol
