#pragma once

#include <string>
#include <string_view>

namespace velmora::translate::engines {

// "unreserved" bytes as they are, every other byte as %XX (upper-case hex).
std::string PercentEncode(std::string_view bytes);

// url plus one query parameter string, joined by "?" or "&" as the url needs.
std::string WithQuery(const std::string& url, const std::string& query);

// The url with its query and a trailing path suffix (such as "/translate") removed.
std::string BaseOf(const std::string& url, std::string_view suffix);

}  // namespace velmora::translate::engines
