#include "platform/RunningProcess.h"

#include <cstdio>
#include <iostream>

namespace velmora::platform {

void RunningProcess::FlushStreams() {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
}

}  // namespace velmora::platform
