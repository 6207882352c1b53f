#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform::posix {

// Splits a command line the way the Windows shell reads a Run value: blanks separate words,
// double quotes group (and are dropped); there are no escapes.
std::vector<std::string> SplitCommandLine(std::string_view line);

// One argument as an Exec= word of a desktop entry: double-quoted (with \" \` \$ \\ inside)
// when it holds a reserved character; '%' doubled.
std::string QuoteExecArgument(std::string_view arg);

// A whole Exec= value for the command line, with the desktop file's string escapes applied
// (so a backslash inside quotes ends up as four). UTF-8 in, UTF-8 out.
std::string ExecValue(std::string_view commandLine);

// The value of key in the [Desktop Entry] group of a desktop file's text, string escapes
// undone; nullopt when the key is missing.
std::optional<std::string> DesktopEntryValue(std::string_view fileText, std::string_view key);

}  // namespace velmora::platform::posix
