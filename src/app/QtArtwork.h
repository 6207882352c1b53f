#pragma once

#include <QIcon>
#include <QPixmap>

#include "app/core/Picker.h"

namespace velmora::app::artwork {

// All artwork is drawn in code, so the program carries it wherever it is copied.
QPixmap Background();      // 517 x 644, with the picker icons drawn in
QPixmap SettingButton();   // 73 x 33
QPixmap SettingPressed();  // 73 x 38
using app::Picker;
QPixmap PickerPressed(Picker which);  // 30 x 38
QPixmap SendButton();                 // 105 x 33
QPixmap SendPressed();                // 98 x 38
QIcon AppIcon();

}  // namespace velmora::app::artwork
