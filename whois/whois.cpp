#include "whois/whois.h"

#include <algorithm>
#include <span>

#include <QAbstractTextDocumentLayout>
#include <QByteArray>
#include <QEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "net/winsock.h"
#include "platform/winsock/asyncselect.h"
#include "platform/winsock/winsock.h"
#include "whois/query.h"

namespace whois {

std::int16_t WhoisSocket = 0;
WindowProc PreviousWindowProc = nullptr;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr std::size_t kReceiveSize = 16384;
constexpr std::int16_t kTrue = -1;
// The most the box takes in one piece, a few milliseconds of work: besides the text, each
// piece costs a pass of the document's layout over its paragraphs, a layout of those at the end
// and a paint. (Longest event-loop pass measured with 512 Ki characters: 7-10 ms for 8 MiB of
// 38-byte lines, 5-6 ms for bare line feeds, 6-9 ms for one long line.)
constexpr qsizetype kCatchUpPiece = 512 * 1024;
constexpr qsizetype kCatchUpParagraphs = 1024;
constexpr int kFrameMilliseconds = 16;

qsizetype BoxCost(qsizetype characters, qsizetype lines) {
    return characters * Client::kBoxBytesPerCharacter + lines * Client::kBoxBytesPerLine;
}

// The box counts a paragraph that it has not laid out yet as one line. The output's
// paragraphs hold several lines each, so from `block` on each one not yet laid out is given its
// number of lines, and the scroll bar measures the output in lines. The blocks after `block`
// are the paragraphs `ended` in turn, but for the last one, which goes on; the first and the
// last are counted from their text.
void CountLines(QTextDocument* document, QTextBlock block,
                std::span<const ShownText::Paragraph> ended) {
    bool changed = false;
    for (std::size_t at = 0; block.isValid(); block = block.next(), ++at) {
        const int lines = at > 0 && at < ended.size()
                              ? ended[at].lines
                              : int(block.text().count(QChar::LineSeparator)) + 1;
        if (block.lineCount() < lines) {
            block.setLineCount(lines);
            changed = true;
        }
    }
    if (changed) {
        QAbstractTextDocumentLayout* layout = document->documentLayout();
        emit layout->documentSizeChanged(layout->documentSize());
    }
}

// What the window does with an event that the hook lets pass: Qt delivers it as usual.
bool WindowDefault(QObject*, QEvent*) {
    return false;
}

void NewConnection(Client& client) {
    const Tab& tab = client.Controls();
    client.SetOutputText(QString());
    if (WhoisSocket != 0) {
        closesocket(WhoisSocket);
        WhoisSocket = 0;
    }
    const QString server = tab.txtServer->text();
    AppendOutput(client, QStringLiteral(" Looking for: ") + server + kCrLf);

    const QString portText = tab.txtPort->text();
    std::int16_t port = 0;
    if (!ReadPort(portText, port)) {
        AppendOutput(client, QStringLiteral(" Not a port number from -32768 to 32767: \"") +
                                 portText + QLatin1Char('"') + kCrLf);
        return;
    }

    client.StartReply();
    QString peer;
    std::int32_t socket = Winsock::OpenStreamConnection(server, port, peer, client.parent(), kTrue);
    const int error = socket == -1 ? WSAGetLastError() : 0;
    if (socket > 32767) {
        // The handle would not survive being stored in 16 bits.
        closesocket(socket);
        socket = -1;
    }
    WhoisSocket = static_cast<std::int16_t>(socket);
    AppendOutput(client, QStringLiteral(" Connecting to: ") + peer + kCrLf);
    AppendOutput(client, QStringLiteral(" Press the Whois button to retrieve your data ") + kCrLf);
    // No connection is under way: why not, as a failed connection says it (a server name that
    // does not resolve gives the name service's code).
    if (error != 0) {
        AppendOutput(client,
                     QStringLiteral("Error Occured: ") + Winsock::SocketErrorText(error) + kCrLf);
    }
}

void SendQuery(Client& client) {
    const QString domain = client.Controls().DomainName->text();
    if (!IsSendableDomain(domain)) {
        AppendOutput(client, QStringLiteral(" Not sent: the domain name holds a line break or a "
                                            "NUL character ") +
                                 kCrLf);
        return;
    }
    SendAndEcho(client, domain + kCrLf);
    client.Controls().cmdConnect->setText(QStringLiteral("Disconnect"));
}

void ReadReply(Client& client) {
    QByteArray buffer(kReceiveSize, '\0');
    const std::ptrdiff_t received = platform::recv(WhoisSocket, buffer.data(), kReceiveSize, 0);
    if (received < 0) {
        return;
    }
    const qsizetype kept = std::min<qsizetype>(received, client.ReplyRoom());
    AppendOutput(client, client.DecodeReply(QByteArrayView(buffer.constData(), kept)));
    if (kept < received) {
        // The exchange holds all it may: the connection is closed as Disconnect closes it.
        closesocket(WhoisSocket);
        client.Controls().cmdConnect->setText(QStringLiteral("Connect"));
        AppendOutput(client, client.FinishReply() + kCrLf +
                                 QStringLiteral("*** Socket Closed (reply cut after %1 bytes)")
                                     .arg(client.ReplyBytes()));
    }
}

}  // namespace

Client::Client(const Tab& tab, QObject* window) : QObject(window), tab_(tab) {
    text_ = tab_.txtWinsock->toPlainText();
    connect(tab_.txtWinsock, &QPlainTextEdit::textChanged, this, [this] {
        if (!writing_) {
            TakeEditedText();
        }
    });
    if (auto* box = dynamic_cast<OutputBox*>(tab_.txtWinsock)) {
        box->SetClient(this);
    }
    catchUp_.setSingleShot(true);
    connect(&catchUp_, &QTimer::timeout, this,
            [this] { ShowPending(kCatchUpPiece, kCatchUpParagraphs); });
}

void Client::TakeEditedText() {
    text_ = tab_.txtWinsock->toPlainText();
    // What is still to come counts as shown too: the box gives its breaks back as LFs.
    const qsizetype shownSoFar = text_.size();
    text_ += QStringView(pending_).mid(pendingAt_);
    std::replace(text_.begin() + shownSoFar, text_.end(), QChar(QChar::LineSeparator),
                 QChar(QLatin1Char('\n')));
    shown_.Restart(text_);
}

void Client::AppendOutput(const QString& text) {
    const qsizetype shownBefore = pending_.size();
    const qsizetype breaksBefore = shown_.Breaks();
    shown_.Next(text, pending_, &paragraphs_);
    text_ += text;
    boxCost_ += BoxCost(pending_.size() - shownBefore, shown_.Breaks() - breaksBefore);
    if (!catchUp_.isActive()) {
        catchUp_.start(kFrameMilliseconds);
    }
}

void Client::ShowPending(qsizetype most, qsizetype mostParagraphs) {
    const qsizetype rest = pending_.size() - pendingAt_;
    qsizetype size = std::min(rest, most);
    const auto first = paragraphs_.cbegin() + paragraphsAt_;
    if (paragraphs_.cend() - first >= mostParagraphs) {
        size = std::min(size, first[mostParagraphs - 1].end - pendingAt_);
    }
    if (size < rest && pending_[pendingAt_ + size - 1].isHighSurrogate()) {
        --size;
    }
    const auto ended = std::find_if(first, paragraphs_.cend(), [&](ShownText::Paragraph paragraph) {
        return paragraph.end > pendingAt_ + size;
    });
    writing_ = true;
    QPlainTextEdit* box = tab_.txtWinsock;
    if (const QTextCursor cursor = box->textCursor(); cursor.hasSelection() || !cursor.atEnd()) {
        box->moveCursor(QTextCursor::End);
    }
    // The insertion point stays behind the inserted text, and the box shows the end once a
    // frame and when it has caught up. (No other cursor lives meanwhile: the document moves
    // every cursor at each paragraph it takes.)
    const QTextBlock last = box->document()->lastBlock();
    // (Most often all that is pending goes in, without a copy.)
    box->insertPlainText(
        pendingAt_ == 0 && size == pending_.size() ? pending_ : pending_.mid(pendingAt_, size));
    CountLines(box->document(), last, std::span(first, ended));
    pendingAt_ += size;
    paragraphsAt_ = ended - paragraphs_.cbegin();
    const bool caughtUp = pendingAt_ == pending_.size();
    if (caughtUp || !sinceScroll_.isValid() || sinceScroll_.hasExpired(kFrameMilliseconds)) {
        QScrollBar* bar = box->verticalScrollBar();
        bar->setValue(bar->maximum());
        sinceScroll_.start();
    }
    writing_ = false;
    if (caughtUp) {
        ForgetPending();
    } else {
        catchUp_.start(0);  // the rest after the events that came meanwhile
    }
}

void Client::ForgetPending() {
    // The next reads fill the same room again; a large room, left by a burst, is given back.
    if (pending_.capacity() > 2 * kCatchUpPiece) {
        pending_.clear();
    } else {
        pending_.resize(0);
    }
    pendingAt_ = 0;
    paragraphs_.clear();
    paragraphsAt_ = 0;
}

void Client::CatchUp() {
    catchUp_.stop();
    if (pendingAt_ < pending_.size()) {
        ShowPending(pending_.size(), pending_.size());
    }
}

void Client::SetOutputText(const QString& text) {
    catchUp_.stop();
    ForgetPending();
    text_ = text;
    shown_ = ShownText();
    QString shown;
    std::vector<ShownText::Paragraph> ended;
    shown_.Next(text, shown, &ended);
    boxCost_ = BoxCost(shown.size(), shown_.Breaks());
    writing_ = true;
    tab_.txtWinsock->setPlainText(shown);
    CountLines(tab_.txtWinsock->document(), tab_.txtWinsock->document()->firstBlock(), ended);
    writing_ = false;
}

void Client::StartReply() {
    decoder_ = ReplyDecoder();
    replyBytes_ = 0;
}

QString Client::DecodeReply(QByteArrayView bytes) {
    replyBytes_ += bytes.size();
    return decoder_.Decode(bytes);
}

qsizetype Client::ReplyRoom() const {
    // Bare line feeds cost the box most: one line each.
    const qsizetype boxRoom = (kBoxLimit - boxCost_) / (kBoxBytesPerCharacter + kBoxBytesPerLine);
    return std::max<qsizetype>(0, std::min(replyLimit_ - replyBytes_, boxRoom));
}

bool Client::eventFilter(QObject* watched, QEvent* event) {
    return watched == parent() && NotifyWindowProc(watched, event);
}

QMimeData* OutputBox::createMimeDataFromSelection() const {
    if (client_ == nullptr) {
        return QPlainTextEdit::createMimeDataFromSelection();
    }
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(ExactSelection(client_->OutputText(), toPlainText(), cursor.selectionStart(),
                                 cursor.selectionEnd()));
    return data;
}

void InstallNotifyHook(Client& client) {
    PreviousWindowProc = &WindowDefault;
    client.parent()->installEventFilter(&client);
}

bool NotifyWindowProc(QObject* hWnd, QEvent* message) {
    const bool isSocketMessage =
        message->type() == platform::SocketMessage::EventType() &&
        static_cast<platform::SocketMessage*>(message)->message == Winsock::WM_SOCKET_NOTIFY;
    auto* client =
        isSocketMessage ? hWnd->findChild<Client*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (client == nullptr) {
        return PreviousWindowProc != nullptr && PreviousWindowProc(hWnd, message);
    }
    const auto* notification = static_cast<platform::SocketMessage*>(message);
    if (notification->wParam != WhoisSocket) {
        return true;  // another socket's, or one already let go of: dropped
    }
    const std::int16_t error = Winsock::HighWordOf(notification->lParam);
    QPushButton* cmdConnect = client->Controls().cmdConnect;
    switch (Winsock::LowWordOf(notification->lParam)) {
        case FD_READ:
            ReadReply(*client);
            break;
        case FD_CONNECT:
            if (error != 0) {
                AppendOutput(*client, QStringLiteral("Error Occured: ") +
                                          Winsock::SocketErrorText(error) + kCrLf);
            } else {
                cmdConnect->setText(QStringLiteral("Whois"));
            }
            break;
        case FD_CLOSE:
            // The peer is done with the connection; its descriptor is given back here, since
            // nothing would close it later.
            closesocket(WhoisSocket);
            WhoisSocket = 0;
            cmdConnect->setText(QStringLiteral("Connect"));
            AppendOutput(*client, client->FinishReply() + QStringLiteral("Connection Closed "));
            break;
        default:
            break;
    }
    return true;
}

void CloseWhoisSocket() {
    if (WhoisSocket != 0) {
        closesocket(WhoisSocket);
        WhoisSocket = 0;
    }
}

void cmdConnectClick(Client& client) {
    QPushButton* cmdConnect = client.Controls().cmdConnect;
    const QString caption = cmdConnect->text();
    if (caption == QLatin1String("Connect")) {
        NewConnection(client);
    } else if (caption == QLatin1String("Whois")) {
        SendQuery(client);
    } else if (caption == QLatin1String("Disconnect")) {
        closesocket(WhoisSocket);
        cmdConnect->setText(QStringLiteral("Connect"));
        AppendOutput(
            client, client.FinishReply() + QStringLiteral("*** Socket Closed (Disconnect Button)"));
    }
}

void SendAndEcho(Client& client, const QString& text) {
    Winsock::SendToSocket(WhoisSocket, text);
    AppendOutput(client, QStringLiteral("SEND: ") + text);
}

void AppendOutput(Client& client, const QString& text) {
    client.AppendOutput(text);
}

void unix2dosClick(Client& client) {
    // Every line end stays one line end, so the box already shows the new text.
    client.SetExactText(ReplaceAll(client.OutputText(), QStringLiteral("\n"), kCrLf));
}

}  // namespace whois
