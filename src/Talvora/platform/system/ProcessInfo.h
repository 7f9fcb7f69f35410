#pragma once
// Identity of the running process and thread, and the local wall clock.

namespace talvora::platform {

struct LocalTime
{
    int year;        // e.g. 2024
    int month;       // 1-12
    int day;         // 1-31
    int hour;        // 0-23
    int minute;      // 0-59
    int second;      // 0-60
    int millisecond; // 0-999
};

LocalTime currentLocalTime();
unsigned long currentProcessId();
// The kernel's id of the calling thread (as ps -L shows it), not pthread_self.
unsigned long currentThreadId();

} // namespace talvora::platform
