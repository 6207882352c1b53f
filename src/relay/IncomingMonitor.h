#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Async.h"
#include "relay/RelayFlow.h"

namespace velmora::relay {

inline constexpr std::u16string_view kReadingCaption = u"获取数据...";
inline constexpr std::u16string_view kRouteTree =
    u"将通过辅助功能直接读取消息记录：不按键、不占用剪贴板，新消息随到随译。";
inline constexpr std::u16string_view kRouteDrag =
    u"将通过拖选复制读取消息记录：发送框空闲 5 秒后在消息记录上拖选并复制（不影响聊天输入框）。";
inline constexpr std::u16string_view kRouteKeys =
    u"将通过复制读取消息记录：发送框空闲 5 秒后复制聊天记录。";
inline constexpr std::u16string_view kCopyWasInput =
    u"复制到的是聊天窗口输入框中的文字，不是消息记录，已忽略。"
    u"请重新设置消息记录区域；若聊天程序在本程序之前启动，重启它后可直接读取。";
// UTF-16 code units of a capture's end kept to find the next capture's new text.
inline constexpr std::size_t kHistoryTailLength = 256;

// The incoming message monitor: where the chat program's accessibility tree shows its history,
// it reads it at every tick of the history watch, whatever has the focus; elsewhere, after five
// idle seconds in txtSend it copies the IM client's history and gives mouse, window and focus back.
// Either way the new part goes to the history module. The countdown and the capture suspend on the
// event loop; the countdown sleeps until the next whole second or an event that ends it, never
// spins.
class IncomingMonitor : RelayFlow {
  public:
    IncomingMonitor(platform::Platform platform, IMainView& view, IResultBox& resultBox,
                    RelayState& state, mduSendBuffer& sendBuffer,
                    const translate::clsGoogleLanguages& languages, RelayScheduler& scheduler);

    // Timer1's tick (500 ms, enabled while txtSend has the focus).
    void OnIdleTick();
    // The history watch's tick (500 ms, always running): where the tree shows the history,
    // new messages are read as they arrive, whatever has the focus and while the user types.
    void WatchTick();
    // Five idle seconds in lblTimeKeeper; true when they ran out, false when abandoned.
    platform::Task<bool> RunIdleCountdown();

    // Window events the countdown depends on; each updates the state and ends its wait.
    void OnSendBoxKeyDown();
    void OnSendBoxFocusLost();
    void OnResultBoxFocusChanged(bool focused);
    void OnActivationChanged();
    void RequestExit();
    // The history pane was picked again: the old tail says nothing about the new one.
    void OnReturnAreaPicked();

    bool TickRunning() const { return tickRunning_; }

  private:
    // The countdown, not a job of the scheduler: it drives nothing, and a send asked for
    // meanwhile goes at once. The capture after it is a job.
    platform::Task<> CountdownThenCapture();
    // Copies the history out of the chat window and gives mouse, window and focus back.
    platform::Task<> CaptureJob();
    // Whether a tick may read the history now: nothing else holds it, and there is one.
    bool MayRead() const;
    // One read of the history through the accessibility tree, whose new part a capture job
    // then shows; false when the tree gives none (the caller then takes the way of keys).
    bool ReadThroughTree();
    platform::Task<> TreeCaptureJob(std::u16string text, std::uint64_t picksAtStart);
    // Hands the part of a history read that is new since the last read to the history module.
    // True when there was a new part.
    platform::Task<bool> TakeHistory(std::u16string s, std::uint64_t picksAtStart, IResultBox& box);
    // Selects the history widget's text with the mouse, top left to bottom right, and copies
    // it where the program does not copy a selection by itself.
    platform::Task<> DragSelectAndCopy(platform::Rect widget);
    // Whether a copy is only the text of the chat program's input box (a copy that went to it).
    bool IsInputBoxText(const std::u16string& s);
    // Stops capturing until the return area is picked again, and says why.
    void LoseReturnArea();
    platform::Task<std::u16string> WaitForClipboardText();
    int MsToNextSecond();

    bool tickRunning_ = false;
    std::uint64_t picks_ = 0;     // re-picks seen; a capture spanning one keeps nothing
    platform::Bell wake_;         // rung by the events that end or restart the countdown's wait
    platform::Task<> countdown_;  // last: its frame goes before what it uses
};

}  // namespace velmora::relay
