#pragma once

namespace velmora::target {

// The send box's own send keys, on every front end: exactly Ctrl+Enter or exactly Alt+S (no
// other modifier). Key codes are virtual-key codes (platform/VirtualKey.h).
bool IsSendChord(int virtualKey, bool ctrl, bool alt, bool shift, bool meta);

}  // namespace velmora::target
