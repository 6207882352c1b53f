#include "ControlServer.h"

#include <QCoreApplication>
#include <QLocalSocket>
#include <QTimer>

#include "ChatWindow.h"
#include "ControlProtocol.h"

namespace imsim {

namespace {
// A line longer than this is no request of ours; the connection is dropped.
constexpr qint64 kMaxLine = 1 << 20;

QByteArray Bytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}
QByteArray Ok(const QString& payload) {
    return Bytes(OkReply(payload.toUtf8().toStdString()));
}
}  // namespace

ControlServer::ControlServer(ChatWindow& window, QObject* parent)
    : QObject(parent), window_(window) {
    connect(&server_, &QLocalServer::newConnection, this, &ControlServer::OnConnection);
}

bool ControlServer::Listen(const QString& path) {
    QLocalServer::removeServer(path);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    return server_.listen(path);
}

void ControlServer::OnConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                QByteArray line = socket->readLine();
                while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
                socket->write(Answer(line));
                socket->flush();
            }
            if (socket->bytesAvailable() > kMaxLine) socket->abort();
        });
    }
}

QByteArray ControlServer::Answer(const QByteArray& line) {
    int space = line.indexOf(' ');
    QByteArray command = space < 0 ? line : line.left(space);
    std::string arg = space < 0 ? std::string() : Unescape(line.mid(space + 1).toStdString());
    QString text = QString::fromUtf8(arg.data(), qsizetype(arg.size()));

    if (command == "post") {
        window_.PostPeerMessage(text);
        return Ok({});
    }
    if (command == "set-input") {
        window_.SetInputText(text);
        return Ok({});
    }
    if (command == "history") return Ok(window_.HistoryText());
    if (command == "input") return Ok(window_.InputText());
    if (command == "sent") {
        QString out;
        for (const auto& s : window_.SentLog())
            out += QString::number(s.at.toMSecsSinceEpoch()) + QChar('\t') +
                   QString::fromStdString(Escape(s.text.toUtf8().toStdString())) + QChar('\n');
        return Ok(out);
    }
    if (command == "stats")
        return Ok(QStringLiteral("sent %1\nempty %2\ncopies %3\n")
                      .arg(window_.SentLog().size())
                      .arg(window_.EmptySends())
                      .arg(window_.HistoryCopies()));
    if (command == "geometry") return Ok(window_.GeometryText());
    if (command == "active")
        return Ok(window_.isActiveWindow() ? QStringLiteral("1") : QStringLiteral("0"));
    if (command == "activate") {
        window_.raise();
        window_.activateWindow();
        return Ok({});
    }
    if (command == "quit") {
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return Ok({});
    }
    return Bytes(ErrReply("unknown command"));
}

}  // namespace imsim
