#include "update/UpdateConfig.h"

#include <cstdlib>

namespace velmora::update {

std::string NormalizeBaseUrl(std::string url) {
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

UpdateConfig UpdateConfigFromEnvironment() {
    UpdateConfig c;
    if (const char* v = std::getenv("VELMORA_UPDATE_URL"); v && *v) c.baseUrl = v;
    c.baseUrl = NormalizeBaseUrl(c.baseUrl);
    return c;
}

}  // namespace velmora::update
