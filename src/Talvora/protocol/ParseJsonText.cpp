#include "protocol/ParseJsonText.h"

#include <cJSON.h>

#include <new>

namespace protocol {

bool ParseJsonText(const std::shared_ptr<IProtocolData>& record, const std::string& text)
{
    if (!record || text.empty())
        return false;
    cJSON* root = cJSON_Parse(text.c_str());
    if (!root)
        return false;
    // An answer whose records do not fit in memory is one that does not
    // parse: the caller keeps going with what the record held before.
    bool filled = true;
    try {
        record->FromJson(root);
    } catch (const std::bad_alloc&) {
        filled = false;
    }
    cJSON_Delete(root);
    return filled;
}

} // namespace protocol
