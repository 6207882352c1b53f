#pragma once

#include <string>

namespace velmora::tools {

// The vendor's pages, UTF-8 HTML. The ad pages are larger than the panes that show them (in
// both directions), so a pane that failed to hide its scroll bars would show them.
std::string AdPage1();
std::string AdPage2();
std::string HelpPage();
// A document without a body element (an SVG image), for panes that must cope with one.
std::string NoBodyDocument();

}  // namespace velmora::tools
