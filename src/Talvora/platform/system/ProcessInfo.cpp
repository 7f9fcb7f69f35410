#include "ProcessInfo.h"

#include <ctime>

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace talvora::platform {

LocalTime currentLocalTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm fields{};
    localtime_r(&now.tv_sec, &fields);
    return LocalTime{fields.tm_year + 1900,
                     fields.tm_mon + 1,
                     fields.tm_mday,
                     fields.tm_hour,
                     fields.tm_min,
                     fields.tm_sec,
                     static_cast<int>(now.tv_nsec / 1000000)};
}

unsigned long currentProcessId()
{
    return static_cast<unsigned long>(getpid());
}

unsigned long currentThreadId()
{
    // glibc 2.36 has gettid(), but the system call keeps older ones building.
    return static_cast<unsigned long>(syscall(SYS_gettid));
}

} // namespace talvora::platform
