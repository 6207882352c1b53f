#pragma once

#include <string>

namespace velmora::app {

// The three configuration values, read once at start from the environment. The defaults point
// at the bundled stand-ins on loopback, so an unconfigured start never waits on a remote host.
struct AppConfig {
    std::string translateEndpointUrl = "http://127.0.0.1:18080/translate_t";
    std::string updateBaseUrl = "http://127.0.0.1:18081";
    std::string pageBase = "127.0.0.1:18081";  // no scheme: the browser completes it

    static AppConfig FromEnvironment();
};

}  // namespace velmora::app
