#pragma once

#include <memory>

#include "app/core/IMainWindow.h"

namespace velmora::app {

// Holds the parts a front end makes for its main window and hands them out, so a window
// implements only what is its own. The parts are made with the controls, before the window
// is attached to its controller.
class MainWindowBase : public IMainWindow {
  public:
    relay::ISendBox& SendBox() final { return *sendBox_; }
    relay::ILanguageLists& Languages() final { return *languages_; }
    relay::ITimeKeeper& TimeKeeper() final { return *timeKeeper_; }
    ITipPanel& TipPanel() final { return *tipPanel_; }
    IPanes& Panes() final { return *panes_; }
    ITrayIcon& Tray() final { return *tray_; }

  protected:
    std::unique_ptr<relay::ISendBox> sendBox_;
    std::unique_ptr<relay::ILanguageLists> languages_;
    std::unique_ptr<relay::ITimeKeeper> timeKeeper_;
    std::unique_ptr<ITipPanel> tipPanel_;
    std::unique_ptr<IPanes> panes_;
    std::unique_ptr<ITrayIcon> tray_;
};

}  // namespace velmora::app
