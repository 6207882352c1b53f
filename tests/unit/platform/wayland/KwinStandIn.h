#pragma once

// A stand-in for KWin on a private D-Bus bus: its scripting and ScreenShot2 answer what the
// test chooses, so that the backends meet answers the real one never gives.

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QObject>
#include <QRegularExpression>
#include <QVariantMap>
#include <atomic>
#include <string>

// Taken: the script's number is another live script's, so only Scripting.start runs it.
enum class ScriptAnswer { Refuse, Silent, Garbage, WrongToken, Taken, Reports };
enum class ShotAnswer { Error, NoSize, ShortData, UnknownFormat, Huge, Picture };

// What a script run reports: the window list when the script asks for it, else the screen.
inline constexpr char kOneWindow[] =
    R"({"active":"{a}","windows":[{"id":"{a}","pid":7,"caption":"c","resourceClass":"r",)"
    R"("frame":[0,0,100,100],"buffer":[0,0,100,100],"minimized":false,"keepAbove":false,)"
    R"("shown":true,"stacking":1}]})";

class StandInScripting : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Scripting")
  public:
    std::atomic<ScriptAnswer> answer{ScriptAnswer::Reports};
    QString lastScript;
  public Q_SLOTS:
    int loadScript(const QString& path, const QString&) {
        if (answer == ScriptAnswer::Refuse) return -1;
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        lastScript = QString::fromUtf8(f.readAll());
        return 0;
    }
    bool unloadScript(const QString&) { return true; }
    void start() {
        if (answer == ScriptAnswer::Taken) Report();
    }

  public:
    QDBusConnection* bus = nullptr;
    // Reports to where the script says, what it asks for.
    void Report() {
        static const QRegularExpression call(
            R"re(callDBus\("([^"]+)", "([^"]+)", "([^"]+)", "Report", "([^"]+)")re");
        const auto m = call.match(lastScript);
        if (!m.hasMatch() || !bus) return;
        QString token = m.captured(4);
        QString payload = lastScript.contains(QStringLiteral("virtualScreenGeometry"))
                              ? QStringLiteral("[0,0,2,2]")
                              : QString::fromLatin1(kOneWindow);
        if (answer == ScriptAnswer::Garbage) payload = QStringLiteral("{not json");
        if (answer == ScriptAnswer::WrongToken) token += QStringLiteral("x");
        QDBusMessage report = QDBusMessage::createMethodCall(
            m.captured(1), m.captured(2), m.captured(3), QStringLiteral("Report"));
        report.setArguments({token, payload});
        bus->send(report);
    }
};

class StandInScript : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Script")
  public:
    explicit StandInScript(StandInScripting& scripting) : scripting_(scripting) {}
  public Q_SLOTS:
    void run() {
        if (scripting_.answer == ScriptAnswer::Silent || scripting_.answer == ScriptAnswer::Taken)
            return;
        scripting_.Report();
    }

  private:
    StandInScripting& scripting_;
};

class StandInScreenShot : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KWin.ScreenShot2")
  public:
    std::atomic<ShotAnswer> answer{ShotAnswer::Picture};
  public Q_SLOTS:
    QVariantMap CaptureWorkspace(const QVariantMap&, const QDBusUnixFileDescriptor& pipe) {
        if (answer == ShotAnswer::Error) {
            sendErrorReply(QStringLiteral("org.kde.KWin.ScreenShot2.Error.NoAuthorized"),
                           QStringLiteral("The process is not authorized to take a screenshot"));
            return {};
        }
        // Two by two pixels of ARGB32, red, green, blue, white.
        QVariantMap meta{{QStringLiteral("type"), QStringLiteral("raw")},
                         {QStringLiteral("width"), 2u},
                         {QStringLiteral("height"), 2u},
                         {QStringLiteral("stride"), 8u},
                         {QStringLiteral("format"), 5u}};
        std::string data("\x00\x00\xff\xff\x00\xff\x00\xff\xff\x00\x00\xff\xff\xff\xff\xff", 16);
        switch (answer.load()) {
            case ShotAnswer::NoSize:
                meta.remove(QStringLiteral("width"));
                break;
            case ShotAnswer::ShortData:
                data.resize(12);
                break;
            case ShotAnswer::UnknownFormat:
                meta[QStringLiteral("format")] = 3u;  // one bit per pixel
                break;
            case ShotAnswer::Huge:
                meta[QStringLiteral("width")] = 1u << 20;
                meta[QStringLiteral("stride")] = 4u << 20;
                break;
            default:
                break;
        }
        QFile out;
        if (out.open(dup(pipe.fileDescriptor()), QIODevice::WriteOnly,
                     QFileDevice::AutoCloseHandle))
            out.write(data.data(), static_cast<qint64>(data.size()));
        return meta;
    }
};
