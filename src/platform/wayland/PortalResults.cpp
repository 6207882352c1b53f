#include "platform/wayland/PortalResults.h"

#include <QDBusArgument>

namespace velmora::platform::wayland {

namespace {

constexpr std::uint32_t kKeyboard = 1, kPointer = 2;

// An (ii) pair, marshalled or not; nullopt when it is something else.
std::optional<std::pair<int, int>> IntPair(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>()) return std::nullopt;
    const auto arg = value.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("(ii)")) return std::nullopt;
    int a = 0, b = 0;
    arg.beginStructure();
    arg >> a >> b;
    arg.endStructure();
    return std::make_pair(a, b);
}

}  // namespace

QVariantMap ToVariantMap(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) return value.toMap();
    if (!value.canConvert<QDBusArgument>()) return {};
    const auto arg = value.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a{sv}")) return {};
    QVariantMap map;
    arg >> map;
    return map;
}

StartGrant ParseStartResults(const QVariantMap& results) {
    StartGrant grant;
    const std::uint32_t devices = results.value(QStringLiteral("devices")).toUInt();
    if ((devices & kKeyboard) == 0 || (devices & kPointer) == 0) {
        grant.error =
            "the portal granted no keyboard and pointer (remote interaction was not allowed)";
        return grant;
    }
    const QVariant streams = results.value(QStringLiteral("streams"));
    if (!streams.canConvert<QDBusArgument>() ||
        streams.value<QDBusArgument>().currentSignature() != QLatin1String("a(ua{sv})")) {
        grant.error = "the portal granted no screen stream";
        return grant;
    }
    const auto arg = streams.value<QDBusArgument>();
    bool found = false;
    arg.beginArray();
    while (!arg.atEnd()) {
        std::uint32_t node = 0;
        QVariantMap props;
        arg.beginStructure();
        arg >> node >> props;
        arg.endStructure();
        const auto position = IntPair(props.value(QStringLiteral("position")));
        const auto size = IntPair(props.value(QStringLiteral("size")));
        // The first stream with a sane size; a missing position is the layout's origin.
        if (found || !size || size->first <= 0 || size->second <= 0) continue;
        grant.stream = {node, position ? position->first : 0, position ? position->second : 0,
                        size->first, size->second};
        found = true;
    }
    arg.endArray();
    if (!found) grant.error = "the portal granted no screen stream of a known size";
    return grant;
}

}  // namespace velmora::platform::wayland
