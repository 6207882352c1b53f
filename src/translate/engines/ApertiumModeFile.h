#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IPipeline.h"

namespace velmora::translate::engines {

// One word of a mode file's command: literal text, or the script's $1 / $2 placeholder.
struct ModeWord {
    std::string text;
    int placeholder = 0;  // 1 or 2 for an unquoted $1 / $2, else 0
    bool operator==(const ModeWord&) const = default;
};

using ModeCommand = std::vector<ModeWord>;

// A mode file's one line of shell: commands joined by '|', words quoted with '...' or "..." or
// escaped with a backslash. Empty when the text holds anything a plain pipeline of programs
// cannot reproduce without a shell (redirections, ';', '&', other expansions, an empty command)
// or no command at all.
std::optional<std::vector<ModeCommand>> ParseModeFile(std::string_view text);

// The commands as one null-flushed pipeline, the way the translation server runs a mode:
// "-z" after every program name (unless already there), $1 as "-n" (unknown words unmarked,
// as `apertium -u` does) or "-g" (marked with '*'), $2 (the tagger's ambiguity switch) dropped.
std::vector<platform::Argv> NullFlushCommands(const std::vector<ModeCommand>& commands,
                                              bool markUnknown);

}  // namespace velmora::translate::engines
