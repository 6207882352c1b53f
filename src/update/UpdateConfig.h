#pragma once

#include <cstddef>
#include <string>

namespace velmora::update {

struct UpdateConfig {
    // Scheme and host of the vendor's update server, no trailing slash.
    std::string baseUrl;
    // A downloaded file larger than this fails the update (the HTTP backend caps it as well).
    std::size_t maxFileBytes = 256u << 20;
};

}  // namespace velmora::update
