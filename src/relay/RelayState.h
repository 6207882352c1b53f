#pragma once

#include <cstdint>
#include <string>

#include "target/TargetPoint.h"

namespace velmora::relay {

// State the main window holds and the relay flows read and write. One instance, owned by the
// main window, lives as long as the process; the flows keep a reference.
struct RelayState {
    target::TargetPoint InputAreaTarget;
    target::TargetPoint ReturnAreaTarget;
    target::TargetPoint SendButtonTarget;
    std::int32_t SendShortcutControl = 0;  // modifier virtual-key code, 0 none
    std::int32_t SendShortcutKey = 0;      // virtual-key code, 0: click the send button instead
    std::int64_t LastKeyTime = 0;          // IClock::NowSeconds() of the last key in txtSend
    bool CountdownAborted = false;
    bool ExitRequested = false;
    bool ResultBoxFocused = false;
    std::int32_t LastHistoryLength = 0;  // UTF-16 code units of the last capture with new text
    // The end of the last capture: new history is what follows its last occurrence, so a chat
    // that drops old lines from the top still shows what arrives. Empty after a re-pick.
    std::u16string LastHistoryTail;
    // The history window was gone, covered or refused the focus at a capture: no capture runs
    // until the return area is picked again.
    bool ReturnAreaLost = false;
    // How the history is read, decided when the return area is picked: through the chat
    // program's accessibility tree (no key, no focus, no clipboard); by a drag over the history
    // widget, whose place the tree knows although it shows no text, and a copy; or by keys
    // (select all, copy) and the clipboard.
    enum class HistoryRoute { Unknown, Tree, Drag, Keys };
    HistoryRoute ReturnAreaRoute = HistoryRoute::Unknown;

    // Written only by the flows: one send or one capture at a time, never both.
    bool SendRunning = false;
    bool CaptureRunning = false;
    // An in-place translation runs; it holds SendRunning as well, so sends and captures wait.
    bool InPlaceRunning = false;
};

}  // namespace velmora::relay
