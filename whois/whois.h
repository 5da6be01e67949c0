#pragma once
// The whois client: its socket, the notification hook, its commands and its output.

#include <cstdint>

#include <QObject>
#include <QString>

#include "whois/output_box.h"
#include "whois/text.h"

class QEvent;
class QLineEdit;
class QPushButton;
class frmWinsock;

namespace whois {

// The socket of the one whois connection; 0 means none, -1 a failed attempt.
extern std::int16_t WhoisSocket;

// A window procedure in Qt terms: it is shown one event of the window and answers whether it
// took the event; an event that it does not take goes on to the window as usual.
using WindowProc = bool (*)(QObject* hWnd, QEvent* message);
// The procedure that had the window's events before the hook: the window's normal course.
extern WindowProc PreviousWindowProc;

// The controls of the "Whois" tab that the commands work on.
struct Tab {
    QLineEdit* DomainName = nullptr;
    QLineEdit* txtServer = nullptr;
    QLineEdit* txtPort = nullptr;
    OutputBox* txtWinsock = nullptr;
    QPushButton* cmdConnect = nullptr;
};

// The whois client of one window: its controls and the reply under way. It is a child of the
// window whose notifications it takes.
class Client : public QObject {
    Q_OBJECT
public:
    // What one exchange may hold: this much reply text, and a box that needs no more than
    // about kBoxLimit bytes of memory.
    static constexpr qsizetype kReplyLimit = 64 * 1024 * 1024;
    static constexpr qsizetype kBoxLimit = qsizetype(1) << 30;
    // The box's memory for each character and each line it holds. It keeps a string of 2 bytes
    // a character and a table of 4 bytes a line, each of which may hold up to twice that while
    // it grows. Measured by bench_whois at the worst moment, 8 MiB read in pieces: 4.00-4.13
    // bytes a character (one long line; 38-byte lines), 12 bytes a bare line feed. Counted
    // with a quarter more, a bare line feed counts 15 bytes: 8 MiB of them take 96 MiB and
    // count 120 MiB, and a reply of 64 MiB of them, the reply limit, still fits the bound.
    static constexpr qsizetype kBoxBytesPerCharacter = 5;
    static constexpr qsizetype kBoxBytesPerLine = 10;

    Client(const Tab& tab, QObject* window);

    const Tab& Controls() const { return tab_; }
    // The exact text of txtWinsock, CRs included, which the box shows with one line break per
    // line end. What the user types into the box changes it.
    const QString& OutputText() const { return tab_.txtWinsock->Text(); }
    void AppendOutput(const QString& text) { tab_.txtWinsock->Append(text); }
    // A new text for the box.
    void SetOutputText(const QString& text) { tab_.txtWinsock->SetText(text); }
    // A new exact text that the box shows as it shows the current one (unix2dos).
    void SetExactText(const QString& text) { tab_.txtWinsock->ReplaceText(text); }
    // Shows at once what the box would show at its next frame.
    void CatchUp() { tab_.txtWinsock->Flush(); }

    // The reply of one exchange: decoded read by read, held to ReplyLimit bytes; FinishReply
    // gives what the decoder still holds.
    void StartReply();
    QString DecodeReply(QByteArrayView bytes);
    QString FinishReply() { return decoder_.Finish(); }
    qsizetype ReplyBytes() const { return replyBytes_; }
    // How many more reply bytes the exchange may take.
    qsizetype ReplyRoom() const;
    qsizetype ReplyLimit() const { return replyLimit_; }
    void SetReplyLimit(qsizetype bytes) { replyLimit_ = bytes; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Tab tab_;
    ReplyDecoder decoder_;
    qsizetype replyBytes_ = 0;
    qsizetype replyLimit_ = kReplyLimit;
};

// Start-up step: socket notifications for the client's window reach NotifyWindowProc from now
// on.
void InstallNotifyHook(Client& client);
// Takes the whois socket's notifications (WM_SOCKET_NOTIFY) and passes every other event on.
bool NotifyWindowProc(QObject* hWnd, QEvent* message);
// Shut-down step: closes the whois socket if one is held.
void CloseWhoisSocket();

void cmdConnectClick(Client& client);
void unix2dosClick(Client& client);

// Sends the text on the whois socket and shows it behind "SEND: ".
void SendAndEcho(Client& client, const QString& text);
// Adds the text at the end of txtWinsock, without a separator.
void AppendOutput(Client& client, const QString& text);
// The exact text of the window's txtWinsock (defined with the window).
QString OutputText(frmWinsock& form);

}  // namespace whois
