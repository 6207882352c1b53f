// imsim: a desktop chat window whose other party is scripted, standing in for an IM client.

#include <QApplication>
#include <QColor>
#include <QCommandLineParser>
#include <QFile>
#include <QPalette>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>

#include "ChatWindow.h"
#include "ClickLog.h"
#include "ControlServer.h"
#include "PeerScript.h"

namespace {

const char* kHelp = R"(
A chat window for trying out programs that drive chat windows from outside.
It has a message history (read-only, selectable; a copy gives CR LF line ends),
an input box and a Send button. The other party is scripted.

Speaker line forms (--form):
  1  Name 12:34:56
  2  Name (12:34 PM):
  3  Name said:            (the word is set by --said, e.g. --said 说)
  4  Name(2009-09-23 12:34:56):

Script file (--script), one entry a line:
  <delay_ms><TAB><text>    the peer says text, delay_ms after the previous timed line
  reply<TAB><text>         the peer's answers, one after each message we send
  # comment
  Texts may use \n for a line break.

Control socket (--control PATH), one request a line; replies are "ok <n>\n" and
n bytes of UTF-8, or "err <reason>\n":
  post <text>       the peer says text (\n, \r, \t, \\ escapes)
  set-input <text>  replace the input box text
  history           the whole history, as a copy gives it
  input             the input box text
  sent              one line per sent message: <ms since epoch><TAB><escaped text>
  stats             counts of sent messages, of refused empty sends and of history copies
  geometry          "window <id>", then "input|history|send <x> <y> <w> <h> <id>"
                    (screen pixels; id is the control's own X window)
  active            1 when the window has the keyboard focus, else 0
  activate          raise and activate the window
  quit              end the program

--fill RRGGBB paints the window and its boxes in one colour (for screen-capture tests).
--full-screen shows the window full screen.
)";

bool ParseGeometry(const QString& text, QRect& out) {
    static const QRegularExpression re(QStringLiteral(R"(^(\d+)x(\d+)([+-]\d+)([+-]\d+)$)"));
    auto m = re.match(text);
    if (!m.hasMatch()) return false;
    out = QRect(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(),
                m.captured(2).toInt());
    return out.width() > 0 && out.height() > 0;
}

int Fail(const QString& message) {
    std::fprintf(stderr, "imsim: %s\n", message.toUtf8().constData());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("imsim"));
    imsim::ClickLog clickLog;
    app.installEventFilter(&clickLog);

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kHelp));
    parser.addHelpOption();
    QCommandLineOption me(QStringLiteral("me"), "Our own speaker name (default Me).", "name", "Me");
    QCommandLineOption peer(QStringLiteral("peer"), "The other party's name (default Peer).",
                            "name", "Peer");
    QCommandLineOption form(QStringLiteral("form"), "Speaker line form 1..4 (default 1).", "n",
                            "1");
    QCommandLineOption said(QStringLiteral("said"), "The word of form 3 (default said).", "word",
                            "said");
    QCommandLineOption indent(QStringLiteral("indent"),
                              "Indent messages under the speaker line (default).");
    QCommandLineOption noIndent(QStringLiteral("no-indent"), "Messages start their lines.");
    QCommandLineOption sendKey(QStringLiteral("send-key"),
                               "enter, ctrl-enter or button (default enter).", "key", "enter");
    QCommandLineOption script(QStringLiteral("script"), "The peer's script file.", "file");
    QCommandLineOption autoReply(QStringLiteral("auto-reply"),
                                 "The peer answers every message we send with text.", "text");
    QCommandLineOption replyDelay(QStringLiteral("reply-delay"),
                                  "Delay of answers in ms (default 300).", "ms", "300");
    QCommandLineOption control(QStringLiteral("control"),
                               "Listen for control requests on a Unix socket.", "path");
    QCommandLineOption geometry(QStringLiteral("geometry"), "Window geometry WxH+X+Y.", "geometry");
    QCommandLineOption pasteDelay(QStringLiteral("paste-delay"),
                                  "Read the clipboard this long after the paste key (default 0).",
                                  "ms", "0");
    QCommandLineOption alien(QStringLiteral("alien-controls"),
                             "Controls without windows of their own (one X window in all).");
    QCommandLineOption fill(QStringLiteral("fill"), "Paint the window in one colour.", "RRGGBB");
    // Where the compositor tells no client where its window is (Wayland), a full-screen window
    // is at the screen's corner: its controls' positions are the screen's.
    QCommandLineOption fullScreen(QStringLiteral("full-screen"), "Show the window full screen.");
    for (const auto* o :
         {&me, &peer, &form, &said, &indent, &noIndent, &sendKey, &script, &autoReply, &replyDelay,
          &pasteDelay, &control, &geometry, &alien, &fill, &fullScreen})
        parser.addOption(*o);
    parser.process(app);

    imsim::ChatOptions options;
    options.me = parser.value(me).toStdString();
    options.peer = parser.value(peer).toStdString();
    bool ok = false;
    options.style.form = parser.value(form).toInt(&ok);
    if (!ok || options.style.form < 1 || options.style.form > 4)
        return Fail(QStringLiteral("--form takes 1, 2, 3 or 4"));
    options.style.saidWord = parser.value(said).toStdString();
    options.style.indent = !parser.isSet(noIndent);
    QString key = parser.value(sendKey);
    if (key == QLatin1String("enter"))
        options.sendKey = imsim::SendKey::Enter;
    else if (key == QLatin1String("ctrl-enter"))
        options.sendKey = imsim::SendKey::CtrlEnter;
    else if (key == QLatin1String("button"))
        options.sendKey = imsim::SendKey::Button;
    else
        return Fail(QStringLiteral("--send-key takes enter, ctrl-enter or button"));
    options.replyDelayMs = parser.value(replyDelay).toInt(&ok);
    if (!ok || options.replyDelayMs < 0) return Fail(QStringLiteral("bad --reply-delay"));
    options.pasteDelayMs = parser.value(pasteDelay).toInt(&ok);
    if (!ok || options.pasteDelayMs < 0) return Fail(QStringLiteral("bad --paste-delay"));
    options.autoReply = parser.value(autoReply).toStdString();
    options.nativeControls = !parser.isSet(alien);

    imsim::PeerScript peerScript;
    if (parser.isSet(script)) {
        QFile file(parser.value(script));
        if (!file.open(QIODevice::ReadOnly))
            return Fail(QStringLiteral("cannot read ") + parser.value(script));
        peerScript = imsim::ParsePeerScript(file.read(1 << 22).toStdString());
        for (const auto& e : peerScript.errors)
            std::fprintf(stderr, "imsim: script %s\n", e.c_str());
        options.replies = peerScript.replies;
    }

    if (parser.isSet(fill)) {
        const QColor colour(QStringLiteral("#") + parser.value(fill));
        if (!colour.isValid()) return Fail(QStringLiteral("--fill takes RRGGBB"));
        QPalette palette = QApplication::palette();
        for (auto role :
             {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::AlternateBase})
            palette.setColor(role, colour);
        QApplication::setPalette(palette);
    }

    imsim::ChatWindow window(options);
    QRect rect(60, 60, 520, 480);
    if (parser.isSet(geometry) && !ParseGeometry(parser.value(geometry), rect))
        return Fail(QStringLiteral("--geometry takes WxH+X+Y"));
    window.setGeometry(rect);

    imsim::ControlServer server(window);
    if (parser.isSet(control) && !server.Listen(parser.value(control)))
        return Fail(QStringLiteral("cannot listen on ") + parser.value(control) + ": " +
                    server.ErrorText());

    if (parser.isSet(fullScreen))
        window.showFullScreen();
    else
        window.show();

    int at = 0;
    for (const auto& line : peerScript.timed) {
        at += line.delayMs;
        QString text = QString::fromStdString(line.text);
        QTimer::singleShot(at, &window, [&window, text] { window.PostPeerMessage(text); });
    }
    return app.exec();
}
