#pragma once

#include <optional>

#include "platform/Platform.h"
#include "relay/IMainView.h"
#include "relay/IResultBox.h"
#include "relay/ITranslate.h"
#include "relay/InPlaceFlow.h"
#include "relay/IncomingMonitor.h"
#include "relay/OutgoingFlow.h"
#include "relay/RelayScheduler.h"
#include "relay/RelayState.h"
#include "relay/mduSendBuffer.h"
#include "translate/clsGoogleLanguages.h"

namespace velmora::relay {

inline constexpr std::u16string_view kAccessibilityTurnedOn =
    u"已开启系统辅助功能，以便直接读取聊天窗口的消息记录。在此之前启动的聊天程序需重新启动后才能读"
    u"取。";

// One conversation relay: the shared state, the buffer of sent texts, and the two flows. The
// flows need the main window, which exists only after start-up decided to open it, so they are
// attached to it later and detached before it goes.
class Session {
  public:
    Session(platform::Platform platform, ITranslate& translator,
            const translate::clsGoogleLanguages& languages);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Attach(IMainView& view, IResultBox& resultBox);
    void Detach();
    bool Attached() const { return outgoing_.has_value(); }

    // Valid only while attached.
    OutgoingFlow& Outgoing() { return *outgoing_; }
    IncomingMonitor& Monitor() { return *monitor_; }
    InPlaceFlow& InPlace() { return *inPlace_; }

    // Whether the in-place translation presses the send shortcut after the paste; kept across
    // attaches.
    void SetInPlaceSend(bool send);

    // The history pane (ReturnAreaTarget) was picked again; harmless while detached.
    void OnReturnAreaPicked();

    RelayState State;
    // Sends, in-place runs and captures, one at a time.
    RelayScheduler Scheduler;

  private:
    platform::Platform platform_;
    ITranslate& translator_;
    const translate::clsGoogleLanguages& languages_;
    mduSendBuffer sendBuffer_;
    std::optional<OutgoingFlow> outgoing_;
    std::optional<IncomingMonitor> monitor_;
    std::optional<InPlaceFlow> inPlace_;
    bool inPlaceSend_ = false;
    bool accessibilityChecked_ = false;
};

}  // namespace velmora::relay
