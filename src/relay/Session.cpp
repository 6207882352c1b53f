#include "relay/Session.h"

namespace velmora::relay {

Session::Session(platform::Platform platform, ITranslate& translator,
                 const translate::clsGoogleLanguages& languages)
    : Scheduler(platform.loop),
      platform_(platform),
      translator_(translator),
      languages_(languages),
      sendBuffer_(platform_.regex, translator_) {}

void Session::Attach(IMainView& view, IResultBox& resultBox) {
    Detach();
    outgoing_.emplace(platform_, view, resultBox, State, sendBuffer_, translator_, languages_,
                      Scheduler);
    monitor_.emplace(platform_, view, resultBox, State, sendBuffer_, languages_, Scheduler);
    inPlace_.emplace(platform_, view, resultBox, State, sendBuffer_, translator_, languages_,
                     Scheduler);
    inPlace_->SetSendAfterPaste(inPlaceSend_);
    // Chat programs export their accessibility trees only while the session's accessibility
    // is on; turn it on once, as a screen reader does, and say what that means.
    if (!accessibilityChecked_) {
        accessibilityChecked_ = true;
        if (platform_.accessibility.TurnOnIfOff())
            view.ShowTip(std::u16string(kAccessibilityTurnedOn));
    }
}

void Session::SetInPlaceSend(bool send) {
    inPlaceSend_ = send;
    if (inPlace_) inPlace_->SetSendAfterPaste(send);
}

void Session::OnReturnAreaPicked() {
    if (monitor_) {
        monitor_->OnReturnAreaPicked();
    } else {
        State.LastHistoryTail.clear();
    }
}

Session::~Session() {
    Detach();
}

void Session::Detach() {
    // The jobs act for the window that goes: a suspended one must not resume into it.
    Scheduler.Abandon();
    inPlace_.reset();
    monitor_.reset();
    outgoing_.reset();
}

}  // namespace velmora::relay
