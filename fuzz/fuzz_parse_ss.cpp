// Parses arbitrary text into a meeting-list page, then a second time into the
// same page, and reads every meeting back.
#include "protocol/ParseJsonText.h"
#include "protocol/Ss.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto page = std::make_shared<protocol::Ss>();
    if (!protocol::ParseJsonText(page, text))
        return 0;

    std::size_t total = page->page_count.size() + page->page_size.size();
    for (const protocol::Meet& meet : page->meetings)
        total += meet.topic.size() + meet.start_time.size() + static_cast<std::size_t>(meet.duration & 1);

    const std::size_t firstCount = page->meetings.size();
    if (!protocol::ParseJsonText(page, text) || page->meetings.size() != firstCount)
        std::abort();
    return total == SIZE_MAX ? 1 : 0;
}
