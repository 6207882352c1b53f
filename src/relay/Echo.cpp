#include "relay/Echo.h"

#include <cstdio>

namespace velmora::relay {

std::u16string TimeOfDay(const platform::LocalTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
    return std::u16string(buf, buf + 8);
}

void WriteEcho(IResultBox& box, std::u16string_view lead, const platform::LocalTime& at,
               const std::u16string& typed, const std::u16string& translation,
               std::u16string_view note) {
    box.SetColor(kBlack);
    box.SetBold(true);
    box.Insert(std::u16string(lead) + u"我说 " + TimeOfDay(at) + u"\r\n");
    box.SetColor(kBlue);
    box.SetBold(false);
    box.Insert(typed);
    box.SetItalic(true);
    box.SetColor(kRed);
    box.SetBold(false);
    if (note.empty()) {
        box.Insert(u"(译文:" + translation + u")\r\n\r\n");
    } else {
        if (!translation.empty()) box.Insert(u"(译文:" + translation + u")\r\n");
        box.Insert(u"(" + std::u16string(note) + u")\r\n\r\n");
    }
    box.SetItalic(false);
}

}  // namespace velmora::relay
