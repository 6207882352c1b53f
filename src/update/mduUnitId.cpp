#include "update/mduUnitId.h"

namespace velmora::update::mduUnitId {

std::string GetUnitId(platform::IProcessorId& processorId) {
    try {
        return processorId.ProcessorId();
    } catch (...) {
        return {};
    }
}

}  // namespace velmora::update::mduUnitId
