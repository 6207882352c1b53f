#pragma once

#include "platform/posix/CurlHttp.h"

// Limits for HTTP against loopback servers in tests: short enough that a server which stalls
// fails the test in seconds, not minutes.
inline velmora::platform::posix::CurlHttp::Limits HttpTestLimits() {
    velmora::platform::posix::CurlHttp::Limits l;
    l.connectTimeoutMs = 1000;
    l.totalTimeoutMs = 3000;
    l.lowSpeedBytes = 1;
    l.lowSpeedSeconds = 2;
    l.maxBodyBytes = 1u << 20;
    return l;
}
