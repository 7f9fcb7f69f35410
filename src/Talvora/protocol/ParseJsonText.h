#pragma once

#include "protocol/IJSONStruct.h"

#include <memory>
#include <string>

namespace protocol {

// Fills `record` from the JSON text. Returns false, leaving the record as it
// was, when the text is empty or not JSON, or when `record` is null; also
// false when memory runs out while filling it (the record may then be partly
// filled).
bool ParseJsonText(const std::shared_ptr<IProtocolData>& record, const std::string& text);

} // namespace protocol
