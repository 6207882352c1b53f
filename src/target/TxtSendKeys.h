#pragma once

#include <cstdint>
#include <functional>

#include "platform/IClock.h"
#include "platform/IEventLoop.h"

namespace velmora::target {

// The input box's own send keys: exactly Ctrl+Enter or exactly Alt+S (no other modifier).
bool IsSendChord(int vk, bool ctrl, bool alt, bool shift, bool meta);

// Every key that goes down in the input box: stamps lastKeyTime (local whole seconds, the
// clock's NowSeconds) and, for a send chord, runs send. Returns true when the key was
// consumed.
bool TxtSendKeyDown(platform::IClock& clock, std::int64_t& lastKeyTime, int vk, bool ctrl, bool alt,
                    bool shift, bool meta, const std::function<void()>& send);

// The incoming monitor runs only while the input box has the focus.
void TxtSendGotFocus(platform::ITimer& timer1);
void TxtSendLostFocus(platform::ITimer& timer1, bool& countdownAborted,
                      const std::function<void()>& hideTimeKeeper);

}  // namespace velmora::target
