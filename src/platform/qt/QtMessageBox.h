#pragma once

#include "platform/IProcess.h"

namespace velmora::platform::qt {

class QtMessageBox : public IMessageBox {
  public:
    void Show(const std::u16string& text) override;
};

}  // namespace velmora::platform::qt
