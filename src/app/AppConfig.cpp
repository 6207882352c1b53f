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
    // The translation and update modules own how their values are read.
    c.translateEndpointUrl = translate::TranslateEndpointUrlFromEnvironment();
    c.updateBaseUrl = update::UpdateConfigFromEnvironment().baseUrl;
    Override(c.pageBase, "VELMORA_PAGE_BASE");
    // A trailing slash would double the one every path starts with.
    while (c.pageBase.size() > 1 && c.pageBase.back() == '/') c.pageBase.pop_back();
    return c;
}

}  // namespace velmora::app
