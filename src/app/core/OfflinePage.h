#pragma once

#include <string>
#include <string_view>

// The small local page a web pane shows while its address cannot be loaded, and when the pane
// asks for the address again; the same for every front end, whatever engine draws the page.
namespace velmora::app {

// UTF-8; the document's title and its heading.
inline constexpr std::string_view kOfflinePageTitle = "暂时无法显示";
// The id of the page's box, so a test can tell the local page from the vendor's.
inline constexpr std::string_view kOfflinePageMarker = "velmora-offline";

// The whole document in UTF-8, in the main window's colours. It needs nothing from outside (no
// script, image or style sheet), so it shows without a network.
std::string OfflinePageHtml();

// Which page a pane shows after which events. Every load of the address gets a number; a failure
// is told with the number that was current when it was seen, so a failure that a newer load has
// overtaken shows nothing.
class OfflineFallback {
  public:
    // The pane asks for its address (the first time or again): the local page no longer stands
    // in for it. Returns the load's number.
    int Load();
    // The number of the latest load.
    int CurrentLoad() const { return load_; }
    // A load failed: true when the local page is to be shown now. False for a load that a newer
    // one replaced, and while the local page already stands in for the address (so a second
    // report of the same failure, or a failure of the local page itself, changes nothing).
    bool Failed(int load);
    // Whether the local page stands in for the address.
    bool Offline() const { return offline_; }
    // The pane's window is shown: true when the address is to be asked for again.
    bool RetryOnShow() const { return offline_; }

  private:
    int load_ = 0;
    bool offline_ = false;
};

}  // namespace velmora::app
