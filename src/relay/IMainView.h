#pragma once

#include <string>

#include "platform/Types.h"

namespace velmora::relay {

// The main window's controls as the relay flows read and set them. The window implements it;
// the calls act on its controls at once (focus changes run the window's focus handlers before
// returning).
class IMainControls {
  public:
    virtual ~IMainControls() = default;

    // txtSend (CR LF line breaks, as the rest of the program counts lines)
    virtual std::u16string SendText() = 0;
    virtual void ClearSendText() = 0;
    // Replaces the text and puts the caret at its end.
    virtual void SetSendText(const std::u16string& text) = 0;
    virtual void FocusSendBox() = 0;
    // An input method holds an uncommitted (pre-edit) word in txtSend.
    virtual bool IsComposing() = 0;

    // imgSendMask
    virtual void SetSendMaskVisible(bool visible) = 0;

    // Current entries of cboMyLan and cboOtherLan (language descriptions).
    virtual std::u16string MyLanguageDesc() = 0;
    virtual std::u16string OtherLanguageDesc() = 0;

    // lblTimeKeeper
    virtual void SetTimeKeeperCaption(const std::u16string& caption) = 0;
    virtual void SetTimeKeeperVisible(bool visible) = 0;

    // The window itself: its handle, and whether it is the active window of our UI thread.
    virtual platform::WinHandle Handle() = 0;
    virtual bool IsActive() = 0;
};

// What the relay flows need of the program around the main window: its controls, and the
// decisions that are not the window's own.
class IMainView {
  public:
    virtual ~IMainView() = default;

    virtual IMainControls& Controls() = 0;
    // The tip panel: shows text to the user.
    virtual void ShowTip(const std::u16string& text) = 0;
    // A send's translation began (true) or ended (false): the view shows its progress.
    virtual void SetTranslating(bool on) { (void)on; }
    // Opens the engine settings once the running flow has ended (never inside it).
    virtual void OfferEngineSettings() {}

    // Ends the program at once (the user chose Exit).
    [[noreturn]] virtual void EndProgram() = 0;
};

}  // namespace velmora::relay
