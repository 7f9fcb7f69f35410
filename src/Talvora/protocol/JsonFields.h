#pragma once

#include <string>

struct cJSON;

// The type rules shared by the protocol records. Each takes the item found for
// a key (null when the key is absent, which leaves the field alone).
namespace protocol::json {

// A JSON string is copied, a number gets its printed form (services send
// counters and ids either way); null, booleans, arrays and objects leave the
// field as it was.
void readString(const cJSON* item, std::string& field);

// cJSON's integer view: numbers truncated toward zero and clamped to the int
// range, true 1, everything else 0.
void readInt(const cJSON* item, int& field);

// True exactly when the integer view is 1.
void readBool(const cJSON* item, bool& field);

} // namespace protocol::json
