#pragma once

#include <string>

#include "platform/Platform.h"
#include "relay/IMainView.h"
#include "relay/IResultBox.h"
#include "relay/ITranslate.h"
#include "relay/RelayState.h"
#include "relay/mduSendBuffer.h"
#include "target/Injector.h"
#include "translate/clsGoogleLanguages.h"

namespace velmora::relay {

// Shown in the tip panel when a send cannot reach the IM client because no input box is picked.
inline constexpr std::u16string_view kPickInputAreaFirst = u"请先设置输入框位置";

// The outgoing message flow: translate what the user typed, echo it in the result box, paste the
// translation into the IM client's input box and send it.
class OutgoingFlow {
  public:
    OutgoingFlow(platform::Platform platform, IMainView& view, IResultBox& resultBox,
                 RelayState& state, mduSendBuffer& sendBuffer, ITranslate& translator,
                 const translate::clsGoogleLanguages& languages);

    // The send command (button, send image release, Ctrl+Enter, Alt+S). Ignored while another
    // send or a capture of the history is under way.
    void cmdSend_Click();

  private:
    void WriteEcho(const std::u16string& typed, const std::u16string& translation);
    void DriveImClient();

    platform::Platform p_;
    IMainView& view_;
    IResultBox& box_;
    RelayState& state_;
    mduSendBuffer& sendBuffer_;
    ITranslate& translator_;
    const translate::clsGoogleLanguages& languages_;
    target::Injector inject_;
};

}  // namespace velmora::relay
