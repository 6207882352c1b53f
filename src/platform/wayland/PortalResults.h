#pragma once

#include <QVariant>
#include <QVariantMap>
#include <string>

#include "platform/wayland/PortalRemoteDesktop.h"

namespace velmora::platform::wayland {

// A vardict as Qt hands it over: already a map, or still marshalled; anything else is empty.
QVariantMap ToVariantMap(const QVariant& value);

// What the portal's answer to Start granted: the keyboard and the pointer and one stream, or an
// error that says what is missing (for the log and the tip).
struct StartGrant {
    PortalRemoteDesktop::Stream stream;
    std::string error;
};
StartGrant ParseStartResults(const QVariantMap& results);

}  // namespace velmora::platform::wayland
