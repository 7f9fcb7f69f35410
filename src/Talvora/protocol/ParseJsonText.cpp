#include "protocol/ParseJsonText.h"

#include <cJSON.h>

namespace protocol {

bool ParseJsonText(const std::shared_ptr<IProtocolData>& record, const std::string& text)
{
    if (!record || text.empty())
        return false;
    cJSON* root = cJSON_Parse(text.c_str());
    if (!root)
        return false;
    record->FromJson(root);
    cJSON_Delete(root);
    return true;
}

} // namespace protocol
