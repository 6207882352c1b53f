#pragma once

#include <cstddef>
#include <string>

namespace velmora::update {

inline constexpr char kDefaultUpdateBaseUrl[] = "http://127.0.0.1:18081";

struct UpdateConfig {
    // Scheme and host of the vendor's update server, no trailing slash.
    std::string baseUrl = kDefaultUpdateBaseUrl;
    // A downloaded file larger than this fails the update (the HTTP backend caps it as well).
    std::size_t maxFileBytes = 256u << 20;
};

// baseUrl from VELMORA_UPDATE_URL when set and not empty, else the default; trailing slashes
// are dropped so that paths can be appended as they are.
UpdateConfig UpdateConfigFromEnvironment();

std::string NormalizeBaseUrl(std::string url);

}  // namespace velmora::update
