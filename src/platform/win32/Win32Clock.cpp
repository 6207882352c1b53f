#include "platform/win32/Win32Clock.h"

#include <windows.h>

namespace velmora::platform::win32 {

std::int64_t Win32Clock::NowMs() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft)) return 0;
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<std::int64_t>(t.QuadPart / 10'000);  // 100 ns steps
}

std::int64_t Win32Clock::SteadyMs() {
    return static_cast<std::int64_t>(GetTickCount64());
}

std::int64_t Win32Clock::NowSeconds() {
    return NowMs() / 1000;
}

LocalTime Win32Clock::NowLocal() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

double Win32Clock::SecondsSinceMidnight() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond + st.wMilliseconds / 1000.0;
}

}  // namespace velmora::platform::win32
