#pragma once

#include <string>

#include "platform/IProcess.h"

namespace velmora::platform::win32 {

// The ProcessorId of the first Win32_Processor row from the management service (WMI), asked on
// the calling thread. Empty when any step fails (no service, access denied, no such property).
class WmiProcessorId : public IProcessorId {
  public:
    std::string ProcessorId() override;
};

}  // namespace velmora::platform::win32
