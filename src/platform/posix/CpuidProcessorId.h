#pragma once

#include <cstdint>
#include <string>

#include "platform/IProcess.h"

namespace velmora::platform::posix {

// The processor id as the Windows management service formats it: CPUID leaf 1, EDX then EAX,
// as 16 upper-case hexadecimal digits. Empty where CPUID is unavailable (not x86).
class CpuidProcessorId : public IProcessorId {
  public:
    std::string ProcessorId() override;
};

std::string FormatProcessorId(std::uint32_t edx, std::uint32_t eax);

}  // namespace velmora::platform::posix
