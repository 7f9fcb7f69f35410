// One POST through a build of the HTTPS transport with the trust under test:
//   https_trust_probe_* URL
// prints "completed <status>" and exits 0, or "failed <CURLcode>" and exits 1.

#include "HttpsClient.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s URL\n", argv[0]);
        return 2;
    }
    const talvora::https::Answer answer = talvora::https::post({argv[1], {}, {}});
    if (answer.completed) {
        std::printf("completed %ld\n", answer.status);
        return 0;
    }
    std::printf("failed %d\n", answer.transportError);
    return 1;
}
