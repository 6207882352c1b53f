#include "platform/wayland/PortalRemoteDesktop.h"

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QVariantMap>
#include <atomic>

#include "platform/wayland/PortalResults.h"

namespace velmora::platform::wayland {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
constexpr std::uint32_t kKeyboard = 1, kPointer = 2, kMonitor = 1;

// Each session's connection gets a name of its own: Qt shares connections by name.
QString NextConnectionName() {
    static std::atomic<int> n = 0;
    return QStringLiteral("velmora-portal-%1").arg(++n);
}

}  // namespace

// Catches one request's Response signal, whatever its arguments.
class PortalResponse : public QObject {
    Q_OBJECT
  public:
    bool answered = false;
    std::uint32_t code = 2;
    QVariantMap results;
  public slots:
    void OnResponse(const QDBusMessage& m) {
        answered = true;
        const auto args = m.arguments();
        if (args.size() == 2 && args[0].canConvert<uint>()) {
            code = args[0].toUInt();
            results = ToVariantMap(args[1]);
        } else {
            code = 2;
        }
    }
};

// Notices the desktop closing the session (the user stopped sharing).
class PortalSessionWatch : public QObject {
    Q_OBJECT
  public:
    bool closed = false;
  public slots:
    void OnClosed(const QDBusMessage&) { closed = true; }
};

struct PortalRemoteDesktop::State {
    IEventLoop& loop;
    Options options;
    QDBusConnection bus;
    QString sessionPath;
    Stream stream;
    bool started = false;
    std::string reason = "the remote session was not started";
    PortalSessionWatch watch;
    int token = 0;

    State(IEventLoop& l, Options o)
        : loop(l),
          options(std::move(o)),
          bus(options.busAddress.empty()
                  ? QDBusConnection::sessionBus()
                  : QDBusConnection::connectToBus(QString::fromStdString(options.busAddress),
                                                  NextConnectionName())) {}
    ~State() {
        if (!options.busAddress.empty()) QDBusConnection::disconnectFromBus(bus.name());
    }

    QDBusMessage Call(const QString& iface, const QString& method, const QVariantList& args) {
        auto m = QDBusMessage::createMethodCall(kPortal, kPortalPath, iface, method);
        m.setArguments(args);
        return bus.call(m, QDBus::Block, options.callTimeoutMs);
    }

    // Calls a method that answers through a request object and waits (bounded) for the answer.
    // The request's path is known before the call, so its signal cannot be missed.
    std::optional<PortalResponse*> Request(const QString& iface, const QString& method,
                                           QVariantList args, QVariantMap requestOptions,
                                           int timeoutMs, PortalResponse& response) {
        const QString handle = QStringLiteral("velmora%1").arg(++token);
        QString sender = bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString path =
            QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, handle);
        const QString requestIface = QStringLiteral("org.freedesktop.portal.Request");
        if (!bus.connect(kPortal, path, requestIface, QStringLiteral("Response"), &response,
                         SLOT(OnResponse(QDBusMessage))))
            return std::nullopt;
        requestOptions.insert(QStringLiteral("handle_token"), handle);
        args.append(requestOptions);
        const QDBusMessage reply = Call(iface, method, args);
        bool ok = reply.type() == QDBusMessage::ReplyMessage;
        if (ok) loop.WaitUntil([&response] { return response.answered; }, timeoutMs);
        if (!response.answered && ok) {
            // Nobody answered in time: the request is dropped so its dialog goes away.
            auto close = QDBusMessage::createMethodCall(kPortal, path, requestIface,
                                                        QStringLiteral("Close"));
            bus.call(close, QDBus::Block, options.callTimeoutMs);
        }
        bus.disconnect(kPortal, path, requestIface, QStringLiteral("Response"), &response,
                       SLOT(OnResponse(QDBusMessage)));
        if (!ok) {
            reason = method.toStdString() + " failed: " + reply.errorMessage().toStdString();
            return std::nullopt;
        }
        if (!response.answered) {
            reason = "the portal did not answer " + method.toStdString() + " in time";
            return std::nullopt;
        }
        if (response.code != 0) {
            reason = response.code == 1 ? "the user refused the remote-desktop permission"
                                        : "the portal ended " + method.toStdString();
            return std::nullopt;
        }
        return &response;
    }

    bool Run() {
        if (!bus.isConnected()) {
            reason = "no session bus";
            return false;
        }
        PortalResponse created, devices, sources, start;
        if (!Request(kRemoteDesktop, QStringLiteral("CreateSession"), {},
                     {{QStringLiteral("session_handle_token"), QStringLiteral("velmora")}},
                     options.callTimeoutMs, created))
            return false;
        sessionPath = created.results.value(QStringLiteral("session_handle")).toString();
        if (sessionPath.isEmpty() || !QDBusObjectPath(sessionPath).path().startsWith('/')) {
            reason = "the portal gave no session";
            return false;
        }
        bus.connect(kPortal, sessionPath, QStringLiteral("org.freedesktop.portal.Session"),
                    QStringLiteral("Closed"), &watch, SLOT(OnClosed(QDBusMessage)));
        const QVariant session = QVariant::fromValue(QDBusObjectPath(sessionPath));
        if (!Request(kRemoteDesktop, QStringLiteral("SelectDevices"), {session},
                     {{QStringLiteral("types"), kKeyboard | kPointer}}, options.callTimeoutMs,
                     devices))
            return false;
        if (!Request(kScreenCast, QStringLiteral("SelectSources"), {session},
                     {{QStringLiteral("types"), kMonitor}, {QStringLiteral("multiple"), false}},
                     options.callTimeoutMs, sources))
            return false;
        if (!Request(kRemoteDesktop, QStringLiteral("Start"), {session, QString()}, {},
                     options.dialogTimeoutMs, start))
            return false;
        const StartGrant grant = ParseStartResults(start.results);
        if (!grant.error.empty()) {
            reason = grant.error;
            return false;
        }
        stream = grant.stream;
        // The first key and the first pointer event after the start can be lost (mutter adds
        // each device to the seat at its first event, and windows learn of it a moment later):
        // harmless ones go first, a Shift and a move by nothing.
        constexpr std::uint32_t kShiftL = 0xffe1;
        started = true;
        Keysym(kShiftL, true);
        Keysym(kShiftL, false);
        Notify(QStringLiteral("NotifyPointerMotion"), {0.0, 0.0});
        reason.clear();
        return true;
    }

    bool Live() {
        if (started && watch.closed) {
            started = false;
            reason = "the desktop ended the remote session";
        }
        return started;
    }

    QVariant SessionArg() const { return QVariant::fromValue(QDBusObjectPath(sessionPath)); }

    bool Notify(const QString& method, QVariantList args) {
        if (!Live()) return false;
        args.prepend(QVariantMap());
        args.prepend(SessionArg());
        return Call(kRemoteDesktop, method, args).type() == QDBusMessage::ReplyMessage;
    }
    bool Keysym(std::uint32_t keysym, bool pressed) {
        return Notify(QStringLiteral("NotifyKeyboardKeysym"),
                      {static_cast<int>(keysym), static_cast<uint>(pressed ? 1 : 0)});
    }
};

PortalRemoteDesktop::PortalRemoteDesktop(IEventLoop& loop, Options options)
    : s_(std::make_unique<State>(loop, std::move(options))) {}

PortalRemoteDesktop::~PortalRemoteDesktop() {
    if (s_->sessionPath.isEmpty()) return;
    auto close = QDBusMessage::createMethodCall(kPortal, s_->sessionPath,
                                                QStringLiteral("org.freedesktop.portal.Session"),
                                                QStringLiteral("Close"));
    s_->bus.call(close, QDBus::Block, s_->options.callTimeoutMs);
}

bool PortalRemoteDesktop::Start() {
    if (s_->started || !s_->sessionPath.isEmpty()) return s_->Live();
    return s_->Run();
}

bool PortalRemoteDesktop::Started() const {
    return s_->Live();
}

const std::string& PortalRemoteDesktop::Reason() const {
    s_->Live();
    return s_->reason;
}

const PortalRemoteDesktop::Stream& PortalRemoteDesktop::StreamInfo() const {
    return s_->stream;
}

bool PortalRemoteDesktop::PointerMotionAbsolute(double x, double y) {
    return s_->Notify(QStringLiteral("NotifyPointerMotionAbsolute"), {s_->stream.node, x, y});
}

bool PortalRemoteDesktop::PointerButton(int evdevButton, bool pressed) {
    return s_->Notify(QStringLiteral("NotifyPointerButton"),
                      {evdevButton, static_cast<uint>(pressed ? 1 : 0)});
}

bool PortalRemoteDesktop::KeyboardKeysym(std::uint32_t keysym, bool pressed) {
    return s_->Keysym(keysym, pressed);
}

int PortalRemoteDesktop::OpenPipeWireRemote() {
    if (!s_->Live()) return -1;
    const QDBusMessage reply = s_->Call(kScreenCast, QStringLiteral("OpenPipeWireRemote"),
                                        {s_->SessionArg(), QVariantMap()});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return -1;
    const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments()[0]);
    return fd.isValid() ? dup(fd.fileDescriptor()) : -1;
}

}  // namespace velmora::platform::wayland

#include "PortalRemoteDesktop.moc"
