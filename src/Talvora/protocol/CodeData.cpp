#include "protocol/CodeData.h"

#include "protocol/JsonFields.h"

#include <cJSON.h>

namespace protocol {

void CodeData::FromJson(const cJSON* object)
{
    if (!object)
        return;
    json::readString(cJSON_GetObjectItem(object, "username"), username);
}

} // namespace protocol
