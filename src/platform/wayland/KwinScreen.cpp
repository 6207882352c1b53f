#include "platform/wayland/KwinScreen.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/wayland/PipeIo.h"
#include "platform/wayland/ScreenCompose.h"

namespace velmora::platform::wayland {

namespace {

const QString kKwin = QStringLiteral("org.kde.KWin");
const QString kPath = QStringLiteral("/org/kde/KWin/ScreenShot2");
const QString kInterface = QStringLiteral("org.kde.KWin.ScreenShot2");
std::atomic<int> connections{0};

// QImage's formats KWin hands over, as the shared-memory formats the composer reads.
std::optional<std::uint32_t> ShmFormatOf(unsigned qimageFormat) {
    switch (qimageFormat) {
        case 4:  // RGB32
            return kXrgb8888;
        case 5:  // ARGB32
        case 6:  // ARGB32_Premultiplied
            return kArgb8888;
        case 16:  // RGBX8888
            return kXbgr8888;
        case 17:  // RGBA8888
        case 18:  // RGBA8888_Premultiplied
            return kAbgr8888;
        default:
            return std::nullopt;
    }
}

std::optional<unsigned> Number(const QVariantMap& m, const char* key) {
    const QVariant v = m.value(QString::fromLatin1(key));
    bool ok = false;
    const unsigned n = v.toUInt(&ok);
    return ok ? std::optional<unsigned>(n) : std::nullopt;
}

}  // namespace

struct KwinScreen::Impl {
    QString connectionName;
    std::optional<QDBusConnection> bus;
    int timeoutMs = 5000;
};

KwinScreen::KwinScreen(IClipboard& clipboard, KwinScripting& scripting,
                       const std::string& busAddress, int timeoutMs)
    : clipboard_(clipboard), scripting_(scripting), impl_(std::make_unique<Impl>()) {
    impl_->timeoutMs = timeoutMs;
    impl_->connectionName =
        QStringLiteral("velmora-kwin-screen-%1-%2").arg(getpid()).arg(connections.fetch_add(1));
    impl_->bus =
        busAddress.empty()
            ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, impl_->connectionName)
            : QDBusConnection::connectToBus(QString::fromStdString(busAddress),
                                            impl_->connectionName);
}

KwinScreen::~KwinScreen() {
    impl_->bus.reset();
    QDBusConnection::disconnectFromBus(impl_->connectionName);
}

bool KwinScreen::Available() const {
    if (!impl_->bus->isConnected()) return false;
    QDBusMessage m = QDBusMessage::createMethodCall(
        kKwin, kPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
        QStringLiteral("Introspect"));
    const QDBusMessage r = impl_->bus->call(m, QDBus::Block, impl_->timeoutMs);
    return r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty() &&
           r.arguments().first().toString().contains(kInterface);
}

Bitmap KwinScreen::Capture() {
    error_.clear();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(impl_->timeoutMs);
    UniqueFd readEnd, writeEnd;
    if (!MakeReadPipe(readEnd, writeEnd)) {
        error_ = "no pipe for the picture";
        return {};
    }
    std::optional<QDBusPendingCall> pending = [&] {
        QDBusMessage m = QDBusMessage::createMethodCall(kKwin, kPath, kInterface,
                                                        QStringLiteral("CaptureWorkspace"));
        QVariantMap options;
        options.insert(QStringLiteral("include-cursor"), false);
        options.insert(QStringLiteral("native-resolution"), false);
        m.setArguments({options, QVariant::fromValue(QDBusUnixFileDescriptor(writeEnd.Get()))});
        return impl_->bus->asyncCall(m, impl_->timeoutMs);
    }();
    writeEnd.Reset();
    // The pending call keeps the message it sent, and with it a copy of the write end: the
    // pipe can end only once the answer is in and the call let go. Read meanwhile, so that a
    // picture larger than the pipe never stalls KWin's writer.
    QDBusMessage reply;
    std::string bytes;
    const std::size_t maxBytes = static_cast<std::size_t>(kMaxPixels) * 4;
    bool ended = false;
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        if (pending && pending->isFinished()) {
            reply = pending->reply();
            pending.reset();
        }
        pollfd p{readEnd.Get(), POLLIN, 0};
        if (poll(&p, 1, 20) < 0 && errno != EINTR) break;
        char chunk[65536];
        for (;;) {
            const ssize_t n = read(readEnd.Get(), chunk, sizeof chunk);
            if (n > 0) {
                if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
                    ended = true;
                    bytes.clear();
                    break;
                }
                bytes.append(chunk, static_cast<std::size_t>(n));
                continue;
            }
            if (n == 0 && !pending) ended = true;
            break;
        }
    }
    if (pending) {
        error_ = "KWin did not answer in time";
        return {};
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        error_ =
            "KWin did not take the picture: " +
            (reply.type() == QDBusMessage::ErrorMessage
                 ? (reply.errorName() + QStringLiteral(": ") + reply.errorMessage()).toStdString()
                 : std::string("no answer"));
        return {};
    }
    if (!ended) {
        error_ = "the picture did not arrive whole";
        return {};
    }
    const QVariantMap meta = qdbus_cast<QVariantMap>(reply.arguments().first());
    const auto width = Number(meta, "width"), height = Number(meta, "height"),
               stride = Number(meta, "stride"), format = Number(meta, "format");
    const auto shm = format ? ShmFormatOf(*format) : std::nullopt;
    if (meta.value(QStringLiteral("type")).toString() != QStringLiteral("raw") || !width ||
        !height || !stride || !shm || *width == 0 || *height == 0 || *width > kMaxSide ||
        *height > kMaxSide || *stride < *width * 4u ||
        bytes.size() < static_cast<std::size_t>(*stride) * *height) {
        error_ = "KWin's picture is not one we can read";
        return {};
    }
    const Rect at = VirtualScreen();
    OutputFrame frame;
    frame.x = at.left;
    frame.y = at.top;
    frame.width = static_cast<int>(*width);
    frame.height = static_cast<int>(*height);
    frame.stride = static_cast<int>(*stride);
    frame.format = *shm;
    frame.data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    Bitmap shot = ComposeScreen({frame});
    if (shot.empty()) error_ = "KWin's picture is larger than any screen";
    return shot;
}

void KwinScreen::CaptureToClipboard() {
    const Bitmap shot = Capture();
    if (shot.empty())
        std::fprintf(stderr, "velmora: no picture of the screen: %s\n", error_.c_str());
    else
        clipboard_.SetImage(shot);
}

Rect KwinScreen::VirtualScreen() {
    const auto text = scripting_.Run(
        "var g = workspace.virtualScreenGeometry; report([g.x, g.y, g.width, g.height]);");
    if (!text) return {};
    const auto v = nlohmann::json::parse(*text, nullptr, false);
    if (!v.is_array() || v.size() != 4) return {};
    int p[4];
    for (int i = 0; i < 4; ++i) {
        if (!v[i].is_number_integer()) return {};
        const auto n = v[i].get<long long>();
        if (n < -kMaxSide || n > kMaxSide) return {};
        p[i] = static_cast<int>(n);
    }
    if (p[2] <= 0 || p[3] <= 0) return {};
    return Rect{p[0], p[1], p[0] + p[2], p[1] + p[3]};
}

}  // namespace velmora::platform::wayland
