#include "platform/posix/CpuidProcessorId.h"

#include <cstdio>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace velmora::platform::posix {

std::string FormatProcessorId(std::uint32_t edx, std::uint32_t eax) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%08X%08X", static_cast<unsigned>(edx),
                  static_cast<unsigned>(eax));
    return buf;
}

std::string CpuidProcessorId::ProcessorId() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return {};
    return FormatProcessorId(edx, eax);
#else
    return {};
#endif
}

}  // namespace velmora::platform::posix
