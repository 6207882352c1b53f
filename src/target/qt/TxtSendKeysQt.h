#pragma once

#include <Qt>

namespace velmora::target {

// The Windows virtual-key code of a Qt key (both Enter keys are 13; letters are their
// upper-case codes); 0 for keys with no code here.
int VkFromQtKey(int qtKey);

// Whether a key press in the input box is one of its send chords. The keypad flag is no
// modifier for this purpose.
bool IsSendKeyEvent(int qtKey, Qt::KeyboardModifiers modifiers);

}  // namespace velmora::target
