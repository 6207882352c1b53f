#include "app/core/DeferredApply.h"

namespace velmora::app {

bool DeferredApply::Request() {
    pending_ = true;
    return Poll();
}

bool DeferredApply::Poll() {
    if (!pending_ || busy_()) return false;
    pending_ = false;
    apply_();
    return true;
}

}  // namespace velmora::app
