#pragma once

#include <string>

#include "platform/Types.h"
#include "relay/IResultBox.h"

namespace velmora::relay {

// "hh:mm:ss" of a local time.
std::u16string TimeOfDay(const platform::LocalTime& t);

// What the user sent, shown in the result box: "我说 hh:mm:ss" in bold black after lead, the
// typed text in blue, its translation in red italics, then a blank line. A note (why the text
// was not sent, say) follows the translation on a line of its own, in parentheses; an empty
// translation is left out when there is a note.
void WriteEcho(IResultBox& box, std::u16string_view lead, const platform::LocalTime& at,
               const std::u16string& typed, const std::u16string& translation,
               std::u16string_view note = {});

}  // namespace velmora::relay
