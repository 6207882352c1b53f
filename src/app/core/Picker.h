#pragma once

namespace velmora::app {

// The three pickers under the main window's left corner.
enum class Picker { SendButton, SendArea, ReturnArea };

}  // namespace velmora::app
