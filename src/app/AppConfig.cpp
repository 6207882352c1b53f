#include "app/AppConfig.h"

#include <cstdlib>

namespace velmora::app {

namespace {
void Override(std::string& value, const char* name) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') value = v;
}
}  // namespace

AppConfig AppConfig::FromEnvironment() {
    AppConfig c;
    Override(c.translateEndpointUrl, "VELMORA_TRANSLATE_URL");
    Override(c.updateBaseUrl, "VELMORA_UPDATE_URL");
    Override(c.pageBase, "VELMORA_PAGE_BASE");
    // A trailing slash would double the one every path starts with.
    while (c.updateBaseUrl.size() > 1 && c.updateBaseUrl.back() == '/') c.updateBaseUrl.pop_back();
    while (c.pageBase.size() > 1 && c.pageBase.back() == '/') c.pageBase.pop_back();
    return c;
}

}  // namespace velmora::app
