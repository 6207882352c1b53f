#include "relay/Session.h"

namespace velmora::relay {

Session::Session(platform::Platform platform, ITranslate& translator,
                 const translate::clsGoogleLanguages& languages)
    : platform_(platform),
      translator_(translator),
      languages_(languages),
      sendBuffer_(platform_.regex, translator_) {}

void Session::Attach(IMainView& view, IResultBox& resultBox) {
    Detach();
    outgoing_.emplace(platform_, view, resultBox, State, sendBuffer_, translator_, languages_);
    monitor_.emplace(platform_, view, resultBox, State, sendBuffer_, languages_);
    // A send asked for during a capture waits for its end.
    monitor_->OnCaptureEnded = [this] { outgoing_->RunPendingSend(); };
}

void Session::OnReturnAreaPicked() {
    if (monitor_) {
        monitor_->OnReturnAreaPicked();
    } else {
        State.LastHistoryTail.clear();
    }
}

void Session::Detach() {
    monitor_.reset();
    outgoing_.reset();
}

}  // namespace velmora::relay
