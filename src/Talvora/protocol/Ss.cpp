#include "protocol/Ss.h"

#include "protocol/JsonFields.h"

#include <cJSON.h>

namespace protocol {

void Ss::FromJson(const cJSON* object)
{
    if (!object)
        return;
    json::readString(cJSON_GetObjectItem(object, "page_count"), page_count);
    json::readString(cJSON_GetObjectItem(object, "total_records"), total_records);
    json::readString(cJSON_GetObjectItem(object, "page_number"), page_number);
    json::readString(cJSON_GetObjectItem(object, "page_size"), page_size);

    meetings.clear();
    const cJSON* list = cJSON_GetObjectItem(object, "meetings");
    if (!list)
        return;
    // Walks the children as cJSON_GetArrayItem would, without its quadratic
    // cost. A JSON null entry is still an entry and gives a default meeting.
    meetings.reserve(static_cast<std::size_t>(cJSON_GetArraySize(list)));
    for (const cJSON* entry = list->child; entry; entry = entry->next) {
        meetings.emplace_back();
        meetings.back().FromJson(entry);
    }
}

} // namespace protocol
