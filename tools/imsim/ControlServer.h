#pragma once

#include <QLocalServer>
#include <QObject>

namespace imsim {

class ChatWindow;

// Answers the control socket's line protocol (ControlProtocol.h) for one chat window.
class ControlServer : public QObject {
    Q_OBJECT
  public:
    ControlServer(ChatWindow& window, QObject* parent = nullptr);
    bool Listen(const QString& path);
    QString ErrorText() const { return server_.errorString(); }

  private:
    void OnConnection();
    QByteArray Answer(const QByteArray& line);
    ChatWindow& window_;
    QLocalServer server_;
};

}  // namespace imsim
