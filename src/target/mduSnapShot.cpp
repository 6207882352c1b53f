#include "target/mduSnapShot.h"

#include "target/SnapShotPick.h"
#include "target/frmSnapShot.h"

namespace velmora::target {

namespace {
frmSnapShot* g_overlay = nullptr;
}  // namespace

void PickTargetPoint(platform::Platform& p, TargetPoint& target) {
    // Kept for the life of the process, with its fields, as the last click left them.
    if (!g_overlay) g_overlay = new frmSnapShot();
    RunPick(p, *g_overlay, target);
}

frmSnapShot* SnapShotOverlay() {
    return g_overlay;
}

}  // namespace velmora::target
