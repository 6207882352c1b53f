#include "target/TxtSendKeys.h"

namespace velmora::target {

namespace {
constexpr int kVkEnter = 13;
constexpr int kVkS = 83;
}  // namespace

bool IsSendChord(int vk, bool ctrl, bool alt, bool shift, bool meta) {
    if (shift || meta) return false;
    if (ctrl && !alt) return vk == kVkEnter;
    if (alt && !ctrl) return vk == kVkS;
    return false;
}

bool TxtSendKeyDown(platform::IClock& clock, std::int64_t& lastKeyTime, int vk, bool ctrl, bool alt,
                    bool shift, bool meta, const std::function<void()>& send) {
    lastKeyTime = clock.NowSeconds();
    if (!IsSendChord(vk, ctrl, alt, shift, meta)) return false;
    if (send) send();
    return true;
}

void TxtSendGotFocus(platform::ITimer& timer1) {
    timer1.SetEnabled(true);
}

void TxtSendLostFocus(platform::ITimer& timer1, bool& countdownAborted,
                      const std::function<void()>& hideTimeKeeper) {
    timer1.SetEnabled(false);
    countdownAborted = true;
    if (hideTimeKeeper) hideTimeKeeper();
}

}  // namespace velmora::target
