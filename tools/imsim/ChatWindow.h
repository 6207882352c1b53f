#pragma once

#include <QDateTime>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <string>
#include <vector>

#include "SpeakerLine.h"

namespace imsim {

enum class SendKey { Enter, CtrlEnter, Button };

// The message history: read-only and selectable; a copy hands out CR LF line ends, as chat
// programs on the desktop do.
class HistoryPane : public QPlainTextEdit {
  public:
    explicit HistoryPane(QWidget* parent);
    // The whole history as a copy of all of it gives it.
    QString CopyText() const;
    // How many copies of the history were made, so a driver can wait for a capture.
    int Copies() const { return copies_; }

  protected:
    QMimeData* createMimeDataFromSelection() const override;

  private:
    mutable int copies_ = 0;
};

// The input box: pastes keep their line breaks as plain LF; the send key is configurable.
class InputBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    InputBox(QWidget* parent, SendKey key);
    // Reads the clipboard this long after the paste key, as programs that fetch it late do.
    void SetPasteDelay(int ms) { pasteDelayMs_ = ms; }

  signals:
    void sendRequested();

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void insertFromMimeData(const QMimeData* source) override;

  private:
    SendKey key_;
    int pasteDelayMs_ = 0;
};

struct ChatOptions {
    std::string me = "Me";
    std::string peer = "Peer";
    SpeakerStyle style;
    SendKey sendKey = SendKey::Enter;
    bool nativeControls = true;
    std::vector<std::string> replies;  // used in turn after each message we send
    std::string autoReply;             // after the replies are used up; empty: none
    int replyDelayMs = 300;
    int pasteDelayMs = 0;
};

class ChatWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ChatWindow(ChatOptions options);

    void PostPeerMessage(const QString& text);
    void SendInput();  // what the send key and the send button do

    QString HistoryText() const { return history_->CopyText(); }
    QString InputText() const { return input_->toPlainText(); }
    void SetInputText(const QString& text) { input_->setPlainText(text); }
    // Each sent message with the moment it was sent.
    struct Sent {
        QDateTime at;
        QString text;
    };
    const std::vector<Sent>& SentLog() const { return sent_; }
    int EmptySends() const { return emptySends_; }
    int HistoryCopies() const { return history_->Copies(); }
    // Lines: "window <id>", then "<name> <x> <y> <w> <h> <id>" for input, history, send.
    QString GeometryText() const;

  private:
    void AppendMessage(const std::string& name, const QString& text);
    ChatOptions options_;
    HistoryPane* history_;
    InputBox* input_;
    QPushButton* send_;
    std::vector<Sent> sent_;
    std::deque<std::string> replies_;
    int emptySends_ = 0;
};

}  // namespace imsim
