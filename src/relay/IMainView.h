#pragma once

#include <string>
#include <vector>

#include "platform/Types.h"

namespace velmora::relay {

// txtSend (CR LF line breaks, as the rest of the program counts lines).
class ISendBox {
  public:
    virtual ~ISendBox() = default;
    virtual std::u16string Text() = 0;
    virtual void Clear() = 0;
    // Replaces the text and puts the caret at its end.
    virtual void SetText(const std::u16string& text) = 0;
    virtual void Focus() = 0;
    // An input method holds an uncommitted (pre-edit) word in the box.
    virtual bool IsComposing() = 0;
};

// cboMyLan and cboOtherLan, holding language descriptions.
class ILanguageLists {
  public:
    virtual ~ILanguageLists() = default;
    virtual std::u16string MyDesc() = 0;
    virtual std::u16string OtherDesc() = 0;
    // Both lists get these entries, the first selected.
    virtual void Fill(const std::vector<std::u16string>& descs) = 0;
};

// lblTimeKeeper, the idle countdown.
class ITimeKeeper {
  public:
    virtual ~ITimeKeeper() = default;
    virtual void SetCaption(const std::u16string& caption) = 0;
    virtual void SetVisible(bool visible) = 0;
};

// The main window's controls as the relay flows read and set them. The window hands them out;
// the calls act on its controls at once (focus changes run the window's focus handlers before
// returning).
class IMainControls {
  public:
    virtual ~IMainControls() = default;

    virtual ISendBox& SendBox() = 0;
    virtual ILanguageLists& Languages() = 0;
    virtual ITimeKeeper& TimeKeeper() = 0;
    // imgSendMask
    virtual void SetSendMaskVisible(bool visible) = 0;

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
