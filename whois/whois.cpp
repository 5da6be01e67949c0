#include "whois/whois.h"

#include <QByteArray>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStringDecoder>
#include <QTextCursor>

#include "app/frmwinsock.h"
#include "net/winsock.h"
#include "platform/asyncselect.h"
#include "platform/winsock.h"

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

// Stands in front of the window's own event handling, as a window procedure hook would.
class NotifyHook : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        return NotifyWindowProc(watched, event);
    }
};

// The reply of one connection is decoded by one decoder, which keeps the first bytes of a
// character that a read cut in two until the rest arrives.
QStringDecoder replyDecoder(QStringConverter::System);

// The exact text of the output box. Qt's box turns CR, LF and CR LF alike into a line break
// and gives each back as LF, so the text as written is kept beside it; what the user types
// into the box replaces it.
struct Output {
    QPointer<QPlainTextEdit> box;
    QString text;
    bool writing = false;
};
Output output;

Output& OutputOf(frmWinsock& form) {
    QPlainTextEdit* box = form.txtWinsock;
    if (output.box != box) {
        output.box = box;
        output.text = box->toPlainText();
        QObject::connect(box, &QPlainTextEdit::textChanged, box, [box] {
            if (output.box == box && !output.writing) {
                output.text = box->toPlainText();
            }
        });
    }
    return output;
}

// How the box shows a piece of the exact text: every line end, be it LF, CR LF, a lone CR or
// several CRs before an LF, is one line break, so that unix2dos never adds empty lines.
// `afterCr` says that the text shown so far ends in a CR, whose line end the piece's leading
// CRs and LF only complete.
QString AsShown(QStringView piece, bool afterCr) {
    const qsizetype size = piece.size();
    qsizetype at = 0;
    auto skipLineEnd = [&] {
        while (at < size && piece[at] == QLatin1Char('\r')) {
            ++at;
        }
        if (at < size && piece[at] == QLatin1Char('\n')) {
            ++at;
        }
    };
    if (afterCr) {
        skipLineEnd();
    }
    QString shown;
    shown.reserve(size - at);
    while (at < size) {
        const qsizetype cr = piece.indexOf(QLatin1Char('\r'), at);
        if (cr < 0) {
            shown += piece.mid(at);
            break;
        }
        shown += piece.mid(at, cr - at);
        shown += QLatin1Char('\n');
        at = cr;
        skipLineEnd();
    }
    return shown;
}

void SetOutputText(frmWinsock& form, const QString& text) {
    Output& out = OutputOf(form);
    out.text = text;
    out.writing = true;
    form.txtWinsock->setPlainText(AsShown(text, false));
    out.writing = false;
}

void NewConnection(frmWinsock& form) {
    SetOutputText(form, QString());
    if (WhoisSocket != 0) {
        closesocket(WhoisSocket);
        WhoisSocket = 0;
    }
    const QString server = form.txtServer->text();
    AppendOutput(form, QStringLiteral(" Looking for: ") + server + kCrLf);

    const QString portText = form.txtPort->text();
    bool isNumber = false;
    const std::int16_t port = portText.trimmed().toShort(&isNumber, 10);
    if (!isNumber) {
        AppendOutput(form, QStringLiteral(" Not a port number from -32768 to 32767: \"") +
                               portText + QLatin1Char('"') + kCrLf);
        return;
    }

    replyDecoder = QStringDecoder(QStringConverter::System);
    QString peer;
    std::int32_t socket = Winsock::OpenStreamConnection(server, port, peer, &form, kTrue);
    if (socket > 32767) {
        // The handle would not survive being stored in 16 bits.
        closesocket(socket);
        socket = -1;
    }
    WhoisSocket = static_cast<std::int16_t>(socket);
    AppendOutput(form, QStringLiteral(" Connecting to: ") + peer + kCrLf);
    AppendOutput(form, QStringLiteral(" Press the Whois button to retrieve your data ") + kCrLf);
}

void ReadReply(frmWinsock& form) {
    QByteArray buffer(kReceiveSize, '\0');
    const std::ptrdiff_t received = platform::recv(WhoisSocket, buffer.data(), kReceiveSize, 0);
    if (received >= 0) {
        AppendOutput(form, replyDecoder.decode(QByteArrayView(buffer.constData(), received)));
    }
}

}  // namespace

void InstallNotifyHook(frmWinsock& form) {
    PreviousWindowProc = &WindowDefault;
    form.installEventFilter(new NotifyHook(&form));
}

bool NotifyWindowProc(QObject* hWnd, QEvent* message) {
    const bool isSocketMessage =
        message->type() == platform::SocketMessage::EventType() &&
        static_cast<platform::SocketMessage*>(message)->message == Winsock::WM_SOCKET_NOTIFY;
    auto* form = isSocketMessage ? qobject_cast<frmWinsock*>(hWnd) : nullptr;
    if (form == nullptr) {
        return PreviousWindowProc != nullptr && PreviousWindowProc(hWnd, message);
    }
    const auto* notification = static_cast<platform::SocketMessage*>(message);
    if (notification->wParam != WhoisSocket) {
        return true;  // another socket's, or one already let go of: dropped
    }
    const std::int16_t error = Winsock::HighWordOf(notification->lParam);
    switch (Winsock::LowWordOf(notification->lParam)) {
        case FD_READ:
            ReadReply(*form);
            break;
        case FD_CONNECT:
            if (error != 0) {
                AppendOutput(*form, QStringLiteral("Error Occured: ") +
                                        Winsock::SocketErrorText(error) + kCrLf);
            } else {
                form->cmdConnect->setText(QStringLiteral("Whois"));
            }
            break;
        case FD_CLOSE:
            // The peer is done with the connection; its descriptor is given back here, since
            // nothing would close it later.
            closesocket(WhoisSocket);
            WhoisSocket = 0;
            form->cmdConnect->setText(QStringLiteral("Connect"));
            AppendOutput(*form, QStringLiteral("Connection Closed "));
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

void cmdConnectClick(frmWinsock& form) {
    const QString caption = form.cmdConnect->text();
    if (caption == QLatin1String("Connect")) {
        NewConnection(form);
    } else if (caption == QLatin1String("Whois")) {
        SendAndEcho(form, form.DomainName->text() + kCrLf);
        form.cmdConnect->setText(QStringLiteral("Disconnect"));
    } else if (caption == QLatin1String("Disconnect")) {
        closesocket(WhoisSocket);
        form.cmdConnect->setText(QStringLiteral("Connect"));
        AppendOutput(form, QStringLiteral("*** Socket Closed (Disconnect Button)"));
    }
}

void SendAndEcho(frmWinsock& form, const QString& text) {
    Winsock::SendToSocket(WhoisSocket, text);
    AppendOutput(form, QStringLiteral("SEND: ") + text);
}

void AppendOutput(frmWinsock& form, const QString& text) {
    Output& out = OutputOf(form);
    const QString shown = AsShown(text, out.text.endsWith(QLatin1Char('\r')));
    out.text += text;
    out.writing = true;
    QPlainTextEdit* box = form.txtWinsock;
    const QTextCursor cursor = box->textCursor();
    if (cursor.hasSelection() || !cursor.atEnd()) {
        box->moveCursor(QTextCursor::End);
    }
    // The insertion point stays behind the inserted text, and the box scrolls to it.
    box->insertPlainText(shown);
    out.writing = false;
}

QString OutputText(frmWinsock& form) {
    return OutputOf(form).text;
}

void unix2dosClick(frmWinsock& form) {
    SetOutputText(form, ReplaceAll(OutputText(form), QStringLiteral("\n"), kCrLf));
}

QString ReplaceAll(const QString& source, const QString& search, const QString& replacement) {
    if (search.isEmpty()) {
        return source;
    }
    QString result;
    result.reserve(source.size());
    qsizetype start = 0;
    for (qsizetype found = source.indexOf(search); found >= 0;
         found = source.indexOf(search, start)) {
        result.append(QStringView(source).mid(start, found - start));
        result.append(replacement);
        start = found + search.size();
    }
    result.append(QStringView(source).mid(start));
    return result;
}

}  // namespace whois
