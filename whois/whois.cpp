#include "whois/whois.h"

#include <algorithm>

#include <QByteArray>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>

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
        client.CatchUp();
    }
}

}  // namespace

Client::Client(const Tab& tab, QObject* window) : QObject(window), tab_(tab) {}

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
    const OutputBox* box = tab_.txtWinsock;
    const qsizetype boxCost =
        box->Text().size() * kBoxBytesPerCharacter + box->Lines() * kBoxBytesPerLine;
    const qsizetype boxRoom = (kBoxLimit - boxCost) / (kBoxBytesPerCharacter + kBoxBytesPerLine);
    return std::max<qsizetype>(0, std::min(replyLimit_ - replyBytes_, boxRoom));
}

bool Client::eventFilter(QObject* watched, QEvent* event) {
    return watched == parent() && NotifyWindowProc(watched, event);
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
            client->CatchUp();  // the exchange is over: its end is shown at once
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
        client.CatchUp();
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
