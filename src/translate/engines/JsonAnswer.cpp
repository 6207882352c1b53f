#include "translate/engines/JsonAnswer.h"

namespace velmora::translate::engines::json {

std::optional<Json> Parse(std::string_view body) {
    Json j = Json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
    if (j.is_discarded()) return std::nullopt;
    return j;
}

std::string Dump(const Json& j) {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace velmora::translate::engines::json
