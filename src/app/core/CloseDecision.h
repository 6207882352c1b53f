#pragma once

namespace velmora::app {

// Why the main window is being closed.
enum class CloseReason { User = 0, FromCode = 1, SessionEnd = 2, TaskManager = 3, Other = 4 };

enum class CloseAction {
    RemoveIconAndClose,  // exit was chosen
    HideToTray,          // keep running behind the tray icon
    MinimizeInstead,     // no tray to hide behind: stay reachable from the taskbar
    LetClose,            // session end and the like: the system decides
};

CloseAction DecideClose(bool exitRequested, CloseReason reason, bool trayAvailable);

}  // namespace velmora::app
