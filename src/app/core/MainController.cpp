#include "app/core/MainController.h"

#include <cstdio>
#include <cstdlib>

#include "app/core/Autostart.h"
#include "platform/Utf8.h"
#include "translate/clsGoogleLanguages.h"

namespace velmora::app {

MainController::MainController(const MainWindowParts& parts)
    : platform_(parts.platform),
      config_(parts.config),
      session_(parts.session),
      overlay_(parts.overlay),
      shortcutDialog_(parts.shortcutDialog),
      showEngineSettings_(parts.showEngineSettings),
      settingsSaved_(parts.settingsSaved),
      heartbeat_(platform_.clock, platform_.loop, [&update = parts.update, &unitId = parts.unitId] {
          update.GetLatestVersion(unitId);
      }) {}

MainController::~MainController() {
    *alive_ = false;
    Detach();
}

void MainController::Attach(IMainWindow& view, relay::IResultBox& resultBox) {
    view_ = &view;
    session_.Attach(*this, resultBox);
}

void MainController::Detach() {
    if (!view_) return;
    session_.Detach();
    view_ = nullptr;
}

void MainController::Load() {
    view_->SetCaption(kLoadedCaption);
    FillLanguageLists();
    view_->Panes().Navigate(config_.pageBase + "/ad1.php", config_.pageBase + "/ad2.php");
    EnsureAutostart(platform_);
}

void MainController::FillLanguageLists() {
    view_->Languages().Fill(translate::clsGoogleLanguages::Shared().getAllDescs());
}

void MainController::OnSendClicked() {
    if (view_) session_.Outgoing().Send();
}

bool MainController::OnSendBoxKey(SendBoxKey key) {
    if (!view_) return false;
    // Esc while a send is being translated abandons it; otherwise Esc is the box's own.
    if (key == SendBoxKey::EscapeAlone && session_.Outgoing().Cancel()) return true;
    session_.Monitor().OnSendBoxKeyDown();
    if (key != SendBoxKey::SendChord) return false;
    session_.Outgoing().Send();
    return true;
}

void MainController::OnSendBoxComposition() {
    // Keys an input method takes arrive as its composition, not as key presses.
    if (view_) session_.Monitor().OnSendBoxKeyDown();
}

void MainController::OnSendBoxFocus(bool gained) {
    if (!view_) return;
    view_->SetIdleTimerRunning(gained);
    if (!gained) session_.Monitor().OnSendBoxFocusLost();
}

void MainController::OnResultBoxFocus(bool gained) {
    if (view_) session_.Monitor().OnResultBoxFocusChanged(gained);
}

void MainController::OnActivationChanged() {
    if (view_) session_.Monitor().OnActivationChanged();
}

void MainController::OnIdleTick() {
    if (view_) session_.Monitor().OnIdleTick();
}

void MainController::OnWatchTick() {
    if (view_) session_.Monitor().WatchTick();
}

void MainController::OnRefreshTick() {
    // Never inside a relay job: the query runs aside.
    heartbeat_.Tick();
}

void MainController::OnMouseMove() {
    HideTip();
}

void MainController::OnSettingIconReleased() {
    view_->PopupSettingMenu();
}

void MainController::OnPickerHover(Picker picker) {
    switch (picker) {
        case Picker::SendArea:
            view_->TipPanel().Show(u"设置输入框位置");
            break;
        case Picker::ReturnArea:
            view_->TipPanel().Show(u"设置返回框位置");
            break;
        case Picker::SendButton:
            view_->TipPanel().Show(u"设置发送按钮位置");
            break;
    }
}

target::TargetPoint& MainController::TargetOf(Picker picker) {
    relay::RelayState& s = session_.State;
    switch (picker) {
        case Picker::SendArea:
            return s.InputAreaTarget;
        case Picker::ReturnArea:
            return s.ReturnAreaTarget;
        case Picker::SendButton:
            break;
    }
    return s.SendButtonTarget;
}

void MainController::OnPickerReleased(Picker picker) {
    PickTarget(TargetOf(picker));
}

void MainController::PickTarget(target::TargetPoint& target) {
    switch (target::RunPick(platform_, overlay_, target)) {
        case target::PickOutcome::OwnWindow:
            ShowTip(std::u16string(target::kPickOwnWindow));
            return;
        case target::PickOutcome::NoWindow:
            ShowTip(std::u16string(target::kPickNoWindow));
            return;
        case target::PickOutcome::Picked:
            // Which window a target names, for whoever reads the log after a send went astray.
            std::fprintf(stderr, "velmora: picked window %llu at (%d, %d)\n",
                         static_cast<unsigned long long>(target.WinHwnd), target.ScreenCursorX,
                         target.ScreenCursorY);
            break;
        case target::PickOutcome::Cancelled:
            break;
    }
    if (&target == &session_.State.ReturnAreaTarget) session_.OnReturnAreaPicked();
}

void MainController::OnMenu(MenuCommand command) {
    relay::RelayState& s = session_.State;
    switch (command) {
        case MenuCommand::Restore:
            RestoreFromTray();
            break;
        case MenuCommand::Exit:
            ExitProgram();
        case MenuCommand::SetReturnArea:
            PickTarget(s.ReturnAreaTarget);
            break;
        case MenuCommand::SetInputArea:
            PickTarget(s.InputAreaTarget);
            break;
        case MenuCommand::SetSendButton:
            PickTarget(s.SendButtonTarget);
            break;
        case MenuCommand::SendShortcut:
            target::RunSendShortcutSetting(shortcutDialog_, s.SendShortcutControl,
                                           s.SendShortcutKey);
            break;
        case MenuCommand::Help:
            view_->ShowHelp(config_.pageBase);
            break;
        case MenuCommand::EngineSettings:
            ShowEngineSettings();
            break;
        case MenuCommand::InPlaceSettings:
            if (view_->RunInPlaceSettings(config_.file) && settingsSaved_) settingsSaved_();
            break;
    }
}

void MainController::OnTrayClick(bool leftButton) {
    HideTip();
    if (leftButton)
        RestoreFromTray();
    else
        view_->PopupTrayMenu();
}

bool MainController::OnCloseRequested(bool byUser) {
    CloseReason reason = CloseReason::FromCode;
    if (!closingFromCode_) {
        if (sessionEnding_)
            reason = CloseReason::SessionEnd;
        else if (byUser)
            reason = CloseReason::User;
    }
    switch (DecideClose(session_.State.ExitRequested, reason, view_->Tray().Available())) {
        case CloseAction::RemoveIconAndClose:
            view_->Tray().Remove();
            return true;
        case CloseAction::HideToTray:
            HideToTray();
            return false;
        case CloseAction::MinimizeInstead:
            view_->Minimize();
            // At logon the panel's tray may come up after the program; a cheap poll is
            // enough, and it runs only while the window waits minimised.
            PollTray(++trayWait_);
            return false;
        case CloseAction::LetClose:
            break;
    }
    return true;
}

void MainController::HideToTray() {
    view_->Tray().Add();
    view_->HideWindow();
    // In the tray nobody sees the panes: their pages need not stay.
    view_->Panes().SetDiscarded(true);
}

void MainController::PollTray(std::uint64_t generation) {
    platform_.loop.After(kTrayPollMs, [this, alive = alive_, generation] {
        if (!*alive || !view_ || generation != trayWait_) return;
        if (!view_->IsMinimized() || !view_->IsShown()) return;  // the user brought it back
        if (view_->Tray().Available()) {
            HideToTray();
            return;
        }
        PollTray(generation);
    });
}

void MainController::CloseFromCode() {
    closingFromCode_ = true;
    view_->Close();
    closingFromCode_ = false;
}

void MainController::RestoreFromTray() {
    ++trayWait_;
    view_->RestoreAndActivate();
    view_->Panes().SetDiscarded(false);
    // Beside whatever runs: the window manager answers in its own time.
    activation_ = platform_.windows.SetForegroundWindow(view_->Handle());
    activation_.Start([](std::exception_ptr) {});
}

void MainController::ExitProgram() {
    session_.State.ExitRequested = true;
    if (view_) {
        session_.Monitor().RequestExit();
        CloseFromCode();
    }
    platform_.process.ExitNow(0);
    std::_Exit(0);  // a backend's ExitNow never returns; this keeps the promise regardless
}

void MainController::HideTip() {
    if (view_) view_->TipPanel().Hide();
}

void MainController::ShowTip(const std::u16string& text) {
    // Also in the log: why a send or a capture did nothing, for whoever reads it afterwards.
    std::fprintf(stderr, "velmora: tip: %s\n", platform::Utf8Encode(text).c_str());
    if (!view_) return;
    view_->TipPanel().Show(text);
    // Hidden in the tray nobody sees the tip panel (an in-place translation runs from there):
    // the tray icon says it too.
    if (!view_->IsShown() && view_->Tray().Shown()) view_->Tray().Message(kLoadedCaption, text);
}

void MainController::OfferEngineSettings() {
    platform_.loop.Post([this, alive = alive_] {
        if (*alive) ShowEngineSettings();
    });
}

void MainController::ShowEngineSettings() {
    if (showEngineSettings_) showEngineSettings_();
}

void MainController::SetTranslating(bool on) {
    ++progress_;
    if (on) {
        translatingSince_ = platform_.clock.SteadyMs();
        progressShown_ = false;
        PollProgress(progress_);
        return;
    }
    if (progressShown_) HideTip();
    progressShown_ = false;
}

void MainController::PollProgress(std::uint64_t generation) {
    platform_.loop.After(kProgressPollMs, [this, alive = alive_, generation] {
        if (!*alive || generation != progress_) return;
        const std::int64_t ms = platform_.clock.SteadyMs() - translatingSince_;
        // Only on the window itself: from the tray it would be a message every turn.
        if (view_ && ms >= relay::kProgressAfterMs && view_->IsShown()) {
            ShowTip(relay::TranslatingTip(ms));
            progressShown_ = true;
        }
        PollProgress(generation);
    });
}

}  // namespace velmora::app
