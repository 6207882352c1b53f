#include "translate/engines/ApertiumCodes.h"

#include <array>
#include <string_view>
#include <utility>

namespace velmora::translate::engines {

namespace {

// Languages of the table that appear in at least one released Apertium pair.
constexpr std::array<std::pair<std::string_view, std::string_view>, 26> kCodes{{
    {"af", "afr"}, {"be", "bel"}, {"bg", "bul"}, {"ca", "cat"}, {"cy", "cym"}, {"da", "dan"},
    {"en", "eng"}, {"es", "spa"}, {"fr", "fra"}, {"ga", "gle"}, {"gl", "glg"}, {"hr", "hbs"},
    {"id", "ind"}, {"is", "isl"}, {"it", "ita"}, {"mk", "mkd"}, {"ms", "zlm"}, {"mt", "mlt"},
    {"nl", "nld"}, {"no", "nob"}, {"pt", "por"}, {"ro", "ron"}, {"ru", "rus"}, {"sl", "slv"},
    {"sr", "hbs"}, {"uk", "ukr"},
}};

}  // namespace

std::optional<std::string> ApertiumCode(const std::string& tableCode) {
    for (const auto& [table, apertium] : kCodes) {
        if (table == tableCode) return std::string(apertium);
    }
    return std::nullopt;
}

}  // namespace velmora::translate::engines
