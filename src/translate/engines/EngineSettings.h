#pragma once

#include <string>

namespace velmora::translate::engines {

// What the configuration gives an online engine. An empty url means the engine's default
// address (where it has one); key and region are sent only where the API takes them.
struct HttpEngineSettings {
    std::string url;
    std::string key;
    std::string region;
};

}  // namespace velmora::translate::engines
