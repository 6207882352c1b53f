#include "platform/wayland/KwinScripting.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/wayland/KwinScriptSink.h"

namespace velmora::platform::wayland {

namespace {

const QString kKwin = QStringLiteral("org.kde.KWin");
const QString kSinkPath = QStringLiteral("/org/velmora/KwinScriptSink");
// KWin's own D-Bus calls are quick; a compositor that hangs costs this much per call.
constexpr int kCallMs = 3000;
// A script's report comes within milliseconds unless KWin is loaded or the script never ran.
constexpr int kFirstLookMs = 250;

std::atomic<int> connections{0};

std::string JsString(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\')
            out += '\\', out += c;
        else if (static_cast<unsigned char>(c) < 0x20)
            out += ' ';
        else
            out += c;
    }
    return out + "\"";
}

}  // namespace

struct KwinScripting::Impl {
    QString connectionName;
    std::optional<QDBusConnection> bus;
    QThread thread;
    KwinScriptSink* sink = nullptr;  // deleted on its thread as that ends
    std::filesystem::path folder;
    int next = 0;
    int reportMs = 3000;

    QDBusMessage Call(const QString& path, const QString& iface, const QString& method,
                      const QList<QVariant>& args) {
        QDBusMessage m = QDBusMessage::createMethodCall(kKwin, path, iface, method);
        m.setArguments(args);
        return bus->call(m, QDBus::Block, kCallMs);
    }
};

KwinScripting::KwinScripting(const std::string& busAddress, int reportMs)
    : impl_(std::make_unique<Impl>()) {
    impl_->reportMs = reportMs;
    if (!QCoreApplication::instance())
        throw std::runtime_error("KWin's scripting needs Qt's application object");
    impl_->connectionName =
        QStringLiteral("velmora-kwin-%1-%2").arg(getpid()).arg(connections.fetch_add(1));
    impl_->bus =
        busAddress.empty()
            ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, impl_->connectionName)
            : QDBusConnection::connectToBus(QString::fromStdString(busAddress),
                                            impl_->connectionName);
    if (!impl_->bus->isConnected())
        throw std::runtime_error("no D-Bus session bus: " +
                                 impl_->bus->lastError().message().toStdString());
    const auto owner = impl_->bus->interface()->isServiceRegistered(kKwin);
    if (!owner.isValid() || !owner.value())
        throw std::runtime_error("KWin is not on the D-Bus session bus (no org.kde.KWin)");

    // Scripts are files KWin reads: a private folder, in the runtime folder where there is one.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string pattern =
        (runtime && *runtime ? std::string(runtime) : std::string("/tmp")) + "/velmora-kwin-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a folder for KWin scripts in " + pattern);
    impl_->folder = pattern;

    impl_->sink = new KwinScriptSink;
    impl_->sink->moveToThread(&impl_->thread);
    QObject::connect(&impl_->thread, &QThread::finished, impl_->sink, &QObject::deleteLater);
    impl_->thread.start();
    if (!impl_->bus->registerObject(kSinkPath, impl_->sink, QDBusConnection::ExportScriptableSlots))
        throw std::runtime_error("cannot register the D-Bus object KWin scripts report to");
}

KwinScripting::~KwinScripting() {
    if (impl_->bus) {
        impl_->bus->unregisterObject(kSinkPath);
        impl_->bus.reset();
        QDBusConnection::disconnectFromBus(impl_->connectionName);
    }
    impl_->thread.quit();
    impl_->thread.wait();
    std::error_code ec;
    if (!impl_->folder.empty()) std::filesystem::remove_all(impl_->folder, ec);
}

std::optional<std::string> KwinScripting::Run(const std::string& body, int timeoutMs) {
    Impl& d = *impl_;
    const std::string name = "velmora-" + std::to_string(getpid()) + "-" + std::to_string(d.next);
    const std::string token = name + "-" + std::to_string(std::rand());
    const std::filesystem::path file = d.folder / ("s" + std::to_string(d.next++) + ".js");
    {
        std::ofstream out(file, std::ios::trunc);
        out << "(function () {\nfunction report(v) { callDBus("
            << JsString(d.bus->baseService().toStdString()) << ", "
            << JsString(kSinkPath.toStdString()) << ", \"org.velmora.KwinScriptSink\", \"Report\", "
            << JsString(token) << ", JSON.stringify(v)); }\n"
            << "try {\n"
            << body << "\n} catch (e) { report({ error: String(e) }); }\n})();\n";
        if (!out) return std::nullopt;
    }
    d.sink->Expect(token);
    const auto started = std::chrono::steady_clock::now();
    const QString qname = QString::fromStdString(name);
    const QDBusMessage loaded =
        d.Call(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
               QStringLiteral("loadScript"), {QString::fromStdString(file.string()), qname});
    std::optional<std::string> got;
    const char* why = "not loaded";
    // An answer that is not a number is no script of ours to run.
    const int id = loaded.type() == QDBusMessage::ReplyMessage && !loaded.arguments().isEmpty() &&
                           loaded.arguments().first().metaType() == QMetaType::fromType<int>()
                       ? loaded.arguments().first().toInt()
                       : -1;
    if (id >= 0) {
        // Plasma 5 names a loaded script /<id>, Plasma 6 /Scripting/Script<id>.
        QDBusMessage ran = d.Call(QStringLiteral("/%1").arg(id),
                                  QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run"), {});
        if (ran.type() == QDBusMessage::ErrorMessage)
            ran = d.Call(QStringLiteral("/Scripting/Script%1").arg(id),
                         QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run"), {});
        // KWin numbers a script by the length of its list: where another program's script
        // loaded after one since unloaded still lives, ours gets that script's number and
        // path, and the run reaches the other one. Scripting.start runs every loaded script
        // not yet running, ours among them.
        const int bound = timeoutMs < 0 ? d.reportMs : timeoutMs;
        const int first = std::min(bound, kFirstLookMs);
        if (ran.type() == QDBusMessage::ReplyMessage) got = d.sink->Take(token, first);
        if (!got) {
            why = "no report in time";
            d.Call(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
                   QStringLiteral("start"), {});
            got = d.sink->Take(token, bound - first);
        }
    }
    // A compositor that stops answering shows here first: the callers only see "no window".
    if (!got) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
        std::fprintf(stderr,
                     "velmora: KWin gave no answer to a script (%s, after %lld ms): %.50s\n", why,
                     static_cast<long long>(ms), body.c_str());
    }
    d.sink->Forget(token);
    // Loaded under our name even when loadScript's answer was lost: unloading is harmless.
    d.Call(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
           QStringLiteral("unloadScript"), {qname});
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return got;
}

}  // namespace velmora::platform::wayland
