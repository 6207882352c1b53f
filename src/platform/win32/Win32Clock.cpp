#include "platform/SystemClock.h"

#include <windows.h>

namespace velmora::platform {

// Milliseconds since 1601-01-01 local time (GetLocalTime).
std::int64_t SystemClock::NowMs() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft)) return 0;
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<std::int64_t>(t.QuadPart / 10'000);  // 100 ns steps
}

// Milliseconds since boot (GetTickCount64), the clock the event loop's waits use.
std::int64_t SystemClock::SteadyMs() {
    return static_cast<std::int64_t>(GetTickCount64());
}

LocalTime SystemClock::NowLocal() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

}  // namespace velmora::platform
