#include "target/SendChord.h"

#include "platform/VirtualKey.h"

namespace velmora::target {

bool IsSendChord(int virtualKey, bool ctrl, bool alt, bool shift, bool meta) {
    namespace vk = platform::vk;
    if (shift || meta) return false;
    if (ctrl && !alt) return virtualKey == vk::Return;
    if (alt && !ctrl) return virtualKey == vk::Letter('S');
    return false;
}

}  // namespace velmora::target
