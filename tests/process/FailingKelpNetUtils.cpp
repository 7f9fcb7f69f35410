// A KelpNetUtils that cannot start: NET_UTILS_Init answers 0 and nothing
// else does anything.

#include "KelpNetUtils.h"

extern "C" {

int NET_UTILS_Init()
{
    return 0;
}

void NET_UTILS_Fini() {}

int32_t NET_UTILS_GetLastError()
{
    return -1;
}

int32_t NET_HTTPCLIENT_Create()
{
    return -1;
}

int NET_HTTPCLIENT_SetParam(int32_t, int, const char*, int, const char*, int)
{
    return 0;
}

int NET_HTTPCLIENT_ShortLinkExchange(int32_t, HttpExchange*)
{
    return 0;
}

void NET_HTTPCLIENT_Destroy(int32_t) {}

} // extern "C"
