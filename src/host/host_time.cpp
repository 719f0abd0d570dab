#include "host/host.h"

#include <ctime>

int64_t host_time_seconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec;
}

int64_t host_time_milliseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void host_local_time(struct tm *out) {
    time_t now = time(nullptr);
    localtime_r(&now, out);
}

void host_sleep_ms(int milliseconds) {
    if (milliseconds <= 0)
        return;
    timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&wait, nullptr);
}
