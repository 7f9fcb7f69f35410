#include "protocol/JsonFields.h"

#include <cJSON.h>

#include <cmath>

namespace protocol::json {

void readString(const cJSON* item, std::string& field)
{
    if (!item)
        return;
    if (cJSON_IsString(item)) {
        if (item->valuestring)
            field = item->valuestring;
    } else if (cJSON_IsNumber(item) && std::isfinite(item->valuedouble)) {
        char* text = cJSON_PrintUnformatted(item);
        if (text) {
            field = text;
            cJSON_free(text);
        }
    }
}

void readInt(const cJSON* item, int& field)
{
    if (item)
        field = item->valueint;
}

void readBool(const cJSON* item, bool& field)
{
    if (item)
        field = item->valueint == 1;
}

} // namespace protocol::json
