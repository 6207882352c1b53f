#pragma once

#include <string>

#include "platform/IProcess.h"

namespace velmora::update::mduUnitId {

// The machine's unit id: the processor id exactly as the platform reports it, or empty when it
// cannot be had. Never fails. Start-up computes it once and keeps it for the process's life.
std::string GetUnitId(platform::IProcessorId& processorId);

}  // namespace velmora::update::mduUnitId
