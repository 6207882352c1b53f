#pragma once

#include <string>

#include "translate/mduTranHttpProtol.h"
#include "update/UpdateConfig.h"

namespace velmora::app {

// The three configuration values, read once at start from the environment. The defaults point
// at the bundled stand-ins on loopback, so an unconfigured start never waits on a remote host.
struct AppConfig {
    std::string translateEndpointUrl = translate::kDefaultTranslateEndpointUrl;
    std::string updateBaseUrl = update::kDefaultUpdateBaseUrl;
    std::string pageBase = "127.0.0.1:18081";  // no scheme: the browser completes it

    static AppConfig FromEnvironment();
};

}  // namespace velmora::app
