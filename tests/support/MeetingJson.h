#pragma once
// The keys of a meeting record as the conferencing API sends them, for tests
// and benchmarks that build or check meeting JSON.

#include <string>
#include <vector>

namespace talvora_test {

// Keys 21-61: the boolean flags, in record order. Key 58 has two
// underscores in "join__meeting", as the service writes it.
extern const char* const kMeetingFlagKeys[41];

// All 62 keys of a meeting record, in record order.
std::vector<const char*> meetingKeys();

// A list answer as the service gives it: `count` meetings with every key,
// starting 2026-12-08T01:30:00Z, each with its own id, topic and duration.
std::string listAnswer(int count);

} // namespace talvora_test
