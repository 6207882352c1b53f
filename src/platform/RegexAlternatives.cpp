#include "platform/RegexAlternatives.h"

namespace velmora::platform {

bool EveryAlternativeStarts(std::u16string_view p, bool leadingBracketLiteral,
                            const std::function<bool(std::size_t)>& startsAt) {
    if (!startsAt(0)) return false;
    int depth = 0;
    bool inClass = false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char16_t c = p[i];
        if (c == u'\\') {
            ++i;
            continue;
        }
        if (inClass) {
            if (c == u']') inClass = false;
            continue;
        }
        if (c == u'[') {
            inClass = true;
            if (i + 1 < p.size() && p[i + 1] == u'^') ++i;
            if (leadingBracketLiteral && i + 1 < p.size() && p[i + 1] == u']') ++i;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            if (--depth < 0) return false;
        } else if (c == u'|' && depth == 0) {
            if (!startsAt(i + 1)) return false;
        }
    }
    return depth == 0 && !inClass;
}

}  // namespace velmora::platform
