#include "app/core/CloseDecision.h"

namespace velmora::app {

CloseAction DecideClose(bool exitRequested, CloseReason reason, bool trayAvailable) {
    if (exitRequested) return CloseAction::RemoveIconAndClose;
    if (reason == CloseReason::User || reason == CloseReason::FromCode)
        return trayAvailable ? CloseAction::HideToTray : CloseAction::MinimizeInstead;
    return CloseAction::LetClose;
}

}  // namespace velmora::app
