#include "app/mduUnitId.h"

namespace velmora::app::mduUnitId {

std::string GetUnitId(platform::IProcessorId& processorId) {
    try {
        return processorId.ProcessorId();
    } catch (...) {
        return {};
    }
}

}  // namespace velmora::app::mduUnitId
