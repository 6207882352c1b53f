#pragma once

#include "platform/Platform.h"
#include "relay/IMainView.h"
#include "relay/IResultBox.h"
#include "relay/RelayScheduler.h"
#include "relay/RelayState.h"
#include "relay/mduSendBuffer.h"
#include "target/Injector.h"
#include "translate/clsGoogleLanguages.h"

namespace velmora::relay {

// What every flow of a session works with: the ports, the window, the result box and the
// session's shared state, buffer, languages and scheduler. The session outlives its flows.
class RelayFlow {
  protected:
    RelayFlow(platform::Platform platform, IMainView& view, IResultBox& resultBox,
              RelayState& state, mduSendBuffer& sendBuffer,
              const translate::clsGoogleLanguages& languages, RelayScheduler& scheduler)
        : p_(platform),
          view_(view),
          box_(resultBox),
          state_(state),
          sendBuffer_(sendBuffer),
          languages_(languages),
          scheduler_(scheduler),
          inject_(platform.input, platform.loop) {}

    platform::Platform p_;
    IMainView& view_;
    IResultBox& box_;
    RelayState& state_;
    mduSendBuffer& sendBuffer_;
    const translate::clsGoogleLanguages& languages_;
    RelayScheduler& scheduler_;
    target::Injector inject_;
};

}  // namespace velmora::relay
