#pragma once

#include "platform/Platform.h"
#include "target/TargetPoint.h"

namespace velmora::target {

class frmSnapShot;

// Lets the user click a place on a frozen picture of the screen and fills target with the
// real window there. Returns when the overlay is closed; closed without a click, target is
// left unchanged. The clipboard holds the screen capture afterwards.
void PickTargetPoint(platform::Platform& p, TargetPoint& target);

// The one overlay of the process, created by the first pick (null before).
frmSnapShot* SnapShotOverlay();

}  // namespace velmora::target
