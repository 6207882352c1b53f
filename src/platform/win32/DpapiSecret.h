#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform::win32 {

// What starts every value ProtectSecret makes.
inline constexpr std::string_view kDpapiMarker = "dpapi:";

// The secret encrypted for the current user (DPAPI, never a prompt), stored as kDpapiMarker and
// the blob in base64: one printable line. Nullopt when the system refuses; why then says so,
// never with the secret.
std::optional<std::string> ProtectSecret(const std::string& secret, std::string& why);

// The secret a stored value holds. A value without the marker is the secret as it was typed
// (wasProtected false). A marked value that does not decrypt for this user (corrupt, cut short,
// another user's or another program's) gives nullopt; why then says so, never with the value.
std::optional<std::string> UnprotectSecret(const std::string& stored, bool& wasProtected,
                                           std::string& why);

}  // namespace velmora::platform::win32
