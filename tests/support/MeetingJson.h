#pragma once
// The keys of a meeting record as the conferencing API sends them, for tests
// and benchmarks that build or check meeting JSON.

#include <vector>

namespace talvora_test {

// Keys 21-61: the boolean flags, in record order. Key 58 has two
// underscores in "join__meeting", as the service writes it.
extern const char* const kMeetingFlagKeys[41];

// All 62 keys of a meeting record, in record order.
std::vector<const char*> meetingKeys();

} // namespace talvora_test
