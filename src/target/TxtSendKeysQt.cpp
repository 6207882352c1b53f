#include "target/TxtSendKeysQt.h"

#include "target/TxtSendKeys.h"

namespace velmora::target {

int VkFromQtKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_Print:
            return 44;
        case Qt::Key_Delete:
            return 46;
        default:
            break;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 65 + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 48 + (qtKey - Qt::Key_0);
    return 0;
}

bool IsSendKeyEvent(int qtKey, Qt::KeyboardModifiers modifiers) {
    return IsSendChord(VkFromQtKey(qtKey), modifiers.testFlag(Qt::ControlModifier),
                       modifiers.testFlag(Qt::AltModifier), modifiers.testFlag(Qt::ShiftModifier),
                       modifiers.testFlag(Qt::MetaModifier));
}

}  // namespace velmora::target
