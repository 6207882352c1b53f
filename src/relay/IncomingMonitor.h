#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Platform.h"
#include "relay/IMainView.h"
#include "relay/IResultBox.h"
#include "relay/RelayState.h"
#include "relay/mduSendBuffer.h"
#include "target/Injector.h"
#include "translate/clsGoogleLanguages.h"

namespace velmora::relay {

inline constexpr std::u16string_view kReadingCaption = u"获取数据...";
// UTF-16 code units of a capture's end kept to find the next capture's new text.
inline constexpr std::size_t kHistoryTailLength = 256;

// The incoming message monitor: after five idle seconds in txtSend it copies the IM client's
// history, hands the new part to the history module and gives mouse, window and focus back.
// Waits sleep on the event loop until the next whole second or a Wake(), never spin.
class IncomingMonitor {
  public:
    IncomingMonitor(platform::Platform platform, IMainView& view, IResultBox& resultBox,
                    RelayState& state, mduSendBuffer& sendBuffer,
                    const translate::clsGoogleLanguages& languages);

    // Timer1's tick (500 ms, enabled while txtSend has the focus).
    void Timer1_Timer();
    // Five idle seconds in lblTimeKeeper; true when they ran out, false when abandoned.
    bool RunIdleCountdown();

    // Window events the waits depend on; each updates the state and wakes a waiting countdown.
    void OnSendBoxKeyDown();
    void OnSendBoxFocusLost();
    void OnResultBoxFocusChanged(bool focused);
    void OnActivationChanged();
    void RequestExit();
    // The history pane was picked again: the old tail says nothing about the new one.
    void OnReturnAreaPicked();

    // Runs after each capture, when a send may start again.
    std::function<void()> OnCaptureEnded;

    bool TickRunning() const { return tickRunning_; }

  private:
    void Capture();
    // Stops capturing until the return area is picked again, and says why.
    void LoseReturnArea();
    std::u16string WaitForClipboardText();
    int MsToNextSecond();

    platform::Platform p_;
    IMainView& view_;
    IResultBox& box_;
    RelayState& state_;
    mduSendBuffer& sendBuffer_;
    const translate::clsGoogleLanguages& languages_;
    target::Injector inject_;
    bool tickRunning_ = false;
    std::uint64_t picks_ = 0;  // re-picks seen; a capture spanning one keeps nothing
};

}  // namespace velmora::relay
