#include "target/qt/TxtSendKeysQt.h"

#include "platform/VirtualKey.h"
#include "target/SendChord.h"

namespace velmora::target {

namespace vk = platform::vk;

int VkFromQtKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return vk::Return;
        case Qt::Key_Shift:
            return vk::Shift;
        case Qt::Key_Control:
            return vk::Control;
        case Qt::Key_Alt:
            return vk::Menu;
        case Qt::Key_Print:
            return vk::Print;
        case Qt::Key_Delete:
            return vk::Delete;
        default:
            break;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return vk::LetterA + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return vk::Digit0 + (qtKey - Qt::Key_0);
    return 0;
}

bool IsSendKeyEvent(int qtKey, Qt::KeyboardModifiers modifiers) {
    return IsSendChord(VkFromQtKey(qtKey), modifiers.testFlag(Qt::ControlModifier),
                       modifiers.testFlag(Qt::AltModifier), modifiers.testFlag(Qt::ShiftModifier),
                       modifiers.testFlag(Qt::MetaModifier));
}

}  // namespace velmora::target
