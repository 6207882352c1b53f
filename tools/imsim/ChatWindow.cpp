#include "ChatWindow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QVBoxLayout>

namespace imsim {

namespace {
QString WithCrLf(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar(QChar::ParagraphSeparator), QChar('\n'));
    text.replace(QChar(QChar::LineSeparator), QChar('\n'));
    text.replace(QChar('\n'), QStringLiteral("\r\n"));
    return text;
}

ClockTime Now() {
    QDateTime now = QDateTime::currentDateTime();
    ClockTime t;
    t.year = now.date().year();
    t.month = now.date().month();
    t.day = now.date().day();
    t.hour = now.time().hour();
    t.minute = now.time().minute();
    t.second = now.time().second();
    return t;
}

std::string Utf8(const QString& s) {
    return s.toUtf8().toStdString();
}
QString FromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
}  // namespace

HistoryPane::HistoryPane(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::StrongFocus);
    setObjectName(QStringLiteral("history"));
}

QString HistoryPane::CopyText() const {
    return WithCrLf(toPlainText());
}

QMimeData* HistoryPane::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    data->setText(WithCrLf(textCursor().selection().toPlainText()));
    ++copies_;
    return data;
}

InputBox::InputBox(QWidget* parent, SendKey key) : QPlainTextEdit(parent), key_(key) {
    setObjectName(QStringLiteral("input"));
}

void InputBox::keyPressEvent(QKeyEvent* e) {
    if (pasteDelayMs_ > 0 && e->matches(QKeySequence::Paste)) {
        QTimer::singleShot(pasteDelayMs_, this, [this] { paste(); });
        return;
    }
    bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if (enter) {
        if (key_ == SendKey::Enter && mods == Qt::NoModifier) {
            emit sendRequested();
            return;
        }
        if (key_ == SendKey::CtrlEnter && mods == Qt::ControlModifier) {
            emit sendRequested();
            return;
        }
        if (mods == Qt::ControlModifier) {
            // Where Ctrl+Enter does not send, it breaks the line like Enter.
            insertPlainText(QStringLiteral("\n"));
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(e);
}

void InputBox::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText()) return;
    QString text = source->text();
    // A CR LF pair is one line break, not two.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar('\r'), QChar('\n'));
    insertPlainText(text);
}

ChatWindow::ChatWindow(ChatOptions options) : options_(std::move(options)) {
    setWindowTitle(QStringLiteral("imsim - chat with ") + FromUtf8(options_.peer));
    setObjectName(QStringLiteral("imsim"));
    replies_.assign(options_.replies.begin(), options_.replies.end());

    history_ = new HistoryPane(this);
    input_ = new InputBox(this, options_.sendKey);
    input_->SetPasteDelay(options_.pasteDelayMs);
    send_ = new QPushButton(QStringLiteral("Send"), this);
    send_->setObjectName(QStringLiteral("send"));
    send_->setAutoDefault(false);
    if (options_.nativeControls) {
        // Like the controls of many desktop chat programs, each has a window of its own, so
        // the window under a point is the control itself.
        for (QWidget* w : {static_cast<QWidget*>(history_), static_cast<QWidget*>(input_),
                           static_cast<QWidget*>(send_)})
            w->setAttribute(Qt::WA_NativeWindow);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(history_, 3);
    layout->addWidget(input_, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(send_);
    layout->addLayout(row);

    connect(input_, &InputBox::sendRequested, this, &ChatWindow::SendInput);
    connect(send_, &QPushButton::clicked, this, &ChatWindow::SendInput);
    input_->setFocus();
}

void ChatWindow::AppendMessage(const std::string& name, const QString& text) {
    QString block;
    for (const std::string& line : MessageLines(options_.style, name, Now(), Utf8(text)))
        block += FromUtf8(line) + QChar('\n');
    QTextCursor c(history_->document());
    c.movePosition(QTextCursor::End);
    c.insertText(block);
    history_->moveCursor(QTextCursor::End);
    history_->ensureCursorVisible();
}

void ChatWindow::PostPeerMessage(const QString& text) {
    AppendMessage(options_.peer, text);
}

void ChatWindow::SendInput() {
    QString text = input_->toPlainText();
    if (text.isEmpty()) {
        // Chat programs refuse to send nothing; counted so tests can see the attempt.
        ++emptySends_;
        return;
    }
    sent_.push_back({QDateTime::currentDateTime(), text});
    input_->clear();
    AppendMessage(options_.me, text);

    std::string reply;
    if (!replies_.empty()) {
        reply = replies_.front();
        replies_.pop_front();
    } else {
        reply = options_.autoReply;
    }
    if (!reply.empty()) {
        QString r = FromUtf8(reply);
        QTimer::singleShot(options_.replyDelayMs, this, [this, r] { PostPeerMessage(r); });
    }
}

QString ChatWindow::GeometryText() const {
    // The window's own origin as the toolkit last learned it: the places below are off until
    // the window manager's last move has reached the toolkit.
    const QPoint origin = mapToGlobal(QPoint(0, 0));
    QString out = QStringLiteral("window %1 %2 %3\n").arg(winId()).arg(origin.x()).arg(origin.y());
    auto add = [&out](const char* name, const QWidget* w) {
        QPoint tl = w->mapToGlobal(QPoint(0, 0));
        WId id = w->internalWinId() ? w->internalWinId() : w->window()->winId();
        out += QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                   .arg(QLatin1String(name))
                   .arg(tl.x())
                   .arg(tl.y())
                   .arg(w->width())
                   .arg(w->height())
                   .arg(id);
    };
    add("input", input_);
    add("history", history_);
    add("send", send_);
    return out;
}

}  // namespace imsim
